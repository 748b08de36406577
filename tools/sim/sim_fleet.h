// A fleet of whole simulated devices: each device joins a configuration port (ConfServer) and a
// discovery side (DiscoveryDevice, with its web name page for the models that have one) under
// one identity, so that what a setup changes shows on both sides. The quillon-sim program, the
// command-line tests and benchmarks and the desktop app's demo mode run their devices through
// it.
//
// A device's discovery socket stays where it was started; a setup that gives the device a new
// address or service port moves its configuration port there (within the loopback network
// unless the fleet allows other addresses), and a network mode that does not allow
// configuration closes the configuration port until a fix opens it again.
#ifndef SIM_FLEET_H
#define SIM_FLEET_H

#include "sim_conf_server.h"
#include "sim_discovery_responder.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

// One device of a fleet.
struct FleetDeviceOptions {
    std::string address = "127.0.0.2"; // where both sides listen
    uint16_t config_port = 99;         // configuration (or web) port; 0: any free port
    std::array<uint8_t, 6> mac{0x02, 0x51, 0x4C, 0x00, 0x00, 0x01};
    uint8_t type = 9; // type field 0-31 (31 announces an extension list)
    uint8_t fw_major = 3;
    uint8_t fw_minor = 1;
    uint8_t fw_patch = 4;
    std::string name;
    // The network mode does not allow configuration (mode_bit0 set, mode_bit2 clear): the
    // configuration port stays closed until a setup fixes the mode.
    bool needs_fix = false;
    bool tea = false;                  // the configuration port asks for the TEA answer
    std::array<uint32_t, 4> tea_key{}; // its key words
    bool no_frequency = false;         // starts without an upload frequency, as old firmware
    ConfFault conf_fault = ConfFault::none;
    int32_t reply_delay_ms = 0;
    DiscoveryFault discovery_fault = DiscoveryFault::none;
    kvquiet_tea_key search_key = factory_search_key();
};

struct FleetOptions {
    uint16_t discovery_port = 9999; // common to every device; 0: one free on every address
    // A setup may move a device's configuration port only to another loopback address
    // (127.0.0.0/8); when false, to any address but 0.0.0.0 (the fleet then runs on a network
    // named by its user).
    bool loopback_only = true;
};

// A device as it is now.
struct FleetDeviceInfo {
    std::string address;       // where its discovery socket listens
    std::string ip;            // the address it announces (a setup may change it)
    uint16_t config_port = 0;  // where its configuration port listens; 0 for a web-only model
    uint16_t service_port = 0; // the port it announces
    uint16_t discovery_port = 0;
    std::string mac; // 0A:1B:2C:3D:4E:5F
    uint8_t type = 0;
    std::string firmware; // major.minor.patch
    std::string name;
    bool configurable = false; // its network mode allows configuration
};

class Fleet {
public:
    explicit Fleet(FleetOptions options = {});
    ~Fleet();
    Fleet(const Fleet &) = delete;
    Fleet &operator=(const Fleet &) = delete;

    // The address `index` places after `first` (first + index), or an empty text when that
    // leaves the loopback network while `first` is in it (or passes 255.255.255.254).
    static std::string address_after(const std::string &first, size_t index);

    // Options of device `index` of a fleet starting at `first`: its own address and hardware
    // address (02:51:4C and the index + 1), the rest as FleetDeviceOptions has it.
    static FleetDeviceOptions device_options(const std::string &first, size_t index);

    // Adds a device, started by start(). Returns its index.
    size_t add(FleetDeviceOptions options);

    // Starts every device: the configuration ports first, so that each device announces the
    // port it got. All or nothing: false (see last_error) with nothing left running.
    bool start();
    // Stops every device. Also done by the destructor.
    void stop();

    std::string last_error() const;
    size_t size() const { return m_devices.size(); }

    // The state of one device, or of all. Thread-safe.
    FleetDeviceInfo info(size_t index) const;
    std::vector<FleetDeviceInfo> devices() const;

    // "ADDR:PORT,..." of every device's discovery socket, for kvudps_set_targets.
    std::string targets() const;

    // The configuration a read of device `index` shows now. Thread-safe.
    kvquiet_conf_struct config(size_t index) const;

    // Called, on a device's own thread, after a setup or a name write changed device `index`
    // (and after its configuration port has followed). Set before start().
    void set_on_change(std::function<void(size_t index)> on_change);

private:
    struct Device;

    void changed(size_t index, const DiscoveryIdentity &identity);
    bool may_bind(const std::string &ip) const;
    static std::unique_ptr<ConfServer> make_conf(const Device &device, const std::string &ip,
                                                 uint16_t port, const kvquiet_conf_struct &config,
                                                 bool configurable);

    const FleetOptions m_options;
    std::vector<std::unique_ptr<Device>> m_devices;  // fixed after start
    std::unique_ptr<DiscoveryResponder> m_responder; // made by start()
    std::function<void(size_t)> m_on_change;         // set before start, read by the device threads
    mutable std::mutex m_error_mutex;                // guards m_error
    std::string m_error;
};

} // namespace sim

#endif // SIM_FLEET_H
