#include "cli_args.h"

#include "config_page.h"
#include "kv_socket.h"
#include "tcps_config.h"

#include <cctype>

namespace quillon::cli {

namespace {

bool is_hex(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

} // namespace

std::string parse_address(const std::string &text, const std::string &what) {
    uint32_t address = 0;
    if (kv_inet_parse(text.c_str(), &address) != 0)
        throw UsageError(what + ": '" + text + "' is not an IPv4 address (a.b.c.d)");
    // The library's own text form, so "010.0.0.1"-like spellings cannot reach a device.
    char canonical[16];
    return kv_inet_format(address, canonical);
}

uint16_t parse_port(const std::string &text, const std::string &what) {
    const auto value = parse_int(text);
    if (!value || *value < 1 || *value > 65535)
        throw UsageError(what + ": '" + text + "' is not a port (1 to 65535)");
    return static_cast<uint16_t>(*value);
}

Endpoint parse_endpoint(const std::string &text, uint16_t default_port, const std::string &what) {
    Endpoint endpoint;
    const size_t colon = text.find(':');
    if (colon == std::string::npos) {
        endpoint.address = parse_address(text, what);
        endpoint.port = default_port;
    } else {
        endpoint.address = parse_address(text.substr(0, colon), what);
        endpoint.port = parse_port(text.substr(colon + 1), what);
    }
    return endpoint;
}

int32_t parse_number(const std::string &text, int32_t min, int32_t max, const std::string &what) {
    const auto value = parse_int(text);
    if (!value || *value < min || *value > max)
        throw UsageError(what + ": '" + text + "' is not a number from " + std::to_string(min) +
                         " to " + std::to_string(max));
    return *value;
}

std::array<uint32_t, 4> parse_key(const std::string &text, const std::string &what) {
    // The wrapper's conversion stops a word at its first non-hex character; a command line
    // refuses such a key instead of quietly using a different one.
    bool valid = text.size() == 35;
    for (size_t i = 0; valid && i < text.size(); ++i)
        valid = (i % 9 == 8) ? text[i] == ':' : is_hex(text[i]);
    std::array<uint32_t, 4> words{};
    if (!valid || kvgapi::key_text_to_words(text, &words) != 0)
        throw UsageError(what + ": '" + text +
                         "' is not a key (four 8-digit hexadecimal words joined by ':')");
    return words;
}

bool looks_like_mac(const std::string &text) {
    if (text.size() != 17)
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool separator = i % 3 == 2;
        if (separator ? (text[i] != ':' && text[i] != '-') : !is_hex(text[i]))
            return false;
    }
    return true;
}

std::string parse_mac(const std::string &text, const std::string &what) {
    if (!looks_like_mac(text))
        throw UsageError(what + ": '" + text +
                         "' is not a hardware address (six hex pairs, e.g. 0A:1B:2C:3D:4E:5F)");
    std::string mac = text;
    for (size_t i = 0; i < mac.size(); ++i)
        mac[i] = (i % 3 == 2) ? ':'
                              : static_cast<char>(std::toupper(static_cast<unsigned char>(mac[i])));
    return mac;
}

} // namespace quillon::cli
