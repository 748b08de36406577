// The values the commands take on their command lines: device addresses with ports, TEA keys,
// hardware addresses and bounded numbers. Each parser either returns a checked value or throws
// UsageError with a message that names the option, so a command refuses bad input before it
// sends anything.
#ifndef QUILLON_CLI_ARGS_H
#define QUILLON_CLI_ARGS_H

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace quillon::cli {

// Exit statuses of every command; scripts rely on them.
enum ExitStatus : int {
    kExitOk = 0,     // the command did what it was asked
    kExitFailed = 1, // the device or the network failed
    kExitUsage = 2,  // bad usage or bad input; nothing was sent
};

// Bad usage or bad input: what() is the one-line message shown before exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An IPv4 address (dotted decimal) and a port.
struct Endpoint {
    std::string address;
    uint16_t port = 0;

    std::string text() const { return address + ":" + std::to_string(port); }
    bool operator==(const Endpoint &) const = default;
};

// A dotted-decimal IPv4 address ("a.b.c.d", each part 0 to 255); `what` names the value in the
// message of the UsageError thrown for anything else.
std::string parse_address(const std::string &text, const std::string &what);

// A port, 1 to 65535.
uint16_t parse_port(const std::string &text, const std::string &what);

// "ADDR" or "ADDR:PORT"; a missing port is `default_port`.
Endpoint parse_endpoint(const std::string &text, uint16_t default_port, const std::string &what);

// A whole decimal number from `min` to `max`.
int32_t parse_number(const std::string &text, int32_t min, int32_t max, const std::string &what);

// A TEA key text: four words of exactly eight hexadecimal digits joined by ":" (35 characters),
// converted as the configuration wrapper converts its key text.
std::array<uint32_t, 4> parse_key(const std::string &text, const std::string &what);

// A hardware address: six two-digit hexadecimal numbers joined by ":" or "-", in either case.
// Returns the discovery library's form, upper case joined by ":" (0A:1B:2C:3D:4E:5F).
std::string parse_mac(const std::string &text, const std::string &what);

// True when `text` has the form of a hardware address (see parse_mac).
bool looks_like_mac(const std::string &text);

} // namespace quillon::cli

#endif
