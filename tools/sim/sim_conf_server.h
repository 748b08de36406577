// The simulated device's configuration port: a TCP server that plays the device's side of the
// configuration protocol on one address and port, one connection at a time, with fault modes
// for the tests and a log of every byte it received.
#ifndef SIM_CONF_SERVER_H
#define SIM_CONF_SERVER_H

#include "kv_socket.h"
#include "kvquiet_conf_struct.h"
#include "sim_conf_device.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace sim {

// How the device misbehaves. A mode is taken when a connection is accepted, so a change applies
// from the next connection on (refuse applies at once: the port closes).
enum class ConfFault : uint8_t {
    none,
    refuse,          // the port is closed: connections are refused
    silent,          // accept and never send anything
    short_greeting,  // a 12-character greeting, looking like a challenge, without TEA
    bad_checksum,    // a challenge whose 9 bytes do not add up to 0 (sent whatever TEA says)
    no_marker,       // a configuration line without "WEB51="
    close_mid_reply, // close the connection halfway through the configuration line
    trickle,         // send a byte every trickle interval, never pausing, and nothing else
    oversized_reply, // a configuration line of several thousand characters
    no_ack,          // greet and answer queries, but never acknowledge a command
};

struct ConfOptions {
    std::string address = "127.0.0.1"; // dotted decimal; the only address the server binds
    uint16_t port = 0;                 // 0: any free port (see ConfServer::port)
    bool tea = false;                  // ask for the TEA answer before the greeting
    std::array<uint32_t, 4> key{};     // TEA key words k0 to k3
    uint32_t challenge_seed = 0;       // 0: a different sequence of challenges every run
    std::string firmware = conf_default_firmware;
    kvquiet_conf_struct config = conf_factory_config();
    ConfFault fault = ConfFault::none;
    int32_t reply_delay_ms = 0;      // every reply (greeting, challenge, line, ack) waits this long
    int32_t trickle_interval_ms = 5; // the pace of the trickle fault
};

class ConfServer {
public:
    explicit ConfServer(ConfOptions options);
    ~ConfServer();
    ConfServer(const ConfServer &) = delete;
    ConfServer &operator=(const ConfServer &) = delete;

    // Binds the address and port, listens and starts serving on a thread of its own. Returns
    // false (see last_error) when the address does not parse or cannot be bound.
    bool start();
    // Stops serving and closes every socket. Also done by the destructor.
    void stop();

    // The bound port (the free port chosen for port 0), valid after start.
    uint16_t port() const { return port_.load(); }
    const std::string &address() const { return options_.address; }
    std::string last_error() const;

    // The current configuration, as a read would show it. Thread-safe.
    kvquiet_conf_struct config() const;
    void set_config(const kvquiet_conf_struct &config);
    std::string firmware() const;

    void set_fault(ConfFault fault) { fault_.store(fault); }
    ConfFault fault() const { return fault_.load(); }
    void set_reply_delay(int32_t ms) { reply_delay_ms_.store(ms); }

    // Every byte received on every connection, in order. Thread-safe.
    std::string received() const;
    void clear_received();

    // Connections served so far (a second connection while one is served is refused and not
    // counted), and whether one is open now.
    int connections() const { return connections_.load(); }
    int rejected() const { return rejected_.load(); }
    bool client_connected() const { return client_connected_.load(); }
    // Whether the port takes connections now (false while refusing, or after a fault change to
    // refuse until the serving thread has closed it, and back).
    bool listening() const { return listening_.load(); }

private:
    struct Connection;

    void run();
    bool open_listener();
    void adopt(Connection &c, kv_socket_t socket);
    void serve(Connection &c, int32_t wait_ms);
    void handle_input(Connection &c);
    void handle_command(Connection &c, const std::string &command);
    void send_challenge(Connection &c);
    bool reply(Connection &c, const std::string &bytes);
    bool send_bytes(Connection &c, const char *bytes, size_t length);
    void close_connection(Connection &c);
    bool pause(int32_t ms) const;

    const ConfOptions options_;
    uint32_t bind_address_ = 0; // set by start, read by the serving thread after

    mutable std::mutex mutex_;   // guards the fields below it up to the atomics
    kvquiet_conf_struct config_; // the device's settings
    std::string log_;            // every byte received
    std::string error_;          // the last start failure
    uint32_t seed_ = 0;          // the next challenge's seed

    std::atomic<uint16_t> port_{0};
    std::atomic<ConfFault> fault_;
    std::atomic<int32_t> reply_delay_ms_;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::atomic<int> rejected_{0};
    std::atomic<bool> client_connected_{false};
    std::atomic<bool> listening_{false};

    // Used by the serving thread alone once started.
    kv_socket_t listener_ = KV_INVALID_SOCKET;
    std::thread thread_;
};

} // namespace sim

#endif // SIM_CONF_SERVER_H
