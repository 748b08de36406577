// The worker's conversation with one device over one TCP connection: connecting with a bounded
// wait, sending, receive steps that end after a quiet spell, waiting for a reply within the
// reply wait, and the read, write and command operations with their reports.
#include "kvquiet_conf_internal.h"

#include <cerrno>
#include <cstring>

namespace kvquiet_conf_detail {

namespace {

// One attempt of a writability wait lasts a second; the active flag is looked at every slice,
// so a close ends a connecting or sending worker within a tenth of a second.
constexpr int32_t attempt_ms = 1000;
constexpr int32_t slice_ms = 100;
// Attempts of the writability wait before each part of a send.
constexpr int32_t send_attempts = 2;
// The answer to a challenge is 12 characters, and so is a challenge where a greeting should be.
constexpr size_t challenge_length = 12;

int32_t quiet_of(const conf_job &job) {
    return job.settings.quiet_ms > 0 ? job.settings.quiet_ms : default_quiet_ms;
}

// The failure callback of a kind, from the job's copy of the settings.
kvquiet_conf_error_cb failure_callback(const conf_job &job, int32_t kind) {
    switch (kind) {
    case KVQUIET_CONF_FAIL_CONNECT:
        return job.settings.on_connect_error;
    case KVQUIET_CONF_FAIL_READ:
        return job.settings.on_read_error;
    case KVQUIET_CONF_FAIL_WRITE:
        return job.settings.on_write_error;
    case KVQUIET_CONF_FAIL_CMD:
        return job.settings.on_cmd_error;
    default:
        return job.settings.on_tea_error;
    }
}

int32_t operation_kind(const conf_job &job) {
    switch (job.operation) {
    case op_read:
        return KVQUIET_CONF_FAIL_READ;
    case op_write:
        return KVQUIET_CONF_FAIL_WRITE;
    default:
        return KVQUIET_CONF_FAIL_CMD;
    }
}

// Under the slot's lock: the operation succeeded. Wakes a waiter of kvquiet_conf_wait_finish.
void mark_finished_nolock(const conf_job &job) {
    conf_slot &s = kvquiet_slot(job.slot);
    s.finished = 1;
}

void wake_waiter_nolock(const conf_job &job) {
    conf_slot &s = kvquiet_slot(job.slot);
    if (s.waiting == 1)
        kv_sem_post(&s.wait_sem); // already signalled (by the timer) is as good
}

// Cuts the configuration line in `reply` before its line end. A line without one is incomplete:
// the reply buffer cut it, or the device paused in mid-line for longer than the quiet spell. Its
// last piece may then be a fragment ("B4" of "B42"), so that piece goes too, and its field and
// those after it stay unset instead of taking a wrong value. A reply of no more than one piece
// loses two characters, as a line end.
void end_line(char *reply) {
    size_t length = std::strlen(reply);
    if (length > 0 && (reply[length - 1] == '\n' || reply[length - 1] == '\r')) {
        while (length > 0 && (reply[length - 1] == '\n' || reply[length - 1] == '\r'))
            --length;
    } else if (const char *last = std::strrchr(reply, ';'); last != nullptr) {
        length = static_cast<size_t>(last - reply);
    } else {
        length = length >= 2 ? length - 2 : 0;
    }
    reply[length] = '\0';
}

// Read: "Q1\r" and "\r", each answered with the configuration line; the second is kept.
void run_read(conf_job &job) {
    int r = kvquiet_send(job, "Q1\r", 3);
    if (r == 0)
        r = kvquiet_wait_reply(job);
    if (r == 0)
        r = kvquiet_send(job, "\r", 1);
    if (r == 0)
        r = kvquiet_wait_reply(job);
    if (r == abandoned)
        return;
    if (r != 0) {
        kvquiet_report_failure(job, KVQUIET_CONF_FAIL_READ);
        return;
    }
    end_line(job.reply);
    kvquiet_release_socket(job);
    if (!kvquiet_job_lock(job))
        return;
    conf_slot &s = kvquiet_slot(job.slot);
    // The parse leaves the record untouched when it rejects the line.
    if (kvquiet_conf_reply_parse(job.reply, &s.configuration) != 0) {
        kvquiet_slot_unlock(job.slot);
        kvquiet_job_error(job, KV_ERR_NO_DATA);
        kvquiet_report_failure(job, KVQUIET_CONF_FAIL_READ);
        return;
    }
    mark_finished_nolock(job);
    if (job.settings.on_read != nullptr)
        job.settings.on_read(job.slot, job.settings.context, &s.configuration);
    wake_waiter_nolock(job);
    kvquiet_slot_unlock(job.slot);
}

// Write: "Q1\r", then each set field's command, each acknowledged within the reply wait, then
// the final command, if any, without waiting for an answer.
void run_write(conf_job &job) {
    int r = kvquiet_send(job, "Q1\r", 3);
    char command[KVQUIET_CONF_CMD_MAX];
    for (int32_t i = 0; i < KVQUIET_CONF_CMD_COUNT && r == 0; ++i) {
        if (kvquiet_conf_cmd_build(&job.configuration, command, i) != 0)
            continue;
        r = kvquiet_send(job, command, std::strlen(command));
        if (r == 0)
            r = kvquiet_wait_reply(job);
    }
    if (r == 0 && job.command[0] != '\0')
        r = kvquiet_send(job, job.command, std::strlen(job.command));
    if (r == abandoned)
        return;
    if (r != 0) {
        kvquiet_report_failure(job, KVQUIET_CONF_FAIL_WRITE);
        return;
    }
    kvquiet_release_socket(job);
    if (!kvquiet_job_lock(job))
        return;
    mark_finished_nolock(job);
    if (job.settings.on_write != nullptr)
        job.settings.on_write(job.slot, job.settings.context);
    wake_waiter_nolock(job);
    kvquiet_slot_unlock(job.slot);
}

// Command: send the text; the connection stays open for the device to act on it, in the slot's
// keeping until the slot is closed or its next operation starts.
void run_command(conf_job &job) {
    const int r = kvquiet_send(job, job.command, std::strlen(job.command));
    if (r == abandoned)
        return;
    if (r != 0) {
        kvquiet_report_failure(job, KVQUIET_CONF_FAIL_CMD);
        return;
    }
    if (!kvquiet_job_lock(job))
        return; // the caller closes the socket
    conf_slot &s = kvquiet_slot(job.slot);
    if (s.worker_socket == job.socket)
        s.worker_socket = KV_INVALID_SOCKET;
    kv_socket_close(s.kept_socket);
    s.kept_socket = job.socket;
    job.socket = KV_INVALID_SOCKET;
    mark_finished_nolock(job);
    if (job.settings.on_cmd != nullptr)
        job.settings.on_cmd(job.slot, job.settings.context);
    wake_waiter_nolock(job);
    kvquiet_slot_unlock(job.slot);
}

} // namespace

int kvquiet_wait_writable(kv_socket_t socket, int32_t attempts,
                          const std::atomic<int32_t> &active) {
    for (int32_t attempt = 0; attempt < attempts; ++attempt) {
        const int64_t end = kv_monotonic_ms() + attempt_ms;
        for (int64_t left = attempt_ms; left > 0; left = end - kv_monotonic_ms()) {
            const int ready =
                kv_socket_wait(socket, 1, static_cast<int32_t>(left < slice_ms ? left : slice_ms));
            if (ready == 1)
                return 1;
            if (ready < 0) {
                // A failed wait counts as an empty attempt, and takes the attempt's time.
                kv_sleep_ms(static_cast<int32_t>(end - kv_monotonic_ms()));
                break;
            }
            if (active.load() == 0)
                return abandoned;
        }
        if (active.load() == 0)
            return abandoned;
    }
    return 0;
}

int kvquiet_send_all(kv_socket_t socket, const char *bytes, size_t length,
                     const std::atomic<int32_t> &active, int32_t *code) {
    size_t sent = 0;
    while (sent < length) {
        const int ready = kvquiet_wait_writable(socket, send_attempts, active);
        if (ready == abandoned)
            return abandoned;
        if (ready == 0) {
            *code = KV_ERR_SELECT_WRITE;
            return -1;
        }
        const int64_t n = kv_socket_send(socket, bytes + sent, length - sent);
        if (n < 0) {
            *code = KV_ERR_SEND;
            return -1;
        }
        sent += static_cast<size_t>(n); // a partial send goes on with the rest
    }
    return 0;
}

int kvquiet_receive_step(kv_socket_t socket, char *reply, size_t cap, int32_t quiet_ms,
                         const std::atomic<int64_t> &deadline, int32_t *code) {
    size_t used = 0;
    bool got_any = false;
    reply[0] = '\0';
    char chunk[chunk_size];
    for (;;) {
        const int ready = kv_socket_wait(socket, 0, quiet_ms);
        if (ready == 0)
            return 0; // quiet for quiet_ms: the step is over
        if (ready < 0) {
            *code = KV_ERR_SELECT;
            return -1;
        }
        // A device that keeps sending past the reply deadline would hold the step forever.
        if (got_any && deadline.load() == -1) {
            *code = KV_ERR_TIMEOUT;
            return -1;
        }
        const int64_t n = kv_socket_recv(socket, chunk, sizeof chunk);
        if (n == -2)
            continue; // readable, yet nothing there after all
        if (n <= 0) {
            *code = KV_ERR_RECV; // the device closed the connection, or an error
            return -1;
        }
        got_any = true;
        size_t from = 0;
        if (used == 0 && n >= 2 && chunk[0] == '\r' && chunk[1] == '\n')
            from = 2;
        size_t take = static_cast<size_t>(n) - from;
        if (take > cap - 1 - used)
            take = cap - 1 - used; // a reply longer than the buffer is cut
        std::memcpy(reply + used, chunk + from, take);
        used += take;
        reply[used] = '\0';
    }
}

int kvquiet_connect(conf_job &job) {
    conf_slot &s = kvquiet_slot(job.slot);
    uint32_t address = 0;
    if (kv_socket_startup() != 0) {
        kvquiet_job_error(job, KV_ERR_SOCKET_INIT);
        return -1;
    }
    const kv_socket_t socket = kv_socket_tcp();
    if (socket == KV_INVALID_SOCKET) {
        kvquiet_job_error(job, KV_ERR_SOCKET_CREATE);
        return -1;
    }
    job.socket = socket;
    // Register the socket so that a close can wake this worker; a close already done ends it.
    if (!kvquiet_job_lock(job))
        return abandoned;
    s.worker_socket = socket;
    kvquiet_slot_unlock(job.slot);
    if (kv_socket_option(socket, KV_SOCKET_NONBLOCK) != 0) {
        kvquiet_job_error(job, KV_ERR_SOCKET_NONBLOCK);
        return -1;
    }
    int started = -1;
    if (kv_inet_parse(job.address, &address) == 0 && job.port > 0 && job.port <= 65535)
        started = kv_socket_connect_start(socket, address, static_cast<uint16_t>(job.port));
    if (started < 0 || job.settings.connect_wait <= 0) {
        kvquiet_job_error(job, KV_ERR_SOCKET_CONNECT);
        return -1;
    }
    if (started == 1) {
        const int ready = kvquiet_wait_writable(socket, job.settings.connect_wait, s.active);
        if (ready == abandoned)
            return abandoned;
        // A refused connection shows as writable with an error pending: a failure, at once.
        const int error = ready == 1 ? kv_socket_connect_error(socket) : 0;
        if (ready == 0 || error != 0) {
            if (error != 0)
                errno = error;
            kvquiet_job_error(job, KV_ERR_SOCKET_CONNECT);
            return -1;
        }
    }
    return 0;
}

int kvquiet_send(conf_job &job, const char *bytes, size_t length) {
    int32_t code = 0;
    const int r = kvquiet_send_all(job.socket, bytes, length, kvquiet_slot(job.slot).active, &code);
    if (r == -1)
        kvquiet_job_error(job, code);
    return r;
}

int kvquiet_receive(conf_job &job) {
    conf_slot &s = kvquiet_slot(job.slot);
    int32_t code = 0;
    const int r = kvquiet_receive_step(job.socket, job.reply, sizeof job.reply, quiet_of(job),
                                       s.reply_deadline, &code);
    if (r != 0) {
        if (s.active.load() == 0)
            return abandoned; // the close shut the socket down
        kvquiet_job_error(job, code);
    }
    return r;
}

int kvquiet_wait_reply(conf_job &job) {
    conf_slot &s = kvquiet_slot(job.slot);
    s.reply_deadline.store(kv_time_seconds() + job.settings.reply_wait);
    for (;;) {
        const int r = kvquiet_receive(job);
        if (r != 0)
            return r; // a receive failure ends the wait with its own code
        if (job.reply[0] != '\0')
            return 0;
        if (s.active.load() == 0)
            return abandoned;
        if (s.reply_deadline.load() == -1) {
            kvquiet_job_error(job, KV_ERR_TIMEOUT);
            return -1;
        }
    }
}

void kvquiet_release_socket(conf_job &job) {
    if (job.socket == KV_INVALID_SOCKET)
        return;
    // Unregister before closing, so a close of the slot never shuts down a reused descriptor.
    conf_slot &s = kvquiet_slot(job.slot);
    kv_thread_mutex_lock(&s.lock);
    if (s.worker_socket == job.socket)
        s.worker_socket = KV_INVALID_SOCKET;
    kv_thread_mutex_unlock(&s.lock);
    kv_socket_close(job.socket);
    job.socket = KV_INVALID_SOCKET;
}

void kvquiet_report_failure(conf_job &job, int32_t kind) {
    // The connection goes first: a host that reopens from the callback finds the device free.
    kvquiet_release_socket(job);
    if (!kvquiet_job_lock(job))
        return;
    const kvquiet_conf_error_cb callback = failure_callback(job, kind);
    if (callback != nullptr)
        callback(job.slot, job.settings.context, &kvquiet_slot(job.slot).error);
    kvquiet_slot_unlock(job.slot);
}

void kvquiet_run_job(conf_job &job) {
    int r = kvquiet_connect(job);
    if (r == abandoned)
        return;
    if (r != 0) {
        kvquiet_report_failure(job, KVQUIET_CONF_FAIL_CONNECT);
        return;
    }
    if (!kvquiet_job_lock(job))
        return;
    if (job.settings.on_connect != nullptr)
        job.settings.on_connect(job.slot, job.settings.context);
    kvquiet_slot_unlock(job.slot);

    const bool tea = job.settings.tea != 0;
    if (tea) {
        r = kvquiet_tea_authorize(job);
        if (r == abandoned)
            return;
        if (r != 0) {
            kvquiet_report_failure(job, KVQUIET_CONF_FAIL_TEA);
            return;
        }
    }
    // The greeting; with authorization on, its absence means the answer was not taken.
    r = kvquiet_wait_reply(job);
    if (r == abandoned)
        return;
    if (r != 0) {
        if (tea && job.code == KV_ERR_TIMEOUT) {
            kvquiet_job_error(job, KV_ERR_TEA_AUTH);
            kvquiet_report_failure(job, KVQUIET_CONF_FAIL_TEA);
        } else {
            kvquiet_report_failure(job, operation_kind(job));
        }
        return;
    }
    // A 12-character greeting is a challenge: the device wants an answer it did not get or
    // refused.
    if (std::strlen(job.reply) == challenge_length) {
        kvquiet_job_error(job, KV_ERR_TEA_AUTH);
        kvquiet_report_failure(job, KVQUIET_CONF_FAIL_TEA);
        return;
    }
    switch (job.operation) {
    case op_read:
        run_read(job);
        break;
    case op_write:
        run_write(job);
        break;
    default:
        run_command(job);
        break;
    }
}

} // namespace kvquiet_conf_detail
