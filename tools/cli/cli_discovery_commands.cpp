// quillon search, quillon fix and quillon setup: the discovery engine's search and setup.
#include "cli_commands.h"
#include "cli_discovery.h"
#include "cli_options.h"
#include "cli_output.h"

#include <QNetworkInterface>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace quillon::cli {

namespace {

constexpr uint16_t kDiscoveryPort = 9999;
constexpr uint16_t kQuillonType = 9;

// The search's destinations: those given (or the default), then, with --all-interfaces, the
// broadcast address of every IPv4 interface that is up and can broadcast.
std::vector<Endpoint> destinations(const DiscoveryOptions &options) {
    std::vector<Endpoint> targets = options.targets;
    if (options.all_interfaces) {
        for (const QNetworkInterface &netif : QNetworkInterface::allInterfaces()) {
            const auto flags = netif.flags();
            if (!flags.testFlag(QNetworkInterface::IsUp) ||
                !flags.testFlag(QNetworkInterface::CanBroadcast))
                continue;
            for (const QNetworkAddressEntry &entry : netif.addressEntries()) {
                if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol ||
                    entry.broadcast().isNull())
                    continue;
                const Endpoint target{entry.broadcast().toString().toStdString(), kDiscoveryPort};
                if (std::find(targets.begin(), targets.end(), target) == targets.end())
                    targets.push_back(target);
            }
        }
    }
    if (targets.size() > KVUDPS_MAX_TARGETS)
        throw UsageError("too many destinations (" + std::to_string(targets.size()) +
                         "); at most " + std::to_string(KVUDPS_MAX_TARGETS));
    return targets;
}

void report(const Failure &failure) {
    std::fprintf(stderr, "%s\n", failure.line().c_str());
}

// A failure of a command's own, with no library record behind it.
void report(const std::string &step, const std::string &what) {
    std::fprintf(stderr, "%s failed: %s\n", step.c_str(), what.c_str());
}

// Starts the engine and runs the first search; false after reporting a failure.
bool start_and_search(Discovery &discovery, const DiscoveryOptions &options, bool names,
                      std::vector<kvudps_module_struct> *found) {
    if (!discovery.start(options, destinations(options)) || !discovery.search(names, found)) {
        report(discovery.failure());
        return false;
    }
    return true;
}

// The device of the list with this hardware address, or null.
const kvudps_module_struct *find_by_mac(const std::vector<kvudps_module_struct> &devices,
                                        const std::string &mac) {
    for (const kvudps_module_struct &device : devices) {
        if (mac == device.mac)
            return &device;
    }
    return nullptr;
}

// The device with this IP address, a Quillon first when several answer from one address.
const kvudps_module_struct *find_by_ip(const std::vector<kvudps_module_struct> &devices,
                                       const std::string &ip) {
    const kvudps_module_struct *any = nullptr;
    for (const kvudps_module_struct &device : devices) {
        if (ip != device.ip)
            continue;
        if (device.type == kQuillonType)
            return &device;
        if (any == nullptr)
            any = &device;
    }
    return any;
}

std::string identity(const kvudps_module_struct &device) {
    return std::string(device.ip) + ":" + std::to_string(device.port) + " (" + device.mac + ")";
}

template <size_t N>
void put_text(char (&field)[N], const std::string &text) {
    std::snprintf(field, N, "%s", text.c_str());
}

} // namespace

int run_search(const QStringList &args) {
    const SearchRequest request = parse_search(args);
    Discovery discovery;
    std::vector<kvudps_module_struct> found;
    // Names over HTTP belong to other models only, so they are read only when those are listed.
    if (!start_and_search(discovery, request.discovery, request.all_types, &found))
        return kExitFailed;
    if (!request.all_types) {
        found.erase(
            std::remove_if(found.begin(), found.end(),
                           [](const kvudps_module_struct &d) { return d.type != kQuillonType; }),
            found.end());
    }
    std::fputs((request.json ? devices_json(found) : devices_text(found)).c_str(), stdout);
    return kExitOk;
}

int run_fix(const QStringList &args) {
    const FixRequest request = parse_fix(args);
    Discovery discovery;
    std::vector<kvudps_module_struct> found;
    if (!start_and_search(discovery, request.discovery, false, &found))
        return kExitFailed;
    const auto find = [&](const std::vector<kvudps_module_struct> &devices) {
        return request.by_mac ? find_by_mac(devices, request.device)
                              : find_by_ip(devices, request.device);
    };
    const kvudps_module_struct *device = find(found);
    if (device == nullptr) {
        report("fix", "no device " + request.device + " answered the search");
        return kExitFailed;
    }
    if (allows_configuration(*device)) {
        std::printf("%s: its mode allows configuration; nothing to fix.\n",
                    identity(*device).c_str());
        return kExitOk;
    }

    // The fix of the configuration page: mode_bit2 on, mode_bit0 off, everything else as the
    // device reported it.
    kvudps_module_struct fixed = *device;
    fixed.mode_bit2 = 1;
    fixed.mode_bit0 = 0;
    const std::string mac = fixed.mac;
    std::printf("%s: its mode does not allow configuration; sending the fix.\n",
                identity(fixed).c_str());
    std::fflush(stdout);
    if (!discovery.setup(fixed, false)) {
        report(discovery.failure());
        return kExitFailed;
    }
    // Confirm by hardware address: the fix leaves the address as it was, but a search finds
    // devices by what they answer now.
    if (!discovery.search(false, &found)) {
        report(discovery.failure());
        return kExitFailed;
    }
    device = find_by_mac(found, mac);
    if (device == nullptr) {
        report("fix", "device " + mac + " did not answer the search after the fix");
        return kExitFailed;
    }
    if (!allows_configuration(*device)) {
        report("fix", "device " + mac + " still does not allow configuration");
        return kExitFailed;
    }
    std::printf("%s: fixed; its mode allows configuration now.\n", identity(*device).c_str());
    return kExitOk;
}

int run_setup(const QStringList &args) {
    const SetupRequest request = parse_setup(args);
    Discovery discovery;
    std::vector<kvudps_module_struct> found;
    if (!start_and_search(discovery, request.discovery, false, &found))
        return kExitFailed;
    const kvudps_module_struct *device = find_by_mac(found, request.mac);
    if (device == nullptr) {
        report("setup", "no device " + request.mac + " answered the search");
        return kExitFailed;
    }

    // Every field not given keeps what the device reported.
    kvudps_module_struct record = *device;
    if (request.ip)
        put_text(record.ip, *request.ip);
    if (request.mask)
        put_text(record.mask, *request.mask);
    if (request.addr3)
        put_text(record.addr3, *request.addr3);
    if (request.addr4)
        put_text(record.addr4, *request.addr4);
    if (request.addr5)
        put_text(record.addr5, *request.addr5);
    if (request.port)
        record.port = *request.port;
    if (request.name)
        put_text(record.name, *request.name);
    std::printf("%s: sending the setup.\n", identity(*device).c_str());
    std::fflush(stdout);
    // A name given is also written over HTTP to the models that keep it on a web page.
    if (!discovery.setup(record, request.name.has_value())) {
        report(discovery.failure());
        return kExitFailed;
    }
    if (!discovery.search(false, &found)) {
        report(discovery.failure());
        return kExitFailed;
    }
    device = find_by_mac(found, request.mac);
    if (device == nullptr) {
        std::printf("%s does not answer at the search's destinations now.\n", request.mac.c_str());
        return kExitOk;
    }
    std::fputs(devices_text({*device}).c_str(), stdout);
    return kExitOk;
}

} // namespace quillon::cli
