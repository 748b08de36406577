// Many simulated devices on one discovery port.
#include "sim_discovery_responder.h"

namespace sim {

namespace {

constexpr int kPortAttempts = 20;

} // namespace

DiscoveryResponder::~DiscoveryResponder() {
    stop();
}

std::string DiscoveryResponder::loopback_address(size_t index) {
    const size_t host = index + 2;
    return "127.0." + std::to_string((host >> 8) & 0xFF) + "." + std::to_string(host & 0xFF);
}

DiscoveryDeviceOptions DiscoveryResponder::default_options(size_t index) {
    DiscoveryDeviceOptions options;
    options.bind_ip = loopback_address(index);
    options.identity.ip = options.bind_ip;
    options.identity.mac[4] = static_cast<uint8_t>(index >> 8);
    options.identity.mac[5] = static_cast<uint8_t>(index);
    return options;
}

size_t DiscoveryResponder::add(DiscoveryDeviceOptions options) {
    m_options.push_back(std::move(options));
    return m_options.size() - 1;
}

int DiscoveryResponder::start_all(uint16_t port, bool one_port) {
    m_devices.clear();
    for (DiscoveryDeviceOptions options : m_options) {
        options.bind_port = port;
        auto device = std::make_unique<DiscoveryDevice>(std::move(options));
        if (device->start() != 0) {
            stop();
            return -1;
        }
        if (port == 0 && one_port)
            port = device->port(); // the first device picks, the others follow
        m_devices.push_back(std::move(device));
    }
    m_port = port;
    return 0;
}

int DiscoveryResponder::start(uint16_t port) {
    stop();
    if (port != 0)
        return start_all(port, true);
    // The port the first device gets may be taken on another device's address: try again.
    for (int attempt = 0; attempt < kPortAttempts; ++attempt) {
        if (start_all(0, true) == 0)
            return 0;
    }
    // Where a datagram socket bound to one address holds its port on every address (wine binds
    // it to the wildcard address, so that it hears broadcasts), the devices cannot share a
    // port: each takes a free one of its own, which targets() names.
    return start_all(0, false);
}

void DiscoveryResponder::stop() {
    for (auto &device : m_devices)
        device->request_stop();
    for (auto &device : m_devices)
        device->join();
    m_devices.clear();
}

std::string DiscoveryResponder::targets() const {
    std::string text;
    for (const auto &device : m_devices) {
        if (!text.empty())
            text += ',';
        text += device->bind_ip() + ":" + std::to_string(device->port());
    }
    return text;
}

} // namespace sim
