// The web side of a simulated device: the name page and the name setup.
#include "sim_http_name_server.h"

#include "kv_thread.h"

#include <cstdlib>
#include <string_view>

namespace sim {

namespace {

constexpr int32_t kSliceMs = 100;     // how often the threads look at the stop flag
constexpr int32_t kRequestMs = 2000;  // the longest a request may take to arrive
constexpr size_t kRequestMax = 65536; // a longer request is answered as it stands

// Sends all bytes, waiting for room; gives up when the client goes away or stalls for 2 s.
void send_all(kv_socket_t s, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        if (kv_socket_wait(s, 1, kRequestMs) != 1)
            return;
        const int64_t n = kv_socket_send(s, bytes.data() + done, bytes.size() - done);
        if (n < 0)
            return;
        done += static_cast<size_t>(n);
    }
}

// Reads one request: the head up to the blank line, then Content-Length bytes of body.
std::string read_request(kv_socket_t s, const std::atomic<bool> &stop) {
    std::string request;
    const int64_t until = kv_monotonic_ms() + kRequestMs;
    char chunk[1024];
    while (!stop.load() && kv_monotonic_ms() < until && request.size() < kRequestMax) {
        const size_t head_end = request.find("\r\n\r\n");
        if (head_end != std::string::npos) {
            size_t body = 0;
            const size_t field = request.find("Content-Length:");
            if (field != std::string::npos && field < head_end)
                body = std::strtoul(request.c_str() + field + 15, nullptr, 10);
            if (request.size() >= head_end + 4 + body)
                break;
        }
        if (kv_socket_wait(s, 0, kSliceMs) != 1)
            continue;
        const int64_t n = kv_socket_recv(s, chunk, sizeof chunk);
        if (n == 0 || n == -1)
            break;
        if (n > 0)
            request.append(chunk, static_cast<size_t>(n));
    }
    return request;
}

// Waits until the client closes its end (or the server stops).
void wait_for_close(kv_socket_t s, const std::atomic<bool> &stop) {
    char chunk[256];
    while (!stop.load()) {
        if (kv_socket_wait(s, 0, kSliceMs) != 1)
            continue;
        const int64_t n = kv_socket_recv(s, chunk, sizeof chunk);
        if (n == 0 || n == -1)
            return;
    }
}

std::string between(const std::string &text, std::string_view open, std::string_view close) {
    const size_t a = text.find(open);
    if (a == std::string::npos)
        return {};
    const size_t start = a + open.size();
    const size_t b = text.find(close, start);
    return b == std::string::npos ? std::string{} : text.substr(start, b - start);
}

} // namespace

HttpNameServer::HttpNameServer(HttpNameServerOptions options) : m_options(std::move(options)) {}

HttpNameServer::~HttpNameServer() {
    stop();
}

int HttpNameServer::start() {
    if (m_thread.joinable())
        return 0;
    uint32_t address = 0;
    if (kv_inet_parse(bind_ip().c_str(), &address) != 0)
        return -1;
    kv_socket_startup();
    m_listen = kv_socket_tcp();
    if (m_listen == KV_INVALID_SOCKET)
        return -1;
    uint16_t port = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        port = m_options.port;
    }
    kv_socket_option(m_listen, KV_SOCKET_REUSEADDR);
    if (kv_socket_bind(m_listen, address, port) != 0 || kv_socket_listen(m_listen, 8) != 0 ||
        kv_socket_option(m_listen, KV_SOCKET_NONBLOCK) != 0 ||
        kv_socket_local(m_listen, nullptr, &port) != 0) {
        kv_socket_close(m_listen);
        m_listen = KV_INVALID_SOCKET;
        return -1;
    }
    m_port.store(port);
    m_stop.store(false);
    m_thread = std::thread([this] { run(); });
    return 0;
}

void HttpNameServer::stop() {
    m_stop.store(true);
    if (m_thread.joinable())
        m_thread.join();
    kv_socket_close(m_listen);
    m_listen = KV_INVALID_SOCKET;
}

int HttpNameServer::move_to(const std::string &bind_ip, uint16_t port) {
    stop();
    std::string old_ip;
    uint16_t old_port = m_port.load();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        old_ip = m_options.bind_ip;
        m_options.bind_ip = bind_ip;
        m_options.port = port;
    }
    if (start() == 0)
        return 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_options.bind_ip = old_ip;
        m_options.port = old_port;
    }
    start();
    return -1;
}

std::string HttpNameServer::bind_ip() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_options.bind_ip;
}

std::string HttpNameServer::name() const {
    std::function<std::string()> get;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_options.get_name)
            return m_options.name;
        get = m_options.get_name;
    }
    return get(); // outside the lock: the owner takes its own
}

void HttpNameServer::set_name(const std::string &name) {
    std::function<void(const std::string &)> set;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_options.name = name;
        set = m_options.set_name;
    }
    if (set)
        set(name);
}

void HttpNameServer::set_fault(HttpFault fault) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_options.fault = fault;
}

void HttpNameServer::set_raw_reply(const std::string &reply) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_options.raw_reply = reply;
}

std::vector<std::string> HttpNameServer::requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

void HttpNameServer::run() {
    while (!m_stop.load()) {
        if (kv_socket_wait(m_listen, 0, kSliceMs) != 1)
            continue;
        const kv_socket_t client = kv_socket_accept(m_listen, nullptr, nullptr);
        if (client == KV_INVALID_SOCKET)
            continue;
        kv_socket_option(client, KV_SOCKET_NONBLOCK);
        serve(client);
        kv_socket_close(client);
    }
}

std::string HttpNameServer::page(HttpFault fault) const {
    const std::string name = this->name();
    std::string element;
    switch (fault) {
    case HttpFault::empty_name:
        element = "<DeviceName></DeviceName>";
        break;
    case HttpFault::no_close_tag:
        element = "<DeviceName>" + name;
        break;
    case HttpFault::no_open_tag:
        element = name + "</DeviceName>";
        break;
    default:
        element = "<DeviceName>" + name + "</DeviceName>";
        break;
    }
    std::string reply = "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n"
                        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Values>\n" +
                        element + "\n<Temperature>21.5</Temperature>\n</Values>\n";
    if (fault == HttpFault::huge_reply) {
        size_t huge = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            huge = m_options.huge_size;
        }
        if (reply.size() < huge)
            reply.append(huge - reply.size(), ' ');
    }
    return reply;
}

void HttpNameServer::serve(kv_socket_t client) {
    HttpFault fault;
    std::string raw;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        fault = m_options.fault;
        raw = m_options.raw_reply;
    }
    const std::string request = read_request(client, m_stop);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(request);
    }
    if (fault == HttpFault::close_silently)
        return; // the request was read, so closing ends the connection cleanly
    if (fault == HttpFault::hold_silently) {
        wait_for_close(client, m_stop);
        return;
    }
    if (request.rfind("GET /values.xml ", 0) == 0) {
        send_all(client, raw.empty() ? page(fault) : raw);
        if (fault == HttpFault::keep_open)
            wait_for_close(client, m_stop);
        return;
    }
    if (request.rfind("POST /setup.xml ", 0) == 0) {
        const size_t body = request.find("\r\n\r\n");
        if (body != std::string::npos && request.find("<Name>", body) != std::string::npos)
            set_name(between(request.substr(body + 4), "<Name>", "</Name>"));
        send_all(client, "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n"
                         "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Result>OK</Result>\n");
        return;
    }
    send_all(client, "HTTP/1.0 404 Not Found\r\n\r\n");
}

} // namespace sim
