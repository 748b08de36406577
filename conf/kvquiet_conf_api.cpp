// The configuration library's public functions: opening and closing slots, starting the three
// operations, learning of their end, and copying out records.
#include "kvquiet_conf_internal.h"

#include <cstdio>
#include <cstring>

using namespace kvquiet_conf_detail;

namespace {

// Copies a text of known short length into a fixed field, terminated.
void copy_text(char *dst, size_t cap, const char *src) {
    std::strncpy(dst, src, cap - 1);
    dst[cap - 1] = '\0';
}

// A text of at most max characters? Looks at no more than max + 1 characters.
bool text_fits(const char *text, size_t max) {
    for (size_t i = 0; i <= max; ++i) {
        if (text[i] == '\0')
            return true;
    }
    return false;
}

// Locks an open slot for an API call. On false nothing is held and code 16 is recorded in
// slot 0 (a number outside 1 to 99, or a free slot).
bool lock_open_slot(int32_t slot) {
    kvquiet_locks_ready();
    if (!kvquiet_slot_number_valid(slot)) {
        kv_error_set(0, KV_ERR_ID_NOT_FOUND);
        return false;
    }
    conf_slot &s = kvquiet_slot(slot);
    kv_thread_mutex_lock(&s.lock);
    if (s.address[0] == '\0') {
        kv_thread_mutex_unlock(&s.lock);
        kv_error_set(0, KV_ERR_ID_NOT_FOUND);
        return false;
    }
    return true;
}

// The common start of a read, write or command: mark the slot started, then start a worker.
int start_operation(int32_t slot, int32_t operation, const kvquiet_conf_struct *configuration,
                    const char *command) {
    if (!lock_open_slot(slot))
        return -1;
    conf_slot &s = kvquiet_slot(slot);
    if (s.finished != 1) {
        kv_thread_mutex_unlock(&s.lock);
        kv_error_set(slot, KV_ERR_ID_IN_USE);
        return -1;
    }
    s.pending = 0;
    s.finished = 0;
    s.operation = operation;
    if (configuration != nullptr)
        s.configuration = *configuration;
    copy_text(s.command, sizeof s.command, command != nullptr ? command : "");
    // The device takes one configuration connection at a time: the one a command left open
    // must go before the next operation connects.
    kv_socket_close(s.kept_socket);
    s.kept_socket = KV_INVALID_SOCKET;
    kv_thread_mutex_unlock(&s.lock);

    kvquiet_select_thread(1);
    kv_thread_t worker = kv_thread_start(kvquiet_thread_entry);
    if (kv_thread_started(worker) != 0) {
        // No worker will come for this start; the slot stays failed (finished 0) but must not
        // be left pending, or the worker of another slot's start would take it instead.
        kv_thread_mutex_lock(&s.lock);
        s.pending = 1;
        kv_thread_mutex_unlock(&s.lock);
        kv_error_set(slot, KV_ERR_THREAD_CREATE);
        return -1;
    }
    kvquiet_keep_thread(slot, worker);
    return 0;
}

} // namespace

extern "C" int kvquiet_conf_clr_settings_struct(kvquiet_conf_settings_struct *settings) {
    if (settings == nullptr)
        return -1;
    std::memset(settings, 0, sizeof *settings);
    settings->context = nullptr;
    settings->tea = 0;
    settings->connect_wait = 5;
    settings->reply_wait = 10;
    settings->on_connect = nullptr;
    settings->on_connect_error = nullptr;
    settings->on_read = nullptr;
    settings->on_read_error = nullptr;
    settings->on_write = nullptr;
    settings->on_write_error = nullptr;
    settings->on_cmd = nullptr;
    settings->on_cmd_error = nullptr;
    settings->on_tea_error = nullptr;
    settings->quiet_ms = default_quiet_ms;
    return 0;
}

