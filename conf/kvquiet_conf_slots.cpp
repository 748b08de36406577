// The configuration library's module state: the slot table, the module's single thread entry,
// the timer thread that expires deadlines, the worker's claim of a slot, and the recording of
// error codes.
#include "kvquiet_conf_internal.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

namespace kvquiet_conf_detail {

namespace {

// The slots. Each slot's fields are guarded by its own lock (see conf_slot); the locks are
// created once and live as long as the process.
conf_slot g_slots[KVQUIET_CONF_SLOTS];

// Creates the slot locks exactly once; std::call_once makes that safe from any thread.
std::once_flag g_locks_once;

// Guarded by slot 0's lock: -1 while the module is not started, else the number of refused
// starts.
int32_t g_refcount = -1;
// Guarded by slot 0's lock: the next slot number to hand out; it never goes back, not even
// across an end and a new start of the module.
int32_t g_next_slot = 1;
// Guarded by slot 0's lock: the address each slot was opened for, empty for a free slot. A copy
// of the slots' own address fields kept under the module lock, so an open can check every
// address without taking other slots' locks.
char g_taken[KVQUIET_CONF_SLOTS][KVQUIET_CONF_ADDRESS_CAP];
// Guards every slot's thread handle. A leaf lock: nothing else is taken while it is held.
std::mutex g_handle_mutex;
// Guarded by slot 0's lock: the timer thread's handle while the module runs.
kv_thread_t g_timer_thread = nullptr;

// Written just before each thread start and read once by the new thread. kvquiet_conf_init
// waits until the timer thread has read its 0, so the workers' later 1s cannot disturb it.
std::atomic<uint8_t> g_thread_selector{0};

// The timer's stop signal. The timer thread runs while the epoch it started with is current;
// timer_stop moves the epoch on and wakes it from its sleep. Allocated once and never
// freed, so a timer thread that still runs at process exit never meets a destroyed object.
struct timer_control {
    std::mutex mutex;           // guards epoch and startup
    std::condition_variable cv; // wakes the timer's sleep at a stop
    uint64_t epoch = 0;         // the current timer's epoch
    kv_sem_t startup = nullptr; // posted by the timer once it has read its selector and epoch
};
timer_control *const g_timer = new timer_control;

constexpr int32_t timer_period_ms = 1000;

// One pass of the timer: expire wait deadlines of every waiting slot and reply deadlines of
// every active slot whose time has passed.
void timer_pass() {
    const int64_t now = kv_time_seconds();
    for (int32_t i = 0; i < KVQUIET_CONF_SLOTS; ++i) {
        conf_slot &s = g_slots[i];
        kv_thread_mutex_lock(&s.lock);
        if (s.waiting == 1 && s.wait_deadline != 0 && s.wait_deadline < now) {
            s.wait_deadline = 0;
            kv_sem_post(&s.wait_sem); // already signalled is as good as posted
        }
        kv_thread_mutex_unlock(&s.lock);
        if (s.active.load() != 0) {
            int64_t deadline = s.reply_deadline.load();
            // Compare and swap, so that a deadline the worker has just renewed is kept.
            if (deadline != -1 && deadline < now)
                s.reply_deadline.compare_exchange_strong(deadline, -1);
        }
    }
}

void timer_loop() {
    uint64_t mine = 0;
    {
        std::lock_guard<std::mutex> guard(g_timer->mutex);
        mine = g_timer->epoch;
        kv_sem_post(&g_timer->startup);
    }
    for (;;) {
        timer_pass();
        std::unique_lock<std::mutex> guard(g_timer->mutex);
        g_timer->cv.wait_for(guard, std::chrono::milliseconds(timer_period_ms),
                             [mine] { return g_timer->epoch != mine; });
        if (g_timer->epoch != mine)
            break;
    }
}

// The worker: claim the first slot whose operation waits for a worker, run it, let go.
void worker_run() {
    conf_job job;
    bool claimed = false;
    for (int32_t i = 1; i < KVQUIET_CONF_SLOTS && !claimed; ++i) {
        conf_slot &s = g_slots[i];
        kv_thread_mutex_lock(&s.lock);
        if (s.pending == 0 && s.address[0] != '\0') {
            s.pending = 1;
            s.workers.fetch_add(1);
            s.active.store(1);
            job.slot = i;
            job.generation = s.generation;
            std::memcpy(job.address, s.address, sizeof job.address);
            job.port = s.port;
            job.settings = s.settings;
            job.operation = s.operation;
            job.configuration = s.configuration;
            std::memcpy(job.command, s.command, sizeof job.command);
            claimed = true;
        }
        kv_thread_mutex_unlock(&s.lock);
    }
    if (!claimed) {
        kv_error_set(0, KV_ERR_THREAD_NOT_RUN);
        return;
    }
    kvquiet_run_job(job);
    kvquiet_release_socket(job);
    // The last touch of the slot: from here on an open may hand it to someone else.
    g_slots[job.slot].workers.fetch_sub(1);
}

} // namespace

void kvquiet_locks_ready() {
    std::call_once(g_locks_once, [] {
        for (conf_slot &s : g_slots) {
            kv_thread_mutex_init(&s.lock);
            s.pending = 1;
            s.finished = 1;
            s.worker_socket = KV_INVALID_SOCKET;
            s.kept_socket = KV_INVALID_SOCKET;
            s.reply_deadline.store(-1);
        }
    });
}

conf_slot &kvquiet_slot(int32_t slot) {
    return g_slots[slot];
}

bool kvquiet_slot_number_valid(int32_t slot) {
    return slot >= 1 && slot < KVQUIET_CONF_SLOTS;
}

bool kvquiet_job_lock(const conf_job &job) {
    conf_slot &s = g_slots[job.slot];
    kv_thread_mutex_lock(&s.lock);
    if (s.generation != job.generation) {
        kv_thread_mutex_unlock(&s.lock);
        return false;
    }
    return true;
}

void kvquiet_slot_unlock(int32_t slot) {
    kv_thread_mutex_unlock(&g_slots[slot].lock);
}

void kvquiet_job_error(conf_job &job, int32_t code) {
    const int saved = errno;
    job.code = code;
    if (kvquiet_job_lock(job)) {
        errno = saved;
        kv_error_fill(&g_slots[job.slot].error, code);
        kvquiet_slot_unlock(job.slot);
    }
    errno = saved;
}

void kvquiet_keep_thread(int32_t slot, kv_thread_t handle) {
    kv_thread_t previous = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_handle_mutex);
        previous = g_slots[slot].thread;
        g_slots[slot].thread = handle;
    }
    kv_thread_close(previous);
}

