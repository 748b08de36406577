#include "cli_options.h"

#include "cli_help.h"
#include "kvudps.h"
#include "tcps_config.h"

#include <QCommandLineParser>

#include <algorithm>
#include <cctype>
#include <memory>

namespace quillon::cli {

namespace {

constexpr uint16_t kConfigPort = 99;
constexpr uint16_t kDiscoveryPort = 9999;
constexpr size_t kMaxTargets = KVUDPS_MAX_TARGETS;
constexpr size_t kMaxNameLength = 99;

// The command line of one command after QCommandLineParser has read it, with the checks every
// command wants: an option that takes one value must not be given twice.
class ParsedArgs {
public:
    ParsedArgs(const std::string &command, const QStringList &args) {
        const CommandSpec *definition = find_command(command);
        for (const OptionSpec &option : definition->options) {
            QCommandLineOption qt_option(QString::fromStdString(option.name),
                                         QString::fromStdString(option.help));
            if (!option.value.empty())
                qt_option.setValueName(QString::fromStdString(option.value));
            m_parser.addOption(qt_option);
        }
        m_parser.addOption(QCommandLineOption(QStringList{"h", "help"}, "show this help"));
        m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        QStringList full = args;
        full.prepend(QStringLiteral("quillon"));
        if (!m_parser.parse(full))
            throw UsageError(m_parser.errorText().toStdString());
        if (m_parser.isSet(QStringLiteral("help")))
            throw HelpRequested{};
    }

    bool is_set(const std::string &name) const {
        return m_parser.isSet(QString::fromStdString(name));
    }

    std::optional<std::string> single(const std::string &name) const {
        const QStringList values = m_parser.values(QString::fromStdString(name));
        if (values.isEmpty())
            return std::nullopt;
        if (values.size() > 1)
            throw UsageError("--" + name + " is given more than once");
        return values.first().toStdString();
    }

    std::vector<std::string> all(const std::string &name) const {
        std::vector<std::string> result;
        for (const QString &value : m_parser.values(QString::fromStdString(name)))
            result.push_back(value.toStdString());
        return result;
    }

