// Internal to the configuration library: the slot table, the job a worker runs, and the
// routines the slot table, the wire conversation, the authorization and the public functions
// share. Nothing here is part of the library's contract.
//
// Locking. Every slot has a re-entrant lock, created once for the life of the process and never
// destroyed, so a worker that outlives its slot's close can still take it safely. Slot 0's lock
// doubles as the module lock (reference count, next-slot counter, the table of taken addresses).
// A thread may take slot 0's lock while it holds another slot's lock, never the other way round:
// that order lets callbacks, which run under their slot's lock, call any function of the module.
//
// Generations. Every open and every close bumps the slot's generation. A worker remembers the
// generation it claimed and, under the slot's lock, compares it before it writes the slot's
// records or marks or calls a callback; after a close it touches nothing of the slot but its
// own socket registration. An open never hands out a slot whose worker has not ended yet.
#ifndef KVQUIET_CONF_INTERNAL_H
#define KVQUIET_CONF_INTERNAL_H

#include "kv_error.h"
#include "kv_socket.h"
#include "kv_thread.h"
#include "kvquiet_conf.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

extern "C" {
/* Records `code` in the error record of `slot` (0 to 99) under the slot's lock: the code and its
 * message, the runtime's errno and its text. A slot outside 0 to 99 is ignored. Any thread. */
void kv_error_set(int32_t slot, int32_t code);
}

namespace kvquiet_conf_detail {

// Operation codes of a slot.
constexpr int32_t op_read = 1;
constexpr int32_t op_write = 2;
constexpr int32_t op_command = 3;

// Results of the worker's steps besides 0 and -1: the slot was closed, end without a report.
constexpr int abandoned = -2;

// Default silence that ends a receive step, and the receive chunk size.
constexpr int32_t default_quiet_ms = 1000;
constexpr size_t chunk_size = 1024;

struct conf_slot {
    kv_mutex_t lock; // created once by kvquiet_locks_ready, never destroyed

    // Guarded by lock.
    char address[KVQUIET_CONF_ADDRESS_CAP]; // empty while the slot is free
    int32_t port;
    int32_t pending;   // 0 while a started operation waits for its worker
    int32_t finished;  // 1 when idle or the last operation succeeded
    int32_t operation; // op_read, op_write or op_command
    kvquiet_conf_struct configuration;
    kv_sem_t wait_sem;     // exists only while kvquiet_conf_wait_finish waits
    int64_t wait_deadline; // calendar seconds; 0 once passed
    int32_t waiting;       // 1 while kvquiet_conf_wait_finish waits
    char command[KVQUIET_CONF_COMMAND_CAP];
    kvquiet_conf_settings_struct settings;
    uint32_t generation;       // bumped by open and close
    kv_socket_t worker_socket; // the running worker's socket, so close can shut it down
    kv_socket_t kept_socket;   // the connection a command left open, owned by the slot
    kv_error_struct error;

    // Guarded by the module's handle lock (see kvquiet_keep_thread), never by the slot's lock,
    // so that starting an operation does not wait for a callback that holds the slot's lock.
    kv_thread_t thread; // handle of the last worker started here

