// The web side of a simulated device of the models that keep their name on a web page: it serves
// "GET /values.xml" (the name in a DeviceName element) and takes "POST /setup.xml" (a new name in
// a Name element), one connection at a time, on its own thread.
#ifndef SIM_HTTP_NAME_SERVER_H
#define SIM_HTTP_NAME_SERVER_H

#include "kv_socket.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sim {

// How the server misbehaves, for tests of the client's failure handling.
enum class HttpFault {
    none,
    empty_name,     // <DeviceName></DeviceName>
    no_close_tag,   // the element is opened but never closed
    no_open_tag,    // only the closing tag is there
    huge_reply,     // the page is padded to huge_size bytes
    close_silently, // reads the request and closes without a byte
    hold_silently,  // accepts, reads the request, sends nothing, waits for the client to close
    keep_open       // sends the page, then keeps the connection open until the client closes
};

struct HttpNameServerOptions {
    std::string bind_ip = "127.0.0.1";
    uint16_t port = 0; // 0: any free port (port() tells)
    std::string name;  // the name served when get_name is not set
    HttpFault fault = HttpFault::none;
    std::string raw_reply;     // when not empty, sent as the whole reply to every GET
    size_t huge_size = 100000; // length of a huge_reply
    // The owning device's name, when the server belongs to one. Called on the server thread.
    std::function<std::string()> get_name;
    std::function<void(const std::string &)> set_name;
};

class HttpNameServer {
public:
    explicit HttpNameServer(HttpNameServerOptions options);
    ~HttpNameServer();
    HttpNameServer(const HttpNameServer &) = delete;
    HttpNameServer &operator=(const HttpNameServer &) = delete;

    // Binds, listens and starts the thread. 0, or -1 when the address cannot be bound.
    int start();
    // Ends the thread (any connection under way is dropped) and closes the socket.
    void stop();
    // Moves the server to a new address and port (a device that took new settings): stops,
    // then starts there; when that cannot be bound, starts again where it was. 0 or -1.
    int move_to(const std::string &bind_ip, uint16_t port);

    uint16_t port() const { return m_port.load(); }
    std::string bind_ip() const;

    // The name served (the owner's, when the server has one). Thread-safe.
    std::string name() const;
    void set_name(const std::string &name);
    void set_fault(HttpFault fault);
    void set_raw_reply(const std::string &reply);

    // Every request received so far, as raw bytes, in order. Thread-safe.
    std::vector<std::string> requests() const;

private:
    void run();
    void serve(kv_socket_t client);
    std::string page(HttpFault fault) const;

    mutable std::mutex m_mutex; // guards m_options and m_requests
    HttpNameServerOptions m_options;
    std::vector<std::string> m_requests;
    std::atomic<uint16_t> m_port{0};
    std::atomic<bool> m_stop{false};
    kv_socket_t m_listen = KV_INVALID_SOCKET; // owned by start/stop and the thread between them
    std::thread m_thread;
};

} // namespace sim

#endif // SIM_HTTP_NAME_SERVER_H