    std::vector<std::string> positional() const {
        std::vector<std::string> result;
        for (const QString &value : m_parser.positionalArguments())
            result.push_back(value.toStdString());
        return result;
    }

private:
    QCommandLineParser m_parser;
};

// A text reduced to what identifies an item among several spellings: lower case, with "/" and
// blanks as "-" ("RTS/CTS" and "rts-cts" both give "rts-cts").
std::string slug(const std::string &text) {
    std::string result;
    for (const char c : text) {
        if (c == '/' || c == ' ')
            result += '-';
        else
            result += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return result;
}

// The item (1..) of a page's combo that `text` names, by the item's text in any of its
// spellings; the placeholder is never matched.
int item_of(const std::vector<std::string> &items, const std::string &text,
            const std::string &option, const std::string &allowed) {
    for (size_t i = 1; i < items.size(); ++i) {
        if (slug(items[i]) == slug(text))
            return static_cast<int>(i);
    }
    throw UsageError("--" + option + ": '" + text + "' is not one of " + allowed);
}

std::vector<Endpoint> parse_hosts(const std::vector<std::string> &texts) {
    if (texts.empty())
        throw UsageError("no device given (HOST[:PORT])");
    std::vector<Endpoint> hosts;
    for (const std::string &text : texts) {
        Endpoint host = parse_endpoint(text, kConfigPort, "device");
        // The configuration library opens one connection per address, whatever the port.
        for (const Endpoint &earlier : hosts) {
            if (earlier.address == host.address)
                throw UsageError("device " + host.address + " is given more than once");
        }
        hosts.push_back(host);
    }
    return hosts;
}

ConnectionOptions parse_connection(const ParsedArgs &args) {
    ConnectionOptions options;
    kvgapi::key_text_to_words(kvgapi::kDefaultKeyText, &options.key);
    options.tea = args.is_set("tea");
    if (const auto key = args.single("key")) {
        options.key = parse_key(*key, "--key");
        options.tea = true;
    }
    if (const auto quiet = args.single("quiet-ms"))
        options.quiet_ms = parse_number(*quiet, 1, 60000, "--quiet-ms");
    if (const auto wait = args.single("connect-wait"))
        options.connect_wait = parse_number(*wait, 1, 60, "--connect-wait");
    if (const auto wait = args.single("reply-wait"))
        options.reply_wait = parse_number(*wait, 1, 600, "--reply-wait");
    return options;
}

DiscoveryOptions parse_discovery(const ParsedArgs &args, bool with_setup) {
    DiscoveryOptions options;
    for (const std::string &text : args.all("target")) {
        const Endpoint target = parse_endpoint(text, kDiscoveryPort, "--target");
        if (std::find(options.targets.begin(), options.targets.end(), target) ==
            options.targets.end())
            options.targets.push_back(target);
    }
    if (options.targets.size() > kMaxTargets)
        throw UsageError("--target: at most " + std::to_string(kMaxTargets) + " destinations");
    if (options.targets.empty())
        options.targets.push_back({"255.255.255.255", kDiscoveryPort});
    options.all_interfaces = args.is_set("all-interfaces");
    if (const auto key = args.single("search-key"))
        options.search_key = parse_key(*key, "--search-key");
    if (const auto quiet = args.single("quiet-ms"))
        options.quiet_ms = parse_number(*quiet, 1, 60000, "--quiet-ms");
    if (with_setup) {
        if (const auto key = args.single("setup-key"))
            options.setup_key = parse_key(*key, "--setup-key");
        if (const auto pause = args.single("pause-ms"))
            options.pause_ms = parse_number(*pause, 1, 600000, "--pause-ms");
    }
    return options;
}

} // namespace

ReadRequest parse_read(const QStringList &argv) {
    const ParsedArgs args("read", argv);
    ReadRequest request;
    request.connection = parse_connection(args);
    request.json = args.is_set("json");
    request.hosts = parse_hosts(args.positional());
    return request;
}

WriteRequest parse_write(const QStringList &argv) {
    const ParsedArgs args("write", argv);
    WriteRequest request;
    request.connection = parse_connection(args);
    request.json = args.is_set("json");
    request.hosts = parse_hosts(args.positional());

    ConfigPageState &page = request.page;
    if (const auto mode = args.single("mode"))
        page.mode = parse_number(*mode, 0, 6, "--mode");
    if (const auto baud = args.single("baud"))
        page.speed = item_of(speed_items(), *baud, "baud",
                             "300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200");
    if (const auto bits = args.single("databits"))
        page.databits = item_of(databits_items(), *bits, "databits", "7, 8");
    if (const auto parity = args.single("parity"))
        page.parity = item_of(parity_items(), *parity, "parity", "none, odd, even, mark, space");
    if (const auto bits = args.single("stopbits"))
        page.stopbits = item_of(stopbits_items(), *bits, "stopbits", "1, 2");
    if (const auto handshake = args.single("handshake"))
        page.handshake = item_of(handshake_items(), *handshake, "handshake",
                                 "none, rts-cts, xon-xoff, xon-xoff-heartbeat");
    if (const auto frequency = args.single("frequency")) {
        const auto code = parse_frequency(*frequency);
        if (!code)
            throw UsageError("--frequency: '" + *frequency +
                             "' is neither a frequency code nor a frequency text (see --help)");
        page.frequency = frequency_item_of_code(*code);
    }
    const auto server = args.single("server");
    if (server) {
        const Endpoint downloader = parse_endpoint(*server, 0, "--server");
        if (downloader.port == 0)
            throw UsageError("--server: '" + *server + "' lacks its port (IP:PORT)");
        page.server_ip = downloader.address;
        page.server_port = std::to_string(downloader.port);
    }

    // The page's checks, in its order and with its texts.
    for (const Endpoint &host : request.hosts) {
        if (const auto refusal = check_save(host.address, page.mode, page.frequency))
            throw UsageError(*refusal);
    }
    if (mode_uses_downloader(page.mode) && !server)
        throw UsageError(kNeedDownloader);
    if (!mode_uses_downloader(page.mode) && server)
        throw UsageError("--server: mode " + std::to_string(page.mode) +
                         " has no downloader PC (only modes 2, 4 and 6 take one)");
    return request;
}

SearchRequest parse_search(const QStringList &argv) {
    const ParsedArgs args("search", argv);
    SearchRequest request;
    if (!args.positional().empty())
        throw UsageError("search takes no arguments: '" + args.positional().front() + "'");
    request.discovery = parse_discovery(args, false);
    request.all_types = args.is_set("all");
    request.json = args.is_set("json");
    return request;
}

FixRequest parse_fix(const QStringList &argv) {
    const ParsedArgs args("fix", argv);
    FixRequest request;
    const auto positional = args.positional();
    if (positional.size() != 1)
        throw UsageError("fix takes one device: its IP address or hardware address");
    if (looks_like_mac(positional.front())) {
        request.device = parse_mac(positional.front(), "device");
        request.by_mac = true;
    } else {
        request.device = parse_address(positional.front(), "device");
    }
    request.discovery = parse_discovery(args, true);
    return request;
}

SetupRequest parse_setup(const QStringList &argv) {
    const ParsedArgs args("setup", argv);
    SetupRequest request;
    const auto positional = args.positional();
    if (positional.size() != 1)
        throw UsageError("setup takes one device: its hardware address");
    request.mac = parse_mac(positional.front(), "device");
    const auto address = [&](const char *name) -> std::optional<std::string> {
        if (const auto text = args.single(name))
            return parse_address(*text, std::string("--") + name);
        return std::nullopt;
    };
    request.ip = address("ip");
    request.mask = address("mask");
    request.addr3 = address("addr3");
    request.addr4 = address("addr4");
    request.addr5 = address("addr5");
    if (const auto port = args.single("port"))
        request.port = parse_port(*port, "--port");
    if (const auto name = args.single("name")) {
        if (name->size() > kMaxNameLength)
            throw UsageError("--name: at most " + std::to_string(kMaxNameLength) + " characters");
        request.name = *name;
    }
    request.discovery = parse_discovery(args, true);
    return request;
}

} // namespace quillon::cli
