// One simulated device's discovery side: a UDP socket bound to ADDR:PORT that answers every
// search request with a signed answer (to the sender's address and port) and takes the setup
// datagrams addressed to its hardware address, plus, for the models that keep their name on a
// web page, an HttpNameServer at its address and service port.
#ifndef SIM_DISCOVERY_DEVICE_H
#define SIM_DISCOVERY_DEVICE_H

#include "kv_socket.h"
#include "kvquiet_tea.h"
#include "kvudps_keys.h"
#include "sim_discovery_wire.h"
#include "sim_http_name_server.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace sim {

// How a device's answers go wrong, for tests of the client's failure handling.
enum class DiscoveryFault {
    none,
    bad_signature,    // one bit of the signature is flipped
    short_datagram,   // the answer is cut to 47 bytes
    duplicate_answer, // every answer is sent twice
    flood             // flood_count answers, each with its own hardware address
};

struct DiscoveryDeviceOptions {
    std::string bind_ip = "127.0.0.2"; // where the discovery socket listens
    uint16_t bind_port = 0;            // 0: any free port (port() tells)
    DiscoveryIdentity identity;        // an empty identity.ip takes bind_ip
    DiscoveryExtension extension;      // sent when identity.type is 31
    kvquiet_tea_key search_key = factory_search_key();
    // Checks the setups of a device whose extension announces feature0 (flags bit 0). The
    // client's setup key is all zero, delta included, until it is given one.
    kvquiet_tea_key setup_key{{0, 0, 0, 0}, 0};
    std::string domain = KVUDPS_DOMAIN_NAME; // the domain name a search request must carry
    DiscoveryFault fault = DiscoveryFault::none;
    int flood_count = 101;
    // Named models (type field 2-4, 6, 10-17, 21-25) serve their name over HTTP at
    // identity.ip:identity.port; a port of 0 there takes any free port.
    bool serve_http = true;
    HttpNameServerOptions http; // fault and reply settings; address, port and name are set here
    // Called on the device's threads after a setup or an HTTP name write changed the identity.
    std::function<void(const DiscoveryIdentity &)> on_change;
};

class DiscoveryDevice {
public:
    explicit DiscoveryDevice(DiscoveryDeviceOptions options);
    ~DiscoveryDevice();
    DiscoveryDevice(const DiscoveryDevice &) = delete;
    DiscoveryDevice &operator=(const DiscoveryDevice &) = delete;

    // Binds the discovery socket (and starts the web side) and the thread. 0, or -1 when
    // bind_ip:bind_port (or the web address) cannot be bound.
    int start();
    // Stops the thread and the web side and closes the socket.
    void stop();
    // The two halves of stop(), so that many devices can be told at once and then joined.
    void request_stop();
    void join();

    uint16_t port() const { return m_port.load(); } // the bound discovery port
    std::string bind_ip() const { return m_options.bind_ip; }

    // The current identity (after any setups). Thread-safe.
    DiscoveryIdentity identity() const;
    void set_identity(const DiscoveryIdentity &identity);
    void set_fault(DiscoveryFault fault);

    // Counters, thread-safe.
    uint64_t searches_answered() const { return m_searches.load(); }
    uint64_t setups_taken() const { return m_setups.load(); }
    uint64_t setups_rejected() const { return m_rejected.load(); }
    uint64_t changes() const { return m_changes.load(); }
    // kv_monotonic_ms() when the last answer went out, or 0.
    int64_t last_answer_ms() const { return m_last_answer_ms.load(); }

    // The web side, or null for a device without one. Valid until stop().
    HttpNameServer *http() const;

private:
    void run();
    void answer(uint32_t address, uint16_t port);
    void take_setup(const uint8_t *data, size_t length);
    bool may_bind(const std::string &ip) const;
    void changed();

    const DiscoveryDeviceOptions m_options; // fixed after construction
    mutable std::mutex m_mutex;             // guards m_identity and m_fault
    DiscoveryIdentity m_identity;
    DiscoveryFault m_fault;
    // The web side: made by start(), moved (not replaced) by the device thread after a setup,
    // dropped by stop() after the thread has ended.
    std::unique_ptr<HttpNameServer> m_http;
    kv_socket_t m_socket = KV_INVALID_SOCKET; // owned by start/stop and the thread between them
    std::atomic<uint16_t> m_port{0};
    std::atomic<bool> m_stop{false};
    std::atomic<uint64_t> m_searches{0};
    std::atomic<uint64_t> m_setups{0};
    std::atomic<uint64_t> m_rejected{0};
    std::atomic<uint64_t> m_changes{0};
    std::atomic<int64_t> m_last_answer_ms{0};
    std::thread m_thread;
};

} // namespace sim

#endif // SIM_DISCOVERY_DEVICE_H