void kvquiet_select_thread(uint8_t selector) {
    g_thread_selector.store(selector);
}

void kvquiet_thread_entry(void * /*unused*/) {
    if (g_thread_selector.load() == 0)
        timer_loop();
    else
        worker_run();
}

bool kvquiet_module_running_nolock() {
    return g_refcount >= 0;
}

int32_t kvquiet_take_slot_nolock(const char *address, int32_t *code) {
    for (const auto &taken : g_taken) {
        if (std::strcmp(taken, address) == 0) {
            *code = KV_ERR_IP_PORT_IN_USE;
            return -1;
        }
    }
    int32_t slot = g_next_slot;
    if (g_next_slot < KVQUIET_CONF_SLOTS)
        ++g_next_slot; // past 99 it stays put: from then on every open reuses a free slot
    if (slot >= KVQUIET_CONF_SLOTS) {
        slot = -1;
        for (int32_t i = 1; i < KVQUIET_CONF_SLOTS && slot < 0; ++i) {
            // A slot whose last worker still runs is not free yet, whatever its address says.
            if (g_taken[i][0] == '\0' && g_slots[i].workers.load() == 0)
                slot = i;
        }
        if (slot < 0) {
            *code = KV_ERR_ID_COUNT_MAX;
            return -1;
        }
    }
    std::strncpy(g_taken[slot], address, KVQUIET_CONF_ADDRESS_CAP - 1);
    g_taken[slot][KVQUIET_CONF_ADDRESS_CAP - 1] = '\0';
    return slot;
}

void kvquiet_release_slot_nolock(int32_t slot) {
    g_taken[slot][0] = '\0';
}

} // namespace kvquiet_conf_detail

