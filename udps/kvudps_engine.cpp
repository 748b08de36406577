// The engine's life and its requests: start and stop, search and setup acceptance, the worker
// loop, and the caller's reading of the found list.
#include "kvudps_internal.h"

#include <cerrno>
#include <cstring>
#include <mutex>

namespace udps {

namespace {

// Serialises kvudps_init calls, so that two of them never both start a worker. Taken only by
// kvudps_init, never by the worker, so a worker can always end while an init waits for it.
std::mutex g_init_guard;
// True on the worker thread: an init from one of its callbacks must not wait for itself.
thread_local bool t_on_worker = false;

// Terminates every text of a record the caller handed in, which may not be terminated.
void terminate_texts(kvudps_module_struct &r) {
    r.name[sizeof r.name - 1] = '\0';
    r.ip[sizeof r.ip - 1] = '\0';
    r.mask[sizeof r.mask - 1] = '\0';
    r.addr3[sizeof r.addr3 - 1] = '\0';
    r.addr4[sizeof r.addr4 - 1] = '\0';
    r.addr5[sizeof r.addr5 - 1] = '\0';
    r.firmware[sizeof r.firmware - 1] = '\0';
    r.type_name[sizeof r.type_name - 1] = '\0';
    r.mac[sizeof r.mac - 1] = '\0';
}

// The first steps of both requests, under the lock. Returns true when the request may go on.
bool acceptable(int32_t names, bool requested, const char *already_message) {
    Engine &e = engine();
    e.names = names; // kept also when the call is refused
    if (!e.initialised || e.stop.load()) {
        // The worker is gone or going: a request now would never be served.
        record_failure(msg::sem_post, errno);
        return false;
    }
    if (!e.worker_ready) {
        record_refusal(msg::action_not_success);
        return false;
    }
    if (requested) {
        record_refusal(already_message);
        return false;
    }
    return true;
}

// Wakes the worker. A post that finds the semaphore already signalled is no failure: the
// worker wakes for that signal and serves every request pending by then, this one included.
void wake_worker() {
    kv_sem_post(&engine().sem);
}

void worker_main(void *) {
    t_on_worker = true;
    Engine &e = engine();
    for (;;) {
        {
            Locked locked;
            e.worker_ready = true;
        }
        if (kv_sem_wait(&e.sem) != 0) {
            record_failure(msg::sem_wait, errno);
            if (stopping())
                break;
            kv_sleep_ms(kStopSliceMs);
            continue;
        }
        if (stopping())
            break;
        Cycle cycle;
        {
            Locked locked;
            e.worker_ready = false;
            cycle.search = e.search_requested;
            cycle.setup = e.setup_requested;
            cycle.target_count = e.target_count;
            std::memcpy(cycle.targets, e.targets, sizeof cycle.targets);
            cycle.quiet_ms = e.quiet_ms;
            cycle.setup_pause_ms = e.setup_pause_ms;
            cycle.bind_first = e.bind_first;
            cycle.bind_last = e.bind_last;
            cycle.search_key = e.search_key;
            cycle.setup_key = e.setup_key;
        }
        // A signal posted while the last cycle was starting may find nothing left to do.
        if (cycle.search || cycle.setup)
            run_cycle(cycle);
    }
    Locked locked;
    kv_sem_destroy(&e.sem);
    e.sem = nullptr;
    e.worker_ready = false;
    e.initialised = false;
    // Nobody waits for this worker yet (a waiting kvudps_init takes the handle first): let its
    // resources go with it rather than leave a finished thread behind for good.
    if (e.worker != nullptr) {
        kv_thread_close(e.worker);
        e.worker = nullptr;
    }
}

} // namespace

} // namespace udps

using namespace udps;