extern "C" int32_t kvquiet_conf_open(const char *address, int32_t port,
                                     const kvquiet_conf_settings_struct *settings) {
    kvquiet_locks_ready();
    if (address == nullptr || settings == nullptr) {
        kv_error_set(0, KV_ERR_NULL_POINTER);
        return -1;
    }
    uint32_t parsed = 0;
    if (!text_fits(address, KVQUIET_CONF_ADDRESS_CAP - 1) || kv_inet_parse(address, &parsed) != 0) {
        kv_error_set(0, KV_ERR_IP_NOT_VALID);
        return -1;
    }
    int32_t code = 0;
    int32_t slot = -1;
    conf_slot &module = kvquiet_slot(0);
    kv_thread_mutex_lock(&module.lock);
    if (!kvquiet_module_running_nolock())
        code = KV_ERR_ACTION_NOT_VALID;
    else
        slot = kvquiet_take_slot_nolock(address, &code);
    if (code != 0)
        kv_error_set(0, code); // slot 0's lock is re-entrant
    kv_thread_mutex_unlock(&module.lock);
    if (slot < 0)
        return -1;

    // The slot is taken in the module table and its last worker has ended: nobody else touches
    // it until it is filled in.
    conf_slot &s = kvquiet_slot(slot);
    kv_thread_mutex_lock(&s.lock);
    ++s.generation;
    copy_text(s.address, sizeof s.address, address);
    s.port = port;
    s.settings = *settings;
    s.pending = 1;
    s.finished = 1;
    s.operation = 0;
    s.command[0] = '\0';
    // The wait fields are left alone: a waiter of the earlier occupant, woken by the close,
    // still has to clear them, and until it has, a new wait on the slot is refused.
    s.worker_socket = KV_INVALID_SOCKET;
    s.reply_deadline.store(-1);
    s.active.store(0);
    kv_thread_mutex_unlock(&s.lock);
    return slot;
}

extern "C" int kvquiet_conf_close(int32_t slot) {
    kvquiet_locks_ready();
    if (!kvquiet_slot_number_valid(slot)) {
        kv_error_set(0, KV_ERR_ID_NOT_FOUND);
        return -1;
    }
    conf_slot &s = kvquiet_slot(slot);
    kv_thread_mutex_lock(&s.lock);
    if (s.address[0] != '\0') {
        ++s.generation; // from now on the worker, if any, keeps off the slot
        s.active.store(0);
        s.pending = 1;
        s.finished = 1;
        s.address[0] = '\0';
        // Wake a worker that waits on its socket; the worker itself closes it.
        if (s.worker_socket != KV_INVALID_SOCKET)
            kv_socket_shutdown(s.worker_socket);
        kv_socket_close(s.kept_socket);
        s.kept_socket = KV_INVALID_SOCKET;
        if (s.waiting == 1)
            kv_sem_post(&s.wait_sem);
        conf_slot &module = kvquiet_slot(0);
        kv_thread_mutex_lock(&module.lock); // allowed order: a slot's lock, then slot 0's
        kvquiet_release_slot_nolock(slot);
        kv_thread_mutex_unlock(&module.lock);
    }
    kv_thread_mutex_unlock(&s.lock);
    return 0;
}

extern "C" int kvquiet_conf_read(int32_t slot) {
    return start_operation(slot, op_read, nullptr, nullptr);
}

extern "C" int kvquiet_conf_write(int32_t slot, const kvquiet_conf_struct *configuration,
                                  const char *final_command) {
    if (!lock_open_slot(slot))
        return -1;
    kvquiet_slot_unlock(slot);
    int32_t code = 0;
    if (configuration == nullptr) {
        code = KV_ERR_NULL_POINTER;
    } else if (final_command != nullptr &&
               !text_fits(final_command, KVQUIET_CONF_COMMAND_CAP - 1)) {
        code = KV_ERR_LENGTH_MAX;
    } else {
        // A record without any set field has nothing to send.
        code = KV_ERR_NO_DATA;
        char command[KVQUIET_CONF_CMD_MAX];
        for (int32_t i = 0; i < KVQUIET_CONF_CMD_COUNT && code != 0; ++i) {
            if (kvquiet_conf_cmd_build(configuration, command, i) == 0)
                code = 0;
        }
    }
    if (code != 0) {
        kv_error_set(slot, code);
        return -1;
    }
    return start_operation(slot, op_write, configuration, final_command);
}

extern "C" int kvquiet_conf_send_cmd(int32_t slot, const char *command) {
    if (!lock_open_slot(slot))
        return -1;
    kvquiet_slot_unlock(slot);
    int32_t code = 0;
    if (command == nullptr)
        code = KV_ERR_NULL_POINTER;
    else if (!text_fits(command, KVQUIET_CONF_COMMAND_CAP - 1))
        code = KV_ERR_LENGTH_MAX;
    if (code != 0) {
        kv_error_set(slot, code);
        return -1;
    }
    return start_operation(slot, op_command, nullptr, command);
}

