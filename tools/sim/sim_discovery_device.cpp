// One simulated device's discovery side.
#include "sim_discovery_device.h"

#include "kv_socket.h"
#include "kv_thread.h"

#include <cstring>

namespace sim {

namespace {

constexpr int32_t kSliceMs = 200; // the longest the thread goes without looking at stop
constexpr size_t kDatagramMax = 1500;

bool same_echo(const std::array<uint8_t, 8> &a, const std::array<uint8_t, 8> &b) {
    return std::memcmp(a.data(), b.data(), a.size()) == 0;
}

} // namespace

DiscoveryDevice::DiscoveryDevice(DiscoveryDeviceOptions options)
    : m_options(std::move(options)), m_identity(m_options.identity), m_fault(m_options.fault) {
    if (m_identity.ip.empty())
        m_identity.ip = m_options.bind_ip;
}

DiscoveryDevice::~DiscoveryDevice() {
    stop();
}

int DiscoveryDevice::start() {
    if (m_thread.joinable())
        return 0;
    uint32_t address = 0;
    if (kv_inet_parse(m_options.bind_ip.c_str(), &address) != 0)
        return -1;
    kv_socket_startup();
    m_socket = kv_socket_udp();
    uint16_t port = 0;
    if (m_socket == KV_INVALID_SOCKET ||
        kv_socket_bind(m_socket, address, m_options.bind_port) != 0 ||
        kv_socket_option(m_socket, KV_SOCKET_NONBLOCK) != 0 ||
        kv_socket_local(m_socket, nullptr, &port) != 0) {
        kv_socket_close(m_socket);
        m_socket = KV_INVALID_SOCKET;
        return -1;
    }
    m_port.store(port);

    DiscoveryIdentity id = identity();
    if (m_options.serve_http && id.type != 31 && named_model(id.type)) {
        HttpNameServerOptions http = m_options.http;
        http.bind_ip = id.ip;
        http.port = id.port;
        http.get_name = [this] { return identity().name; };
        http.set_name = [this](const std::string &name) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_identity.name = name;
            }
            changed();
        };
        m_http = std::make_unique<HttpNameServer>(std::move(http));
        if (m_http->start() != 0) {
            m_http.reset();
            kv_socket_close(m_socket);
            m_socket = KV_INVALID_SOCKET;
            return -1;
        }
        // A service port of 0 meant "any": the device announces the one it got.
        std::lock_guard<std::mutex> lock(m_mutex);
        m_identity.port = m_http->port();
    }
    m_stop.store(false);
    m_thread = std::thread([this] { run(); });
    return 0;
}

void DiscoveryDevice::request_stop() {
    m_stop.store(true);
}

void DiscoveryDevice::join() {
    if (m_thread.joinable())
        m_thread.join();
    if (m_http)
        m_http->stop();
    m_http.reset();
    kv_socket_close(m_socket);
    m_socket = KV_INVALID_SOCKET;
}

void DiscoveryDevice::stop() {
    request_stop();
    join();
}

DiscoveryIdentity DiscoveryDevice::identity() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_identity;
}

void DiscoveryDevice::set_identity(const DiscoveryIdentity &identity) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_identity = identity;
}

void DiscoveryDevice::set_fault(DiscoveryFault fault) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fault = fault;
}

HttpNameServer *DiscoveryDevice::http() const {
    return m_http.get();
}

void DiscoveryDevice::changed() {
    m_changes.fetch_add(1);
    if (m_options.on_change)
        m_options.on_change(identity());
}

void DiscoveryDevice::run() {
    const std::array<uint8_t, 48> request = search_request(m_options.domain);
    uint8_t buffer[kDatagramMax];
    while (!m_stop.load()) {
        if (kv_socket_wait(m_socket, 0, kSliceMs) != 1)
            continue;
        uint32_t from = 0;
        uint16_t from_port = 0;
        const int64_t n = kv_socket_recvfrom(m_socket, buffer, sizeof buffer, &from, &from_port);
        if (n < 48)
            continue;
        const size_t length = static_cast<size_t>(n);
        if (length == request.size() && std::memcmp(buffer, request.data(), length) == 0)
            answer(from, from_port);
        else if (std::memcmp(buffer, identity().mac.data(), 6) == 0)
            take_setup(buffer, length);
    }
}

