// The simulated device's configuration port: one serving thread that accepts one connection at a
// time and answers it as the device does, or misbehaves as its fault mode says.
#include "sim_conf_server.h"

#include "kv_thread.h"

#include <random>

namespace sim {

namespace {

// The serving thread never blocks longer than this, so stop() and fault changes act quickly.
constexpr int32_t poll_ms = 20;
constexpr int32_t pause_slice_ms = 10;
// A greeting of 12 characters: what a client takes for a challenge.
constexpr const char *short_greeting = "QLN READY!\r\n";
constexpr size_t oversized_filler = 3000;
constexpr size_t answer_length = 12;

} // namespace

struct ConfServer::Connection {
    kv_socket_t socket = KV_INVALID_SOCKET;
    ConfFault fault = ConfFault::none;
    std::string input;            // received bytes not yet taken as a command or an answer
    bool awaiting_answer = false; // a challenge is out
    std::string answer;           // the answer expected to it
    int64_t next_trickle_ms = 0;

    bool open() const { return socket != KV_INVALID_SOCKET; }
};

ConfServer::ConfServer(ConfOptions options)
    : options_(std::move(options)), config_(options_.config), fault_(options_.fault),
      reply_delay_ms_(options_.reply_delay_ms) {
    seed_ = options_.challenge_seed != 0 ? options_.challenge_seed : std::random_device{}();
    if (seed_ == 0)
        seed_ = 1;
}

ConfServer::~ConfServer() {
    stop();
}

bool ConfServer::start() {
    if (thread_.joinable())
        return true;
    if (kv_socket_startup() != 0 || kv_inet_parse(options_.address.c_str(), &bind_address_) != 0) {
        std::lock_guard<std::mutex> guard(mutex_);
        error_ = "not a dotted-decimal IPv4 address: " + options_.address;
        return false;
    }
    port_.store(options_.port);
    if (!open_listener())
        return false;
    if (fault_.load() == ConfFault::refuse) {
        // The free port is chosen all the same, so that it is known from the start; the port
        // then closes before anyone can connect.
        kv_socket_close(listener_);
        listener_ = KV_INVALID_SOCKET;
        listening_.store(false);
    }
    stop_.store(false);
    thread_ = std::thread(&ConfServer::run, this);
    return true;
}

void ConfServer::stop() {
    stop_.store(true);
    if (thread_.joinable())
        thread_.join();
    kv_socket_close(listener_);
    listener_ = KV_INVALID_SOCKET;
    listening_.store(false);
}

std::string ConfServer::last_error() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return error_;
}

kvquiet_conf_struct ConfServer::config() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return config_;
}

void ConfServer::set_config(const kvquiet_conf_struct &config) {
    std::lock_guard<std::mutex> guard(mutex_);
    config_ = config;
}

std::string ConfServer::firmware() const {
    return options_.firmware;
}

std::string ConfServer::received() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return log_;
}

void ConfServer::clear_received() {
    std::lock_guard<std::mutex> guard(mutex_);
    log_.clear();
}

bool ConfServer::open_listener() {
    kv_socket_t s = kv_socket_tcp();
    const bool ok = s != KV_INVALID_SOCKET && kv_socket_option(s, KV_SOCKET_REUSEADDR) == 0 &&
                    kv_socket_option(s, KV_SOCKET_NONBLOCK) == 0 &&
                    kv_socket_bind(s, bind_address_, port_.load()) == 0 &&
                    kv_socket_listen(s, 8) == 0;
    uint16_t bound = 0;
    if (!ok || kv_socket_local(s, nullptr, &bound) != 0) {
        std::lock_guard<std::mutex> guard(mutex_);
        error_ = "cannot listen on " + options_.address + ":" + std::to_string(port_.load());
        kv_socket_close(s);
        return false;
    }
    port_.store(bound);
    listener_ = s;
    listening_.store(true);
    return true;
}

bool ConfServer::pause(int32_t ms) const {
    const int64_t end = kv_monotonic_ms() + ms;
    for (int64_t left = ms; left > 0 && !stop_.load(); left = end - kv_monotonic_ms())
        kv_sleep_ms(static_cast<int32_t>(left < pause_slice_ms ? left : pause_slice_ms));
    return !stop_.load();
}

void ConfServer::run() {
    Connection c;
    while (!stop_.load()) {
        // Refusing means no listening socket at all, so a connection attempt is turned away.
        const bool refuse = fault_.load() == ConfFault::refuse;
        if (refuse && listener_ != KV_INVALID_SOCKET) {
            kv_socket_close(listener_);
            listener_ = KV_INVALID_SOCKET;
            listening_.store(false);
        } else if (!refuse && listener_ == KV_INVALID_SOCKET && !open_listener()) {
            pause(poll_ms);
            continue;
        }
        if (!c.open()) {
            if (listener_ == KV_INVALID_SOCKET)
                pause(poll_ms);
            else if (kv_socket_wait(listener_, 0, poll_ms) == 1)
                adopt(c, kv_socket_accept(listener_, nullptr, nullptr));
            continue;
        }
        serve(c, c.fault == ConfFault::trickle ? options_.trickle_interval_ms : poll_ms);
        if (listener_ == KV_INVALID_SOCKET)
            continue;
        // One configuration connection at a time: another one is closed at once, unless the
        // first has just ended (its close may still be on the way when the next one arrives).
        kv_socket_t extra = kv_socket_accept(listener_, nullptr, nullptr);
        if (extra == KV_INVALID_SOCKET)
            continue;
        if (c.open())
            serve(c, 0);
        if (c.open()) {
            rejected_.fetch_add(1); // counted first: the client may look as soon as it is closed
            kv_socket_close(extra);
        } else {
            adopt(c, extra);
        }
    }
    close_connection(c);
}