extern "C" int kvquiet_conf_finish(int32_t slot, int32_t kind) {
    kvquiet_locks_ready();
    if (static_cast<uint32_t>(kind) >= 3U) {
        kv_error_set(0, KV_ERR_ACTION_NOT_VALID);
        return -1;
    }
    if (!lock_open_slot(slot))
        return -1;
    const bool finished = kvquiet_slot(slot).finished == 1;
    kvquiet_slot_unlock(slot);
    if (!finished) {
        kv_error_set(0, KV_ERR_ACTION_NOT_FINISH);
        return -1;
    }
    return 0;
}

extern "C" int kvquiet_conf_wait_finish(int32_t slot, int32_t kind, int32_t seconds) {
    kvquiet_locks_ready();
    if (static_cast<uint32_t>(kind) >= 3U) {
        kv_error_set(0, KV_ERR_ACTION_NOT_VALID);
        return -1;
    }
    if (!lock_open_slot(slot))
        return -1;
    conf_slot &s = kvquiet_slot(slot);
    int32_t code = 0;
    if (s.waiting == 1) {
        code = KV_ERR_ID_IN_USE; // one semaphore per slot: a second waiter would steal it
    } else if (kv_sem_init(&s.wait_sem) != 0) {
        code = KV_ERR_SEM_INIT;
    } else {
        s.waiting = 1;
        s.wait_deadline = kv_time_seconds() + seconds;
    }
    const uint32_t generation = s.generation;
    kv_sem_t sem = s.wait_sem;
    kv_thread_mutex_unlock(&s.lock);
    if (code != 0) {
        kv_error_set(0, code);
        return -1;
    }

    // The semaphore is posted by the worker at a successful end, by the timer thread when the
    // deadline passes, and by a close of the slot.
    bool finished = kvquiet_conf_finish(slot, kind) == 0;
    bool over = finished;
    while (!over) {
        if (kv_sem_wait(&sem) != 0) {
            code = KV_ERR_SEM_WAIT;
            break;
        }
        kv_thread_mutex_lock(&s.lock);
        const bool closed = s.generation != generation;
        finished = !closed && s.finished == 1;
        over = finished || closed || s.wait_deadline == 0;
        kv_thread_mutex_unlock(&s.lock);
    }
    kv_thread_mutex_lock(&s.lock);
    s.waiting = 0;
    kv_sem_destroy(&s.wait_sem);
    s.wait_sem = nullptr;
    kv_thread_mutex_unlock(&s.lock);
    if (code == 0 && !finished)
        code = KV_ERR_ACTION_NOT_FINISH;
    if (code != 0) {
        kv_error_set(0, code);
        return -1;
    }
    return 0;
}

extern "C" int kvquiet_conf_read_cache(int32_t slot, kvquiet_conf_struct *configuration) {
    if (!lock_open_slot(slot))
        return -1;
    conf_slot &s = kvquiet_slot(slot);
    int32_t code = 0;
    if (configuration == nullptr)
        code = KV_ERR_NULL_POINTER;
    else if (s.finished != 1)
        code = KV_ERR_NO_DATA;
    else
        *configuration = s.configuration;
    kv_thread_mutex_unlock(&s.lock);
    if (code != 0) {
        kv_error_set(slot, code);
        return -1;
    }
    return 0;
}

extern "C" int kvquiet_conf_error(int32_t slot, kv_error_struct *error_record) {
    if (slot < 0 || slot >= KVQUIET_CONF_SLOTS || error_record == nullptr)
        return -1;
    kvquiet_locks_ready();
    conf_slot &s = kvquiet_slot(slot);
    kv_thread_mutex_lock(&s.lock);
    *error_record = s.error;
    kv_thread_mutex_unlock(&s.lock);
    const int32_t code = error_record->err_code;
    return (code == KV_ERR_NULL_ERROR || code == KV_ERR_ACTION_NOT_FINISH) ? 0 : -1;
}

extern "C" int kvquiet_conf_error_print(int32_t slot) {
    if (slot < 0 || slot >= KVQUIET_CONF_SLOTS)
        return -1;
    kv_error_struct record{};
    kvquiet_conf_error(slot, &record);
    char line[2 * KV_ERROR_STR_SIZE + 64];
    kv_error_format(&record, line, sizeof line);
    const int written = std::printf("%s", line);
    return written < 0 ? -1 : written;
}
