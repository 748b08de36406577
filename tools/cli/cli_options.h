// The command lines of the quillon commands, parsed and checked into plain structures. A parse
// either yields a complete request or throws UsageError (exit status 2, nothing sent); a request
// for help yields HelpRequested.
#ifndef QUILLON_CLI_OPTIONS_H
#define QUILLON_CLI_OPTIONS_H

#include "cli_args.h"
#include "config_page.h"

#include <QStringList>

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace quillon::cli {

// Thrown when the command line asks for the command's help.
struct HelpRequested {};

// How to talk to the configuration port.
struct ConnectionOptions {
    bool tea = false;
    std::array<uint32_t, 4> key{}; // the default key text's words unless --key was given
    int32_t quiet_ms = 1000;
    int32_t connect_wait = 5; // attempts of one second
    int32_t reply_wait = 10;  // seconds for each reply
};

struct ReadRequest {
    std::vector<Endpoint> hosts;
    ConnectionOptions connection;
    bool json = false;
};

struct WriteRequest {
    std::vector<Endpoint> hosts;
    ConnectionOptions connection;
    bool json = false;
    ConfigPageState page; // what the page's controls would hold
};

// Where and how to search.
struct DiscoveryOptions {
    std::vector<Endpoint> targets; // never empty after parsing
    bool all_interfaces = false;
    std::optional<std::array<uint32_t, 4>> search_key;
    std::optional<std::array<uint32_t, 4>> setup_key;
    int32_t quiet_ms = 1000;
    int32_t pause_ms = 6000;
};

struct SearchRequest {
    DiscoveryOptions discovery;
    bool all_types = false;
    bool json = false;
};

struct FixRequest {
    std::string device; // an IP address, or a hardware address in the library's form
    bool by_mac = false;
    DiscoveryOptions discovery;
};

// The new settings of a setup; what is not given keeps the device's value.
struct SetupRequest {
    std::string mac;
    std::optional<std::string> ip, mask, addr3, addr4, addr5, name;
    std::optional<uint16_t> port;
    DiscoveryOptions discovery;
};

// Each takes the command's arguments after its name.
ReadRequest parse_read(const QStringList &args);
WriteRequest parse_write(const QStringList &args);
SearchRequest parse_search(const QStringList &args);
FixRequest parse_fix(const QStringList &args);
SetupRequest parse_setup(const QStringList &args);

// The message of the check a write makes after the page's own ones: a C/S mode needs the
// downloader PC, which the page always has in its fields but a command line may lack.
inline constexpr const char *kNeedDownloader =
    "Please, give 'Downloader PC' (--server IP:PORT) to save configuration.";

} // namespace quillon::cli

#endif
