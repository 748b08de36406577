// Many simulated devices at once, each on its own loopback address (127.0.0.2, 127.0.0.3, ...)
// and all on one discovery port, so that a client aimed at "127.0.0.2:P,127.0.0.3:P,..." reaches
// every one of them (each on a port of its own where the platform cannot share one).
#ifndef SIM_DISCOVERY_RESPONDER_H
#define SIM_DISCOVERY_RESPONDER_H

#include "sim_discovery_device.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sim {

class DiscoveryResponder {
public:
    DiscoveryResponder() = default;
    ~DiscoveryResponder();
    DiscoveryResponder(const DiscoveryResponder &) = delete;
    DiscoveryResponder &operator=(const DiscoveryResponder &) = delete;

    // The loopback address of device `index`: 127.0.0.2 for 0, then upwards.
    static std::string loopback_address(size_t index);

    // Options for device `index` with its own loopback address (as bind_ip and identity.ip)
    // and a hardware address of its own; the caller changes what else it likes.
    static DiscoveryDeviceOptions default_options(size_t index);

    // Adds a device, started by the next start(). Its bind_port is replaced by the common port.
    // Returns its index.
    size_t add(DiscoveryDeviceOptions options);

    // Starts every device on `port`; 0 finds a port that is free on every device's address, or,
    // where devices on different addresses cannot share a port, gives each its own free port.
    // 0, or -1 (nothing left running) when the devices cannot be bound.
    int start(uint16_t port = 0);
    // Stops every device (all are told first, then joined).
    void stop();

    uint16_t port() const { return m_port; } // the common port; 0 when each has its own
    size_t size() const { return m_devices.size(); }
    DiscoveryDevice &device(size_t index) { return *m_devices.at(index); }

    // "ADDR:PORT,ADDR:PORT,..." of every device, for kvudps_set_targets.
    std::string targets() const;

private:
    int start_all(uint16_t port, bool one_port);

    std::vector<DiscoveryDeviceOptions> m_options;
    std::vector<std::unique_ptr<DiscoveryDevice>> m_devices;
    uint16_t m_port = 0;
};

} // namespace sim

#endif // SIM_DISCOVERY_RESPONDER_H
