#include "sim_program_options.h"

#include "config_page.h"
#include "kv_socket.h"
#include "tcps_config.h"

#include <QCommandLineParser>

#include <cctype>
#include <map>

namespace quillon::simprog {

namespace {

constexpr int32_t kMaxDevices = 1000;

const char *kHelp =
    "Usage: quillon-sim [--bind ADDR] [--devices N] [--config-port N] [--discovery-port N]\n"
    "                   [--tea-key K] [--search-key K] [--type T] [--firmware X.Y.Z]\n"
    "                   [--no-frequency] [--fault KIND]...\n"
    "\n"
    "Runs simulated Quillon devices until interrupted (Ctrl+C or SIGTERM), and prints where\n"
    "each one listens. The first device listens at ADDR, the next at the following addresses.\n"
    "Each device has a configuration port (TCP) and answers discovery searches and setups\n"
    "(UDP); a setup that changes its address or port moves its configuration port there,\n"
    "within the loopback network unless --bind names an address outside it. Nothing is bound\n"
    "or sent outside loopback unless --bind names another address.\n"
    "\n"
    "Options:\n"
    "  --bind ADDR             address of the first device (default 127.0.0.2)\n"
    "  --devices N             number of devices, 1 to 1000 (default 1)\n"
    "  --config-port N         configuration port of every device (default 99, which needs\n"
    "                          root; 0 takes a free port per device)\n"
    "  --discovery-port N      discovery port of every device (default 9999; 0 takes one\n"
    "                          that is free on every device's address)\n"
    "  --tea-key K             ask for the TEA answer on the configuration port, with key K\n"
    "                          (four 8-digit hexadecimal words joined by ':')\n"
    "  --search-key K          the devices' discovery search key (default: the built-in key)\n"
    "  --type T                device type 0 to 31 (default 9, the Quillon); the models that\n"
    "                          keep their name on a web page serve it on their port instead\n"
    "                          of a configuration port\n"
    "  --firmware X.Y.Z        firmware version, X 0-7, Y and Z 0-15 (default 3.1.4)\n"
    "  --no-frequency          devices start without an upload frequency, as firmware older\n"
    "                          than 3.1.1 reports\n"
    "  --fault KIND            make every device misbehave; may repeat (one kind per side):\n"
    "                          configuration port: refuse, silent, short-greeting,\n"
    "                          bad-checksum, no-marker, close-mid-reply, trickle,\n"
    "                          oversized-reply, delay=MS (every reply waits MS ms);\n"
    "                          discovery: bad-signature, short-datagram, duplicate-answer,\n"
    "                          flood (101 answers with hardware addresses of their own);\n"
    "                          network mode: needs-fix (the mode does not allow configuration\n"
    "                          and the configuration port stays closed until quillon fix)\n"
    "  --help                  show this help\n"
    "  --version               show the version\n"
    "\n"
    "Exit status: 0 after an interrupt, 1 when the devices cannot be started (an address or\n"
    "port cannot be bound), 2 for bad usage.\n";

const std::map<std::string, sim::ConfFault> &conf_faults() {
    static const std::map<std::string, sim::ConfFault> faults = {
        {"refuse", sim::ConfFault::refuse},
        {"silent", sim::ConfFault::silent},
        {"short-greeting", sim::ConfFault::short_greeting},
        {"bad-checksum", sim::ConfFault::bad_checksum},
        {"no-marker", sim::ConfFault::no_marker},
        {"close-mid-reply", sim::ConfFault::close_mid_reply},
        {"trickle", sim::ConfFault::trickle},
        {"oversized-reply", sim::ConfFault::oversized_reply},
    };
    return faults;
}

const std::map<std::string, sim::DiscoveryFault> &discovery_faults() {
    static const std::map<std::string, sim::DiscoveryFault> faults = {
        {"bad-signature", sim::DiscoveryFault::bad_signature},
        {"short-datagram", sim::DiscoveryFault::short_datagram},
        {"duplicate-answer", sim::DiscoveryFault::duplicate_answer},
        {"flood", sim::DiscoveryFault::flood},
    };
    return faults;
}

int32_t number(const QString &text, int32_t min, int32_t max, const char *option) {
    const auto value = parse_int(text.toStdString());
    if (!value || *value < min || *value > max)
        throw UsageError(std::string(option) + ": '" + text.toStdString() +
                         "' is not a number from " + std::to_string(min) + " to " +
                         std::to_string(max));
    return *value;
}

std::array<uint32_t, 4> key(const QString &qtext, const char *option) {
    const std::string text = qtext.toStdString();
    bool valid = text.size() == 35;
    for (size_t i = 0; valid && i < text.size(); ++i)
        valid =
            (i % 9 == 8) ? text[i] == ':' : std::isxdigit(static_cast<unsigned char>(text[i])) != 0;
    std::array<uint32_t, 4> words{};
    if (!valid || kvgapi::key_text_to_words(text, &words) != 0)
        throw UsageError(std::string(option) + ": '" + text +
                         "' is not a key (four 8-digit hexadecimal words joined by ':')");
    return words;
}

struct Firmware {
    uint8_t major = 3, minor = 1, patch = 4;
};

Firmware firmware(const QString &text) {
    const QStringList parts = text.split('.');
    if (parts.size() != 3)
        throw UsageError("--firmware: '" + text.toStdString() + "' is not X.Y.Z");
    Firmware f;
    f.major = static_cast<uint8_t>(number(parts[0], 0, 7, "--firmware major"));
    f.minor = static_cast<uint8_t>(number(parts[1], 0, 15, "--firmware minor"));
    f.patch = static_cast<uint8_t>(number(parts[2], 0, 15, "--firmware patch"));
    return f;
}

QString single(const QCommandLineParser &parser, const char *name) {
    const QStringList values = parser.values(QString::fromLatin1(name));
    if (values.size() > 1)
        throw UsageError(std::string("--") + name + " is given more than once");
    return values.isEmpty() ? QString() : values.first();
}

} // namespace

std::string program_help() {
    return kHelp;
}

Program parse_program(const QStringList &args) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const char *name : {"bind", "devices", "config-port", "discovery-port", "tea-key",
                             "search-key", "type", "firmware", "fault"})
        parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString(), "value"));
    for (const char *name : {"no-frequency", "help", "version"})
        parser.addOption(QCommandLineOption(QString::fromLatin1(name)));
    if (!parser.parse(args))
        throw UsageError(parser.errorText().toStdString());
    if (parser.isSet("help"))
        throw InfoRequested{kHelp};
    if (parser.isSet("version"))
        throw InfoRequested{std::string("quillon-sim ") + QUILLON_VERSION + "\n"};
    if (!parser.positionalArguments().isEmpty())
        throw UsageError("unexpected argument '" +
                         parser.positionalArguments().first().toStdString() + "'");

    std::string bind = "127.0.0.2";
    if (const QString text = single(parser, "bind"); !text.isNull()) {
        uint32_t address = 0;
        if (kv_inet_parse(text.toStdString().c_str(), &address) != 0 || address == 0)
            throw UsageError("--bind: '" + text.toStdString() + "' is not an IPv4 address");
        bind = text.toStdString();
    }
    int32_t count = 1;
    if (const QString text = single(parser, "devices"); !text.isNull())
        count = number(text, 1, kMaxDevices, "--devices");

    Program program;
    sim::FleetDeviceOptions common;
    if (const QString text = single(parser, "config-port"); !text.isNull())
        common.config_port = static_cast<uint16_t>(number(text, 0, 65535, "--config-port"));
    if (const QString text = single(parser, "discovery-port"); !text.isNull())
        program.fleet.discovery_port =
            static_cast<uint16_t>(number(text, 0, 65535, "--discovery-port"));
    if (const QString text = single(parser, "tea-key"); !text.isNull()) {
        common.tea = true;
        common.tea_key = key(text, "--tea-key");
    }
    if (const QString text = single(parser, "search-key"); !text.isNull()) {
        const auto words = key(text, "--search-key");
        kvquiet_tea_key_set(&common.search_key, words[0], words[1], words[2], words[3]);
    }
    if (const QString text = single(parser, "type"); !text.isNull())
        common.type = static_cast<uint8_t>(number(text, 0, 31, "--type"));
    if (const QString text = single(parser, "firmware"); !text.isNull()) {
        const Firmware f = firmware(text);
        common.fw_major = f.major;
        common.fw_minor = f.minor;
        common.fw_patch = f.patch;
    }
    common.no_frequency = parser.isSet("no-frequency");

    bool conf_fault = false, discovery_fault = false;
    for (const QString &qkind : parser.values("fault")) {
        const std::string kind = qkind.toStdString();
        const auto once = [&](bool &given, const char *side) {
            if (given)
                throw UsageError("--fault: one " + std::string(side) + " fault at most");
            given = true;
        };
        if (const auto c = conf_faults().find(kind); c != conf_faults().end()) {
            once(conf_fault, "configuration-port");
            common.conf_fault = c->second;
        } else if (kind.rfind("delay=", 0) == 0) {
            once(conf_fault, "configuration-port");
            common.reply_delay_ms =
                number(QString::fromStdString(kind.substr(6)), 1, 600000, "--fault delay");
        } else if (const auto d = discovery_faults().find(kind); d != discovery_faults().end()) {
            once(discovery_fault, "discovery");
            common.discovery_fault = d->second;
        } else if (kind == "needs-fix") {
            common.needs_fix = true;
        } else {
            throw UsageError("--fault: unknown kind '" + kind + "' (see --help)");
        }
    }

    uint32_t first = 0;
    kv_inet_parse(bind.c_str(), &first);
    program.fleet.loopback_only = (reinterpret_cast<const uint8_t *>(&first)[0] == 127);
    for (int32_t i = 0; i < count; ++i) {
        sim::FleetDeviceOptions device = common;
        const auto placed = sim::Fleet::device_options(bind, static_cast<size_t>(i));
        if (placed.address.empty())
            throw UsageError("--devices: " + std::to_string(count) + " devices from " + bind +
                             " run out of addresses");
        device.address = placed.address;
        device.mac = placed.mac;
        device.name = "Quillon " + std::to_string(i + 1);
        program.devices.push_back(device);
    }
    return program;
}

} // namespace quillon::simprog