    // Shared without the lock.
    std::atomic<int64_t> reply_deadline; // set by the worker, expired (-1) by the timer
    std::atomic<int32_t> active;         // set by a worker's claim, cleared by close
    std::atomic<int32_t> workers;        // workers that claimed the slot and still run
};

// One operation as the worker runs it: everything it needs is copied from the slot at the claim,
// so the reply buffer and the socket are the worker's own.
struct conf_job {
    int32_t slot = 0;
    uint32_t generation = 0;
    char address[KVQUIET_CONF_ADDRESS_CAP] = {};
    int32_t port = 0;
    kvquiet_conf_settings_struct settings = {};
    int32_t operation = 0;
    kvquiet_conf_struct configuration = {};
    char command[KVQUIET_CONF_COMMAND_CAP] = {};
    kv_socket_t socket = KV_INVALID_SOCKET;
    int32_t code = 0; // the last code recorded for this job
    char reply[KVQUIET_CONF_REPLY_CAP] = {};
};

// --- slot table (kvquiet_conf_slots.cpp) ---

// Creates every slot's lock once per process; each public entry calls it first.
void kvquiet_locks_ready();
// The slot of a number 0 to 99 (the caller checks the range).
conf_slot &kvquiet_slot(int32_t slot);
// True for a number 1 to 99.
bool kvquiet_slot_number_valid(int32_t slot);
// Takes the job's slot lock when the slot still belongs to the job's generation; on false the
// lock is not held.
bool kvquiet_job_lock(const conf_job &job);
void kvquiet_slot_unlock(int32_t slot);
// Records `code` in the job's slot when the slot still belongs to the job (errno kept), and
// remembers it in the job.
void kvquiet_job_error(conf_job &job, int32_t code);
// The module's single thread entry: the selector picks the timer loop (0) or a worker (1).
void kvquiet_thread_entry(void *unused);
// Keeps `handle` as the slot's last worker and gives up the previous one, whose thread runs on
// or has ended: handles do not pile up over many operations.
void kvquiet_keep_thread(int32_t slot, kv_thread_t handle);
// Sets the thread selector just before a thread start.
void kvquiet_select_thread(uint8_t selector);
// Module state under slot 0's lock: whether the module runs, and the table of taken slots.
bool kvquiet_module_running_nolock();
int32_t kvquiet_take_slot_nolock(const char *address, int32_t *code);
void kvquiet_release_slot_nolock(int32_t slot);

// --- wire conversation (kvquiet_conf_wire.cpp) ---

// Waits for writability in `attempts` attempts of one second, looking at `active` every 100 ms.
// Returns 1 ready, 0 nothing in all attempts (also at once for attempts <= 0), abandoned when
// `active` was cleared.
int kvquiet_wait_writable(kv_socket_t socket, int32_t attempts, const std::atomic<int32_t> &active);
// Sends all `length` bytes, continuing a partial send, each part after a writability wait of 2
// attempts. Returns 0; -1 with *code 30 (never writable) or 35 (send error); abandoned.
int kvquiet_send_all(kv_socket_t socket, const char *bytes, size_t length,
                     const std::atomic<int32_t> &active, int32_t *code);
// One receive step into reply (capacity `cap`, always terminated): chunks are joined until the
// socket has been quiet for quiet_ms; a carriage return and line feed at the very start of the
// reply are dropped; what does not fit is cut. Returns 0 (reply holds what came, possibly
// nothing); -1 with *code 32 (wait failed), 34 (closed or receive error) or 19 (data still
// flowing after *deadline became -1).
int kvquiet_receive_step(kv_socket_t socket, char *reply, size_t cap, int32_t quiet_ms,
                         const std::atomic<int64_t> &deadline, int32_t *code);

int kvquiet_connect(conf_job &job);
int kvquiet_send(conf_job &job, const char *bytes, size_t length);
int kvquiet_receive(conf_job &job);
int kvquiet_wait_reply(conf_job &job);
void kvquiet_report_failure(conf_job &job, int32_t kind);
void kvquiet_release_socket(conf_job &job);
// The worker's body after the claim: connect, authorize, greeting, the operation.
void kvquiet_run_job(conf_job &job);

// --- authorization (kvquiet_conf_auth.cpp) ---

// Computes the 12-character answer to a 12-character challenge under `key`. Returns 0, or -1
// when the challenge's 9 bytes do not add up to 0 modulo 256 (nothing written).
int kvquiet_tea_answer(const char *challenge, size_t length, const uint32_t key[4],
                       char answer[12]);
// Waits for the device's challenge and sends the answer. Returns 0; -1 with 79 (no challenge
// in time), 76 (bad checksum) or a receive or send code recorded; abandoned.
int kvquiet_tea_authorize(conf_job &job);

} // namespace kvquiet_conf_detail

#endif // KVQUIET_CONF_INTERNAL_H