void ConfServer::adopt(Connection &c, kv_socket_t socket) {
    if (socket == KV_INVALID_SOCKET)
        return;
    c = Connection{};
    c.socket = socket;
    c.fault = fault_.load();
    kv_socket_option(socket, KV_SOCKET_NONBLOCK);
    // Each reply goes out at once rather than after the previous one's acknowledgement.
    kv_socket_option(socket, KV_SOCKET_NODELAY);
    connections_.fetch_add(1);
    client_connected_.store(true);
    switch (c.fault) {
    case ConfFault::silent:
        break;
    case ConfFault::trickle:
        c.next_trickle_ms = kv_monotonic_ms();
        break;
    case ConfFault::short_greeting:
        reply(c, short_greeting);
        break;
    case ConfFault::bad_checksum:
        send_challenge(c);
        break;
    default:
        if (options_.tea)
            send_challenge(c);
        else
            reply(c, conf_greeting);
        break;
    }
}

void ConfServer::serve(Connection &c, int32_t wait_ms) {
    const int ready = kv_socket_wait(c.socket, 0, wait_ms);
    if (ready < 0) {
        close_connection(c);
        return;
    }
    if (ready == 1) {
        char buffer[2048];
        const int64_t n = kv_socket_recv(c.socket, buffer, sizeof buffer);
        if (n == 0 || n == -1) {
            close_connection(c); // the client went away
            return;
        }
        if (n > 0) {
            {
                std::lock_guard<std::mutex> guard(mutex_);
                log_.append(buffer, static_cast<size_t>(n));
            }
            if (c.fault != ConfFault::silent && c.fault != ConfFault::trickle) {
                c.input.append(buffer, static_cast<size_t>(n));
                handle_input(c);
            }
        }
    }
    if (c.open() && c.fault == ConfFault::trickle && kv_monotonic_ms() >= c.next_trickle_ms) {
        send_bytes(c, ".", 1);
        c.next_trickle_ms += options_.trickle_interval_ms > 0 ? options_.trickle_interval_ms : 1;
    }
}

void ConfServer::handle_input(Connection &c) {
    while (c.open()) {
        if (c.awaiting_answer) {
            // The answer has no line end: it is the next 12 characters.
            if (c.input.size() < answer_length)
                return;
            const std::string got = c.input.substr(0, answer_length);
            c.input.erase(0, answer_length);
            if (c.fault != ConfFault::bad_checksum && got == c.answer) {
                c.awaiting_answer = false;
                reply(c, conf_greeting);
            } else {
                send_challenge(c); // a wrong answer gets a new challenge
            }
            continue;
        }
        const size_t end = c.input.find('\r');
        if (end == std::string::npos)
            return;
        std::string command = c.input.substr(0, end);
        c.input.erase(0, end + 1);
        std::erase(command, '\n');
        handle_command(c, command);
    }
}

void ConfServer::handle_command(Connection &c, const std::string &command) {
    if (command == "R") {
        close_connection(c); // a reset ends the connection
        return;
    }
    if (command != "Q1" && !command.empty()) {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            conf_apply_command(config_, command);
        }
        if (c.fault != ConfFault::no_ack)
            reply(c, conf_ack);
        return;
    }
    std::string line = conf_line(config(), options_.firmware);
    switch (c.fault) {
    case ConfFault::no_marker:
        line.replace(line.find("WEB51="), 6, "WEB50=");
        break;
    case ConfFault::oversized_reply:
        line.insert(line.size() - 2, ";Z" + std::string(oversized_filler, 'x'));
        break;
    case ConfFault::close_mid_reply:
        if (reply(c, line.substr(0, line.size() / 2)))
            close_connection(c);
        return;
    default:
        break;
    }
    reply(c, line);
}

void ConfServer::send_challenge(Connection &c) {
    uint32_t seed = 0;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        seed_ = seed_ * 1664525U + 1013904223U;
        seed = seed_ != 0 ? seed_ : 1;
    }
    const ConfChallenge challenge =
        conf_make_challenge(options_.key, seed, c.fault == ConfFault::bad_checksum);
    c.answer = challenge.answer;
    c.awaiting_answer = true;
    reply(c, challenge.text);
}

bool ConfServer::reply(Connection &c, const std::string &bytes) {
    if (!pause(reply_delay_ms_.load()))
        return false;
    return send_bytes(c, bytes.data(), bytes.size());
}

bool ConfServer::send_bytes(Connection &c, const char *bytes, size_t length) {
    size_t sent = 0;
    while (sent < length && c.open() && !stop_.load()) {
        const int ready = kv_socket_wait(c.socket, 1, poll_ms);
        if (ready == 0)
            continue;
        const int64_t n = ready == 1 ? kv_socket_send(c.socket, bytes + sent, length - sent) : -1;
        if (n < 0) {
            close_connection(c);
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return sent == length;
}

void ConfServer::close_connection(Connection &c) {
    if (!c.open())
        return;
    kv_socket_close(c.socket);
    c.socket = KV_INVALID_SOCKET;
    c.input.clear();
    c.awaiting_answer = false;
    client_connected_.store(false);
}

} // namespace sim