void DiscoveryDevice::answer(uint32_t address, uint16_t port) {
    DiscoveryIdentity id;
    DiscoveryFault fault;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        id = m_identity;
        fault = m_fault;
    }
    std::vector<uint8_t> bytes = encode_answer(id, m_options.extension, m_options.search_key);
    switch (fault) {
    case DiscoveryFault::bad_signature:
        bytes[47] ^= 0x01;
        break;
    case DiscoveryFault::short_datagram:
        bytes.resize(47);
        break;
    default:
        break;
    }
    const int copies = fault == DiscoveryFault::duplicate_answer ? 2 : 1;
    for (int i = 0; i < copies; ++i)
        kv_socket_sendto(m_socket, bytes.data(), bytes.size(), address, port);
    if (fault == DiscoveryFault::flood) {
        // More distinct devices: the same answer under further hardware addresses. A short
        // breath now and then keeps the client's receive buffer from overflowing.
        for (int i = 1; i < m_options.flood_count; ++i) {
            DiscoveryIdentity other = id;
            other.mac[4] = static_cast<uint8_t>(id.mac[4] + (i >> 8));
            other.mac[5] = static_cast<uint8_t>(id.mac[5] + i);
            const std::vector<uint8_t> more =
                encode_answer(other, m_options.extension, m_options.search_key);
            kv_socket_sendto(m_socket, more.data(), more.size(), address, port);
            if (i % 16 == 0)
                kv_sleep_ms(1);
        }
    }
    m_last_answer_ms.store(kv_monotonic_ms());
    m_searches.fetch_add(1);
}

// A setup names any address; the simulator listens only on one host address of the loopback
// network, or, when it was started outside loopback on purpose, on another single host address
// (never the wildcard 0.0.0.0 or a broadcast address, which would open it on every interface).
namespace {
// The first byte and the whole address of a dotted-decimal text, or false.
bool parse_host(const std::string &ip, uint8_t *first, uint32_t *host) {
    uint32_t address = 0; // network order in memory
    if (kv_inet_parse(ip.c_str(), &address) != 0)
        return false;
    uint8_t bytes[4];
    std::memcpy(bytes, &address, sizeof bytes);
    *first = bytes[0];
    *host = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
            bytes[3];
    return true;
}
} // namespace

bool DiscoveryDevice::may_bind(const std::string &ip) const {
    uint8_t first = 0;
    uint32_t host = 0;
    if (!parse_host(ip, &first, &host))
        return false;
    if (host == 0 || host == 0xFFFFFFFFU || (host & 0xFFU) == 0xFFU)
        return false;
    uint8_t own_first = 0;
    uint32_t own = 0;
    const bool own_loopback = parse_host(m_options.bind_ip, &own_first, &own) && own_first == 127;
    return !own_loopback || first == 127;
}

void DiscoveryDevice::take_setup(const uint8_t *data, size_t length) {
    const DiscoveryIdentity before = identity();
    const bool setup_key =
        before.type == 31 && m_options.extension.flags_entry && (m_options.extension.flags & 1);
    SetupRequest setup;
    if (!decode_setup(data, length, setup) || !same_echo(setup.echo_block, before.echo_block) ||
        !signature_valid(data, length, setup_key ? m_options.setup_key : m_options.search_key)) {
        m_rejected.fetch_add(1);
        return;
    }
    DiscoveryIdentity after = before;
    after.ip = setup.ip;
    after.mask = setup.mask;
    after.addr3 = setup.addr3;
    after.addr4 = setup.addr4;
    after.addr5 = setup.addr5;
    after.mode = setup.mode;
    after.port = setup.port;
    if (setup.name)
        after.name = *setup.name;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_identity.ip = after.ip;
        m_identity.mask = after.mask;
        m_identity.addr3 = after.addr3;
        m_identity.addr4 = after.addr4;
        m_identity.addr5 = after.addr5;
        m_identity.mode = after.mode;
        m_identity.port = after.port;
        if (setup.name)
            m_identity.name = after.name;
    }
    // The web side follows the device to its new address, where the client writes the name;
    // but only to an address this simulator may bind (see may_bind).
    if (m_http && (after.ip != before.ip || after.port != before.port) && may_bind(after.ip))
        m_http->move_to(after.ip, after.port);
    m_setups.fetch_add(1);
    changed();
}

} // namespace sim