int kvudps_init(void) {
    std::lock_guard<std::mutex> guard(g_init_guard);
    Engine &e = engine();
    if (!lock_ready()) {
        // Without a lock the record is written unguarded; no worker exists to race with.
        kv_error_struct &err = e.error;
        err.err_no = errno;
        kv_error_errno_text(err.err_no, err.err_no_str, sizeof err.err_no_str);
        std::snprintf(err.err_code_str, sizeof err.err_code_str, "%s", msg::mutex_init);
        return -1;
    }
    kv_thread_t previous = nullptr;
    {
        Locked locked;
        if (e.initialised && !e.stop.load()) {
            record_refusal(msg::init_already_run);
            return -1;
        }
        if (t_on_worker) {
            // A callback of the stopping worker cannot wait for its own thread to end.
            record_refusal(msg::init_already_run);
            return -1;
        }
        // Taking the handle tells the ending worker that someone will wait for it.
        previous = e.worker;
        e.worker = nullptr;
    }
    if (previous != nullptr) {
        // The worker of the last life must be gone before a new one starts: it still owns the
        // semaphore and the found list until it ends.
        if (kv_thread_wait_exit(previous) != 0) {
            Locked locked;
            e.worker = previous; // still running: the next kvudps_init waits for it again
            record_refusal(msg::init_already_run);
            return -1;
        }
    }

    Locked locked;
    kvudps_clr_callback_struct(&e.callbacks);
    if (kv_sem_init(&e.sem) != 0) {
        record_failure(msg::sem_init, errno);
        return -1;
    }
    e.stop.store(false);
    e.search_requested = false;
    e.setup_requested = false;
    e.search_context = nullptr;
    e.setup_context = nullptr;
    // Ready from the start, so that a request right after init is not refused as busy.
    e.worker_ready = true;
    e.search_key = default_search_key();
    e.worker = kv_thread_start(worker_main);
    if (kv_thread_started(e.worker) != 0) {
        kv_sem_destroy(&e.sem);
        e.sem = nullptr;
        e.worker_ready = false;
        std::snprintf(e.error.err_code_str, sizeof e.error.err_code_str, "%s", msg::thread_create);
        e.error.err_no_str[0] = '\0';
        e.error.err_code = 0;
        return -1;
    }
    e.initialised = true;
    return 0;
}

int kvudps_uninit(void) {
    Locked locked;
    Engine &e = engine();
    e.cursor.store(0);
    e.search_requested = false;
    e.setup_requested = false;
    e.search_context = nullptr;
    e.setup_context = nullptr;
    e.worker_ready = true;
    e.stop.store(true);
    if (e.sem != nullptr)
        wake_worker();
    return 0;
}

int kvudps_search(int32_t names, void *context) {
    Locked locked;
    Engine &e = engine();
    if (!acceptable(names, e.search_requested, msg::search_already_run))
        return -1;
    e.cursor.store(0);
    e.count.store(0);
    e.search_requested = true;
    e.search_context = context;
    wake_worker();
    return 0;
}

int kvudps_setup(const kvudps_module_struct *record, int32_t names, void *context) {
    Locked locked;
    Engine &e = engine();
    if (!acceptable(names, e.setup_requested, msg::setup_already_run))
        return -1;
    if (record == nullptr) {
        record_refusal(msg::module_not_exist);
        return -1;
    }
    e.setup_request = *record;
    terminate_texts(e.setup_request);
    e.setup_requested = true;
    e.setup_context = context;
    wake_worker();
    return 0;
}

int kvudps_search_finish(void) {
    Locked locked;
    return engine().search_requested ? -1 : 0;
}

int kvudps_setup_finish(void) {
    Locked locked;
    return engine().setup_requested ? -1 : 0;
}

int kvudps_count(void) {
    return engine().count.load();
}

int kvudps_record(kvudps_module_struct **record) {
    Engine &e = engine();
    const int32_t at = e.cursor.load();
    if (record == nullptr || at < 0 || at >= e.count.load())
        return -1;
    *record = &e.records[at];
    e.cursor.store(at + 1);
    return 0;
}

int kvudps_record_copy(kvudps_module_struct *record) {
    kvudps_module_struct *found = nullptr;
    if (record == nullptr || kvudps_record(&found) != 0)
        return -1;
    *record = *found;
    return 0;
}

int kvudps_rewind(void) {
    engine().cursor.store(0);
    return 0;
}