using namespace kvquiet_conf_detail;

namespace {

// Starts the timer thread and waits until it runs. Slot 0's lock is held. Returns 0 or the code
// to record.
int32_t timer_start_nolock() {
    kv_sem_t startup = nullptr;
    if (kv_sem_init(&startup) != 0)
        return KV_ERR_SEM_INIT;
    {
        std::lock_guard<std::mutex> guard(g_timer->mutex);
        ++g_timer->epoch;
        g_timer->startup = startup;
    }
    int32_t code = 0;
    kvquiet_select_thread(0);
    g_timer_thread = kv_thread_start(kvquiet_thread_entry);
    if (kv_thread_started(g_timer_thread) != 0)
        code = KV_ERR_THREAD0_CREATE;
    else if (kv_sem_wait(&startup) != 0)
        code = KV_ERR_SEM_WAIT;
    {
        std::lock_guard<std::mutex> guard(g_timer->mutex);
        g_timer->startup = nullptr;
    }
    kv_sem_destroy(&startup);
    return code;
}

// Ends the timer thread of the module's last life.
void timer_stop(kv_thread_t timer) {
    {
        std::lock_guard<std::mutex> guard(g_timer->mutex);
        ++g_timer->epoch;
    }
    g_timer->cv.notify_all();
    // The timer ends within one pass. Should a pass be held up (it waits for a slot lock that a
    // long callback holds), the thread is let go to end on its own.
    if (timer != nullptr && kv_thread_wait_exit(timer) != 0)
        kv_thread_close(timer);
}

} // namespace

extern "C" int kvquiet_conf_init(void) {
    kvquiet_locks_ready();
    int result = 0;
    kv_thread_mutex_lock(&g_slots[0].lock);
    if (g_refcount >= 0) {
        ++g_refcount;
        kv_error_set(0, KV_ERR_MODULE_IN_USE);
        result = -1;
    } else {
        // Every slot is free already: the last end closed them all. A worker of an earlier
        // life that still runs keeps its slot from being handed out until it has ended.
        const int32_t code = timer_start_nolock();
        if (code != 0) {
            kv_error_set(0, code);
            result = -1;
        } else {
            g_refcount = 0;
        }
    }
    kv_thread_mutex_unlock(&g_slots[0].lock);
    return result;
}

extern "C" int kvquiet_conf_uninit(void) {
    kvquiet_locks_ready();
    int result = 0;
    bool end = false;
    kv_thread_t timer = nullptr;
    kv_thread_mutex_lock(&g_slots[0].lock);
    if (g_refcount > 0) {
        --g_refcount;
        kv_error_set(0, KV_ERR_MODULE_IN_USE);
        result = -1;
    } else if (g_refcount == 0) {
        g_refcount = -1;
        timer = g_timer_thread;
        g_timer_thread = nullptr;
        end = true;
    }
    kv_thread_mutex_unlock(&g_slots[0].lock);
    if (end) {
        // Slot locks are taken without slot 0's lock held (see the lock order).
        for (int32_t i = 1; i < KVQUIET_CONF_SLOTS; ++i) {
            kvquiet_conf_close(i);
            kvquiet_keep_thread(i, nullptr); // the worker, if it still runs, ends on its own
        }
        timer_stop(timer);
    }
    return result;
}

extern "C" void kvquiet_count_ref2zero(void) {
    kvquiet_locks_ready();
    kv_thread_mutex_lock(&g_slots[0].lock);
    if (g_refcount > 0)
        g_refcount = 0;
    kv_thread_mutex_unlock(&g_slots[0].lock);
}

extern "C" void kv_error_set(int32_t slot, int32_t code) {
    if (slot < 0 || slot >= KVQUIET_CONF_SLOTS)
        return;
    const int saved = errno; // the lock must not change what is recorded
    kvquiet_locks_ready();
    conf_slot &s = g_slots[slot];
    kv_thread_mutex_lock(&s.lock);
    errno = saved;
    kv_error_fill(&s.error, code);
    kv_thread_mutex_unlock(&s.lock);
    errno = saved;
}
