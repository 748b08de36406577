#include "cli_help.h"

#include "cmd_pbx.h"
#include "kvudps.h"
#include "tcps_config.h"

#include <sstream>

#ifndef QUILLON_VERSION
#define QUILLON_VERSION "0.0.0"
#endif

namespace quillon::cli {

namespace {

const std::string kKeyHelp = std::string("TEA key text: four 8-digit hexadecimal words joined by "
                                         "':' (default ") +
                             kvgapi::kDefaultKeyText + "); giving it turns --tea on";

const std::string kTargetHelp =
    "send the search to ADDR (port 9999 unless given); replaces the default "
    "255.255.255.255:9999; repeat for more destinations (" +
    std::to_string(KVUDPS_MAX_TARGETS) + " at most, interfaces included)";

// Options shared by the commands that talk to the configuration port.
std::vector<OptionSpec> connection_options() {
    return {
        {"tea", "", "answer the device's TEA challenge (off by default)"},
        {"key", "K", kKeyHelp},
        {"quiet-ms", "N",
         "milliseconds of silence that end each receive step from the device (default 1000; "
         "50 suits loopback and a quiet LAN)"},
        {"connect-wait", "N",
         "seconds to wait for the connection before giving up (1 to 60, default 5)"},
        {"reply-wait", "S",
         "seconds to wait for each reply of the device before giving up (1 to 600, default "
         "10)"},
        {"json", "", "print JSON instead of text"},
    };
}

// Options shared by the commands that search.
std::vector<OptionSpec> discovery_options(bool with_setup) {
    std::vector<OptionSpec> options = {
        {"target", "ADDR[:PORT]", kTargetHelp},
        {"all-interfaces", "", "also send to every IPv4 interface's broadcast address, port 9999"},
        {"search-key", "K", "the devices' search key (default: the built-in key)"},
        {"quiet-ms", "N", "milliseconds without an answer that end a search (default 1000)"},
    };
    if (with_setup) {
        options.push_back({"setup-key", "K",
                           "key that signs setups of devices that announce it (default: none, "
                           "all words 0)"});
        options.push_back({"pause-ms", "N",
                           "milliseconds given to the device after the setup before searching "
                           "again (default 6000)"});
    }
    return options;
}

std::vector<CommandSpec> build_commands() {
    std::vector<CommandSpec> list;

    CommandSpec search{"search",
                       "search [--target ADDR[:PORT]]... [--all-interfaces] [--search-key K] "
                       "[--all] [--quiet-ms N] [--json]",
                       "Find devices on the network.", discovery_options(false),
                       "Lists every device found, one line each: ip:port, hardware address, type "
                       "name, firmware, name, and \"ok\" when its network mode allows "
                       "configuration or \"needs fix\" when it does not (see fix). Only Quillons "
                       "(type 9) unless --all. Finding nothing is not a failure: \"No device "
                       "found.\" (or [] with --json) and exit status 0."};
    search.options.push_back({"all", "", "list devices of every type, not only Quillons"});
    search.options.push_back({"json", "", "print a JSON array instead of text"});
    list.push_back(search);

    CommandSpec read{
        "read",
        "read HOST[:PORT]... [--tea] [--key K] [--quiet-ms N] [--connect-wait N] [--reply-wait S] "
        "[--json]",
        "Read and show the configuration of one or more devices.", connection_options(),
        "PORT defaults to 99. Several hosts are read in parallel (99 at a time), one connection "
        "each, and give one result each, in the order given. The text shows the configuration as "
        "the "
        "configuration page does, by item text: baud rate, data size, parity, stop bits, "
        "handshake, mode, downloader PC address and port, upload frequency, and the firmware. A "
        "device that reports an upload frequency code below 20 has firmware older than 3.1.1: "
        "its result says \"not supported\" (the read itself succeeded, so the exit status is "
        "not changed by it). Exit status 1 when any host failed."};
    list.push_back(read);

    CommandSpec write{
        "write",
        "write HOST[:PORT]... --mode N [--baud N] [--databits 7|8] "
        "[--parity none|odd|even|mark|space] [--stopbits 1|2] "
        "[--handshake none|rts-cts|xon-xoff|xon-xoff-heartbeat] [--server IP:PORT] "
        "[--frequency CODE|TEXT] [--tea] [--key K] [--quiet-ms N] [--connect-wait N] "
        "[--reply-wait S] [--json]",
        "Write a configuration, exactly as the configuration page's Save does.",
        {
            {"mode", "N",
             "transfer mode (required): 1 QLN-REPBUF-SERVER, 2 QLN-REPBUF-C/S, 3 QLN-RAW-SERVER, "
             "4 QLN-RAW-C/S, 5 QLN-NVT-SERVER, 6 QLN-NVT-C/S"},
            {"baud", "N",
             "baud rate: 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, "
             "115200"},
            {"databits", "7|8", "data bits"},
            {"parity", "P", "parity: none, odd, even, mark or space"},
            {"stopbits", "1|2", "stop bits"},
            {"handshake", "H", "handshake: none, rts-cts, xon-xoff or xon-xoff-heartbeat"},
            {"server", "IP:PORT",
             "downloader PC; required in modes 2, 4 and 6, refused in the others"},
            {"frequency", "CODE|TEXT",
             "upload frequency by code or text: 23 \"5 Minutes\", 46 \"10 Minutes\", 68 \"15 "
             "Minutes\", 136 \"30 Minutes\", 273 \"1 Hour\", 536 \"2 Hours\", 819 \"3 Hours\", "
             "1637 \"6 Hours\", 3274 \"12 Hours\", 6549 \"24 Hours\"; required in modes 2, 4 "
             "and 6"},
        },
        "Makes the page's checks, with its messages, before anything is sent (mode required; "
        "upload frequency required in modes 2, 4 and 6, and there the downloader PC too; a "
        "failed check gives exit status 2). Writes the page's record: the four fixed fields "
        "(42, 255, 255, 131072), the mode, the downloader PC, the frequency and the RS-232 "
        "options given; RS-232 options not given stay unset and are not written. Then reads "
        "the configuration back, sends the command \"R\" and prints what was read back, as "
        "read does. Several hosts are written in parallel (99 at a time)."};
    for (const OptionSpec &option : connection_options())
        write.options.push_back(option);
    list.push_back(write);

    CommandSpec fix{
        "fix",
        "fix HOST|MAC [--target ADDR[:PORT]]... [--all-interfaces] [--search-key K] "
        "[--setup-key K] [--quiet-ms N] [--pause-ms N]",
        "Make a device's network mode allow configuration.", discovery_options(true),
        "Searches for the device by IP address or hardware address. When its network mode does "
        "not allow configuration (mode_bit2 not 1, or mode_bit0 1), sends it a setup with "
        "mode_bit2 = 1 and mode_bit0 = 0 and every other setting as it reported them, waits "
        "--pause-ms and searches again to confirm. Exit status 0 when the device allows "
        "configuration (already, or after the fix); 1 when it was not found, the setup failed "
        "or the fix did not take."};
    list.push_back(fix);

    CommandSpec setup{
        "setup",
        "setup MAC [--ip A] [--mask A] [--port N] [--name S] [--addr3 A] [--addr4 A] "
        "[--addr5 A] [--setup-key K] [--target ADDR[:PORT]]... [--all-interfaces] "
        "[--search-key K] [--quiet-ms N] [--pause-ms N]",
        "Re-address a device found by a search.",
        {
            {"ip", "A", "new IP address"},
            {"mask", "A", "new network mask"},
            {"port", "N", "new service port (1 to 65535)"},
            {"name", "S", "new device name (at most 99 characters)"},
            {"addr3", "A", "new third address of the device's settings"},
            {"addr4", "A", "new fourth address of the device's settings"},
            {"addr5", "A", "new fifth address of the device's settings"},
        },
        "Searches, then sends the device with hardware address MAC a signed setup carrying the "
        "values given and, for every value not given, what the device reported (its mode bits "
        "included). A name travels in the setup for devices with an extension list and over "
        "HTTP for the models that keep it on a web page. Waits --pause-ms, searches again and "
        "prints what the device reports now, if it still answers at the search's destinations. "
        "Exit status 1 when the device was not found or the setup could not be sent."};
    for (const OptionSpec &option : discovery_options(true))
        setup.options.push_back(option);
    list.push_back(setup);
    list.push_back(pbx_command());

    return list;
}

constexpr size_t kWidth = 79;
constexpr size_t kHelpColumn = 26;

// Breaks `text` into lines of at most kWidth characters at blanks; every line after the first
// starts with `indent` blanks, and the first continues a line already `start` characters long.
std::string wrap(const std::string &text, size_t indent, size_t start) {
    std::string out;
    size_t column = start;
    size_t pos = 0;
    bool first = true;
    while (pos < text.size()) {
        size_t end = text.find(' ', pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string word = text.substr(pos, end - pos);
        if (!first && column + 1 + word.size() > kWidth) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
        } else if (!first) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        first = false;
        pos = end + 1;
    }
    return out;
}

void append_options(std::ostringstream &out, const std::vector<OptionSpec> &options) {
    for (const OptionSpec &option : options) {
        std::string left = "  --" + option.name;
        if (!option.value.empty())
            left += " " + option.value;
        out << left;
        if (left.size() < kHelpColumn) {
            out << std::string(kHelpColumn - left.size(), ' ');
        } else {
            out << "\n" << std::string(kHelpColumn, ' ');
        }
        out << wrap(option.help, kHelpColumn, kHelpColumn) << "\n";
    }
    out << "  --help                  show this help\n";
}

const char *kExitHelp =
    "Exit status:\n"
    "  0  success\n"
    "  1  the device or the network failed: one line on standard error names what\n"
    "     failed, with the library's message and code, for example\n"
    "     \"127.0.0.2:99: read failed: Timeout (19)\"\n"
    "  2  bad usage or bad input: a message on standard error, and nothing was sent\n";

const char *kJsonHelp =
    "JSON output (--json):\n"
    "  search  an array with one object per device, keyed by the discovery\n"
    "          record's field names: port, port2, name, ip, mask, addr3, addr4,\n"
    "          addr5, firmware, echo_block, signature, type_name, feature3,\n"
    "          feature_value, raw_version, raw_type, feature4, feature5, mac,\n"
    "          has_name, feature2, mode_bit0 to mode_bit5, fw_major, fw_minor,\n"
    "          fw_patch, type, feature1, feature0, raw_mode, raw_spare; numbers as\n"
    "          numbers, texts as strings, echo_block and signature as hexadecimal\n"
    "          text.\n"
    "  read, write\n"
    "          one object per host: \"host\" (ADDR:PORT), \"config\" (the\n"
    "          configuration by field: firmware, device_ip, param_j, baudrate,\n"
    "          databits, parity, handshake, stopbits, server_ip, server_port,\n"
    "          upload_period, fixed_b, transfer_nvt, transfer_kind, fixed_a1,\n"
    "          fixed_a2, fixed_a3), \"device\" (every field of the device record by\n"
    "          name, top_a to star_c), \"mode\" (the mode item, 0 to 6) and\n"
    "          \"supported\" (false for firmware older than 3.1.1). A host that\n"
    "          failed has \"error\" instead: {\"step\", \"message\", \"code\"}. One\n"
    "          host prints its object; several print an array in the order given.\n";

} // namespace

const std::vector<CommandSpec> &commands() {
    static const std::vector<CommandSpec> list = build_commands();
    return list;
}

const CommandSpec *find_command(const std::string &name) {
    for (const CommandSpec &command : commands()) {
        if (command.name == name)
            return &command;
    }
    return nullptr;
}

std::string command_help(const CommandSpec &command) {
    std::ostringstream out;
    out << "Usage: quillon " << wrap(command.synopsis, 8, 15) << "\n\n"
        << command.summary << "\n\n"
        << wrap(command.details, 0, 0) << "\n\nOptions:\n";
    append_options(out, command.options);
    return out.str();
}

std::string overall_help() {
    std::ostringstream out;
    out << "quillon " << QUILLON_VERSION
        << ": configures Quillon devices from the command line.\n\n"
           "Usage: quillon COMMAND [ARGUMENTS] [OPTIONS]\n"
           "       quillon COMMAND --help\n"
           "       quillon --help | --version\n\n"
           "Commands:\n";
    for (const CommandSpec &command : commands()) {
        const std::string left = "  " + command.name;
        out << left << std::string(10 - left.size(), ' ') << command.summary << "\n";
    }
    out << "\n" << kExitHelp << "\n";
    for (const CommandSpec &command : commands())
        out << command_help(command) << "\n";
    out << kJsonHelp;
    return out.str();
}

std::string usage_hint(const std::string &command) {
    if (command.empty())
        return "Try 'quillon --help'.";
    return "Try 'quillon " + command + " --help'.";
}

std::string version_text() {
    return std::string("quillon ") + QUILLON_VERSION + " (Quillon Configurator)\n";
}

} // namespace quillon::cli
