// A fleet of whole simulated devices: configuration port and discovery side under one identity.
#include "sim_fleet.h"

#include "kv_socket.h"

#include <cstdio>
#include <thread>

namespace sim {

namespace {

// Mode bytes: bit 2 on and bit 0 off is the network mode that allows configuration.
constexpr uint8_t kModeConfigurable = 0x04;
constexpr uint8_t kModeNeedsFix = 0x01;

constexpr uint32_t kLoopbackNet = 0x7F000000U; // 127.0.0.0/8, host order
constexpr uint32_t kLoopbackMask = 0xFF000000U;

bool allows_configuration(uint8_t mode) {
    return (mode & 0x04) != 0 && (mode & 0x01) == 0;
}

// The models whose service port is their web page rather than a configuration port.
bool web_only(uint8_t type) {
    return type != 31 && named_model(type);
}

// An address in host order, or nothing.
bool host_order(const std::string &text, uint32_t *address) {
    uint32_t network = 0;
    if (kv_inet_parse(text.c_str(), &network) != 0)
        return false;
    const auto *b = reinterpret_cast<const uint8_t *>(&network);
    *address = (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
    return true;
}

bool loopback(uint32_t address) {
    return (address & kLoopbackMask) == kLoopbackNet;
}

std::string mac_text(const std::array<uint8_t, 6> &mac) {
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    return text;
}

std::string firmware_text(const FleetDeviceOptions &options) {
    return std::to_string(options.fw_major) + "." + std::to_string(options.fw_minor) + "." +
           std::to_string(options.fw_patch);
}

} // namespace

struct Fleet::Device {
    FleetDeviceOptions options;
    mutable std::mutex mutex;         // guards the fields below
    std::unique_ptr<ConfServer> conf; // null for a web-only model
    DiscoveryIdentity identity;       // as last announced
    uint16_t discovery_port = 0;
};

Fleet::Fleet(FleetOptions options) : m_options(options) {}

Fleet::~Fleet() {
    stop();
}

std::string Fleet::address_after(const std::string &first, size_t index) {
    uint32_t start = 0;
    if (!host_order(first, &start) || index > 0xFFFFFFFEU - start)
        return {};
    const uint32_t address = start + static_cast<uint32_t>(index);
    if (address == 0xFFFFFFFFU)
        return {};
    // A fleet on loopback stays there, short of the loopback network's broadcast address.
    if (loopback(start) && (!loopback(address) || address == 0x7FFFFFFFU))
        return {};
    const uint8_t bytes[4] = {static_cast<uint8_t>(address >> 24),
                              static_cast<uint8_t>(address >> 16),
                              static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    return text;
}

FleetDeviceOptions Fleet::device_options(const std::string &first, size_t index) {
    FleetDeviceOptions options;
    options.address = address_after(first, index);
    const size_t number = index + 1;
    options.mac[3] = static_cast<uint8_t>(number >> 16);
    options.mac[4] = static_cast<uint8_t>(number >> 8);
    options.mac[5] = static_cast<uint8_t>(number);
    return options;
}

size_t Fleet::add(FleetDeviceOptions options) {
    auto device = std::make_unique<Device>();
    device->options = std::move(options);
    m_devices.push_back(std::move(device));
    return m_devices.size() - 1;
}

std::unique_ptr<ConfServer> Fleet::make_conf(const Device &device, const std::string &ip,
                                             uint16_t port, const kvquiet_conf_struct &config,
                                             bool configurable) {
    const FleetDeviceOptions &o = device.options;
    ConfOptions options;
    options.address = ip;
    options.port = port;
    options.tea = o.tea;
    options.key = o.tea_key;
    options.firmware = firmware_text(o);
    options.config = config;
    options.fault = configurable ? o.conf_fault : ConfFault::refuse;
    options.reply_delay_ms = o.reply_delay_ms;
    return std::make_unique<ConfServer>(options);
}

bool Fleet::start() {
    stop();
    // A fresh responder each time, so that a second start does not add the devices again.
    m_responder = std::make_unique<DiscoveryResponder>();
    for (size_t i = 0; i < m_devices.size(); ++i) {
        Device &device = *m_devices[i];
        const FleetDeviceOptions &o = device.options;
        if (o.address.empty() || !may_bind(o.address)) {
            {
                std::lock_guard<std::mutex> lock(m_error_mutex);
                m_error = "device " + std::to_string(i + 1) + ": '" + o.address +
                          "' is not an address the fleet may bind";
            }
            stop();
            return false;
        }
        DiscoveryIdentity identity;
        identity.mac = o.mac;
        identity.ip = o.address;
        identity.type = o.type;
        identity.fw_major = o.fw_major;
        identity.fw_minor = o.fw_minor;
        identity.fw_patch = o.fw_patch;
        identity.mode = o.needs_fix ? kModeNeedsFix : kModeConfigurable;
        identity.name = o.name;
        identity.port = o.config_port;
        if (!web_only(o.type)) {
            kvquiet_conf_struct config = conf_factory_config();
            if (o.no_frequency)
                config.top_p = -1;
            device.conf = make_conf(device, o.address, o.config_port, config, !o.needs_fix);
            if (!device.conf->start()) {
                std::lock_guard<std::mutex> lock(m_error_mutex);
                m_error = "configuration port " + o.address + ":" + std::to_string(o.config_port) +
                          ": " + device.conf->last_error();
                device.conf.reset();
                stop();
                return false;
            }
            identity.port = device.conf->port();
        }
        DiscoveryDeviceOptions side;
        side.bind_ip = o.address;
        side.identity = identity;
        side.search_key = o.search_key;
        side.fault = o.discovery_fault;
        side.on_change = [this, i](const DiscoveryIdentity &now) { changed(i, now); };
        m_responder->add(side);
        const std::lock_guard<std::mutex> lock(device.mutex);
        device.identity = identity;
    }
    if (m_responder->start(m_options.discovery_port) != 0) {
        {
            std::lock_guard<std::mutex> lock(m_error_mutex);
            m_error = "discovery port " + std::to_string(m_options.discovery_port) +
                      ": cannot be bound on every device's address";
        }
        stop();
        return false;
    }
    for (size_t i = 0; i < m_devices.size(); ++i) {
        Device &device = *m_devices[i];
        DiscoveryDevice &side = m_responder->device(i);
        const std::lock_guard<std::mutex> lock(device.mutex);
        device.identity = side.identity(); // a web-only model's free port is known now
        device.discovery_port = side.port();
    }
    return true;
}

void Fleet::stop() {
    // The discovery sides first: after this no change arrives from their threads.
    if (m_responder)
        m_responder->stop();
    // Each configuration port takes up to its poll slice to notice the stop: they are stopped
    // side by side, so that a large fleet stops as fast as one device.
    std::vector<std::unique_ptr<ConfServer>> confs;
    for (auto &device : m_devices) {
        const std::lock_guard<std::mutex> lock(device->mutex);
        if (device->conf)
            confs.push_back(std::move(device->conf));
    }
    std::vector<std::thread> stoppers;
    for (auto &conf : confs)
        stoppers.emplace_back([server = conf.get()] { server->stop(); });
    for (std::thread &stopper : stoppers)
        stopper.join();
}

std::string Fleet::last_error() const {
    const std::lock_guard<std::mutex> lock(m_error_mutex);
    return m_error;
}

bool Fleet::may_bind(const std::string &ip) const {
    uint32_t address = 0;
    if (!host_order(ip, &address) || address == 0 || address == 0xFFFFFFFFU)
        return false;
    return !m_options.loopback_only || loopback(address);
}

void Fleet::changed(size_t index, const DiscoveryIdentity &identity) {
    Device &device = *m_devices.at(index);
    {
        const std::lock_guard<std::mutex> lock(device.mutex);
        device.identity = identity;
        const bool configurable = allows_configuration(identity.mode);
        ConfServer *conf = device.conf.get();
        if (conf != nullptr && (identity.ip != conf->address() || identity.port != conf->port())) {
            // The device took a new address or port: its configuration port follows, keeping
            // the configuration, where the fleet may bind.
            if (identity.port != 0 && may_bind(identity.ip)) {
                const kvquiet_conf_struct config = conf->config();
                const std::string old_ip = conf->address();
                const uint16_t old_port = conf->port();
                conf->stop();
                device.conf = make_conf(device, identity.ip, identity.port, config, configurable);
                if (!device.conf->start()) {
                    {
                        std::lock_guard<std::mutex> error_lock(m_error_mutex);
                        m_error = "configuration port " + identity.ip + ":" +
                                  std::to_string(identity.port) + ": " + device.conf->last_error() +
                                  "; it stays at " + old_ip + ":" + std::to_string(old_port);
                    }
                    device.conf = make_conf(device, old_ip, old_port, config, configurable);
                    device.conf->start();
                }
            } else {
                std::lock_guard<std::mutex> error_lock(m_error_mutex);
                m_error = "configuration port not moved to " + identity.ip + ":" +
                          std::to_string(identity.port) + " (outside the fleet's network)";
            }
        }
        if (device.conf)
            device.conf->set_fault(configurable ? device.options.conf_fault : ConfFault::refuse);
    }
    if (m_on_change)
        m_on_change(index);
}

FleetDeviceInfo Fleet::info(size_t index) const {
    const Device &device = *m_devices.at(index);
    const std::lock_guard<std::mutex> lock(device.mutex);
    FleetDeviceInfo info;
    info.address = device.options.address;
    info.ip = device.identity.ip;
    info.config_port = device.conf ? device.conf->port() : 0;
    info.service_port = device.identity.port;
    info.discovery_port = device.discovery_port;
    info.mac = mac_text(device.identity.mac);
    info.type = device.identity.type;
    info.firmware = firmware_text(device.options);
    info.name = device.identity.name;
    info.configurable = allows_configuration(device.identity.mode);
    return info;
}

std::vector<FleetDeviceInfo> Fleet::devices() const {
    std::vector<FleetDeviceInfo> list;
    for (size_t i = 0; i < m_devices.size(); ++i)
        list.push_back(info(i));
    return list;
}

std::string Fleet::targets() const {
    std::string text;
    for (const auto &device : m_devices) {
        const std::lock_guard<std::mutex> lock(device->mutex);
        if (!text.empty())
            text += ',';
        text += device->options.address + ":" + std::to_string(device->discovery_port);
    }
    return text;
}

kvquiet_conf_struct Fleet::config(size_t index) const {
    const Device &device = *m_devices.at(index);
    const std::lock_guard<std::mutex> lock(device.mutex);
    if (device.conf)
        return device.conf->config();
    kvquiet_conf_struct none{};
    kvquiet_conf_clr(&none);
    return none;
}

void Fleet::set_on_change(std::function<void(size_t)> on_change) {
    m_on_change = std::move(on_change);
}

} // namespace sim
