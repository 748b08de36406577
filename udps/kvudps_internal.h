// The discovery library's insides, shared by its source files, its tests and its fuzz targets:
// the datagram codec, the DeviceName scan, the HTTP exchanges, and the engine's state. C++ only;
// nothing here is exported to outside callers.
#ifndef KVUDPS_INTERNAL_H
#define KVUDPS_INTERNAL_H

#include "kv_error.h"
#include "kv_socket.h"
#include "kv_thread.h"
#include "kvquiet_tea.h"
#include "kvudps.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace udps {

// The library's own messages, recorded into err_code_str.
namespace msg {
inline constexpr const char *init_already_run = "Init already run";
inline constexpr const char *sem_init = "Semaphore init failed";
inline constexpr const char *mutex_init = "Mutex init failed";
inline constexpr const char *thread_create = "Thread create failed";
inline constexpr const char *sem_post = "Semaphore post failed";
inline constexpr const char *sem_wait = "Semaphore wait failed";
inline constexpr const char *action_not_success = "Action not success";
inline constexpr const char *search_already_run = "Search already run";
inline constexpr const char *setup_already_run = "Setup already run";
inline constexpr const char *init_socket = "Init socket failed";
inline constexpr const char *create_socket = "Create socket failed";
inline constexpr const char *socket_option = "Socket option setup failed";
inline constexpr const char *bind_socket = "Bind socket failed";
inline constexpr const char *socket_nonblock = "Socket nonblock setup failed";
inline constexpr const char *sendto = "Sendto failed";
inline constexpr const char *select = "Select failed";
inline constexpr const char *recv = "Recv failed";
inline constexpr const char *modules_max = "Count modules >= MAX_MODULES";
inline constexpr const char *module_not_exist = "Module not exist";
inline constexpr const char *connect_module = "Connect module failed";
inline constexpr const char *socket_connect = "Socket connect failure";
inline constexpr const char *select_write = "Socket select write failure";
inline constexpr const char *send = "Send failed";
inline constexpr const char *xml_size = "XML file size >= UDPS_XML_FILE_SIZE";
inline constexpr const char *xml_not_found = "XML file not found";
inline constexpr const char *device_name_not_found = "DeviceName not found";
} // namespace msg

// ---- Datagrams (kvudps_datagram.cpp): pure functions, any thread ----------------------------

constexpr size_t kRecordSize = 48;   // request, answer and setup record
constexpr size_t kReceiveSize = 512; // room for one received datagram
constexpr size_t kSignedSize = 40;   // bytes covered by the signature
constexpr uint16_t kTypeEscape = 31; // type field that announces an extension list
constexpr uint8_t kExtensionEnd = 0xFF;
// A setup datagram: the record, then at most one name entry (type, length, 99 bytes) and the end.
constexpr size_t kSetupMax = kRecordSize + 2 + (KVUDPS_NAME_SIZE - 1) + 1;

// Extension entry types.
enum : uint8_t {
    kExtFlags = 1,
    kExtName = 2,
    kExtTypeName = 3,
    kExtType = 4,
    kExtPort2 = 5,
    kExtFeatureValue = 6
};

// The built-in search key (default words, standard delta).
kvquiet_tea_key default_search_key();

// Writes the 48-byte search request.
void build_search_request(uint8_t out[kRecordSize]);

// The signature of bytes 0-39 under `key`: TEA CBC-MAC from a zero state.
void sign(const uint8_t bytes[kSignedSize], const kvquiet_tea_key &key, uint8_t signature[8]);

// True when the datagram is at least 48 bytes long and bytes 40-47 are the signature of bytes
// 0-39 under `key`.
bool check(const uint8_t *data, size_t length, const kvquiet_tea_key &key);

// Decodes a datagram of at least 48 bytes into `record` (all fields written) and its raw
// hardware address into `raw_mac`. The extension list of a type-31 answer is read only as far
// as `length` goes; texts longer than their fields are cut. Does not check the signature.
void decode_answer(const uint8_t *data, size_t length, kvudps_module_struct &record,
                   uint8_t raw_mac[6]);

// Builds the signed setup datagram for the found device `found` (raw hardware address
// `raw_mac`) carrying the new settings of `request`; signs with `setup_key` when the device
// announced feature0, else with `search_key`. Returns its length (48, or 48 + name + 3 for a
// type-31 device).
size_t build_setup(const kvudps_module_struct &found, const uint8_t raw_mac[6],
                   const kvudps_module_struct &request, const kvquiet_tea_key &search_key,
                   const kvquiet_tea_key &setup_key, uint8_t out[kSetupMax]);

// The mode byte of a setup: bits 0-2, 4 and 5 from the request's mode_bit0-2, 4, 5; bit 3 and
// bits 6-7 as received.
uint8_t requested_mode(uint8_t received, const kvudps_module_struct &request);

// The display name of a device type (the table's, before any extension entry 3).
const char *type_name(uint16_t type);

// True for the models that keep their name on a web page (types 2-4, 6, 10-17, 21-25), by the
// low eight bits of `type`.
bool type_has_name(uint16_t type);

// The address text as four bytes in network order; a text that is not a dotted-decimal
// address gives 255.255.255.255, as the classic inet_addr does.
uint32_t address_or_none(const char *text);

// "0A:1B:2C:3D:4E:5F".
void format_mac(const uint8_t mac[6], char out[KVUDPS_MAC_SIZE]);

// ---- XML texts (kvudps_xml.cpp): pure functions, any thread ---------------------------------

// Finds the text between the first "<DeviceName>" and the first "</DeviceName>" after it,
// looking only at the `length` bytes received (zero bytes included). On success writes it,
// cut to 99 characters and terminated, into `name` and returns 0; returns -1 (name untouched)
// when either tag is missing.
int scan_device_name(const char *reply, size_t length, char name[KVUDPS_NAME_SIZE]);

// The whole HTTP request that writes `name` (at most 99 characters are used).
std::string build_name_request(const char *name);

// ---- HTTP exchanges (kvudps_http.cpp): worker thread, or a test with no engine running -----

// Reads the device name from "/values.xml" at ip:port into `name`. Returns 0, or -1 with the
// failure recorded in the error record and `name` unchanged.
int http_read_name(const char *ip, uint16_t port, char name[KVUDPS_NAME_SIZE]);

// Posts `name` to "/setup.xml" at ip:port. Returns 0 once the request was sent or attempted,
// -1 when no connection could be made (failure recorded).
int http_write_name(const char *ip, uint16_t port, const char *name);

// Time limits of one exchange: each wait 2 s; the whole reply at most 10 s.
constexpr int32_t kHttpStepMs = 2000;
constexpr int32_t kHttpReplyMaxMs = 10000;
constexpr size_t kHttpChunk = 1024;

// ---- Engine state (kvudps_state.cpp) --------------------------------------------------------

struct Target {
    uint32_t address; // network order
    uint16_t port;
};

constexpr int32_t kDefaultQuietMs = 1000;
constexpr int32_t kDefaultSetupPauseMs = 6000;
constexpr uint16_t kBindFirst = 9999;
constexpr uint16_t kBindLast = 9901;
// The longest a wait of the worker goes without looking at the stop flag.
constexpr int32_t kStopSliceMs = 50;

// The one engine of the process. The comment on each field names what guards it.
struct Engine {
    // Library lock: created on first use, never destroyed, so that a worker that is still
    // ending and a new kvudps_init never race over it.
    kv_mutex_t lock{};

    // --- guarded by lock ---
    bool initialised = false;
    bool worker_ready = false;
    bool search_requested = false;
    bool setup_requested = false;
    int32_t names = 0;
    void *search_context = nullptr;
    void *setup_context = nullptr;
    kvudps_module_struct setup_request{};
    kvudps_callback_struct callbacks{};
    kv_error_struct error{};
    kvquiet_tea_key search_key{};
    kvquiet_tea_key setup_key{}; // zero words and zero delta until first set
    Target targets[KVUDPS_MAX_TARGETS]{};
    int32_t target_count = 0; // 0 means the default destination
    int32_t quiet_ms = kDefaultQuietMs;
    int32_t setup_pause_ms = kDefaultSetupPauseMs;
    uint16_t bind_first = kBindFirst;
    uint16_t bind_last = kBindLast;
    // Created by kvudps_init and destroyed by the ending worker, both under the lock. The
    // worker waits on it without the lock: no other thread destroys it.
    kv_sem_t sem = nullptr;
    // Handle of the current or last worker; read and written by kvudps_init (under the lock).
    kv_thread_t worker = nullptr;

    // Written under the lock (by kvudps_uninit), read by the worker's waits without it.
    std::atomic<bool> stop{false};

    // --- the found list: written by the worker during a cycle without the lock, read by the
    // caller after on_search_done, when the worker no longer touches it ---
    kvudps_module_struct records[KVUDPS_MAX_MODULES]{};
    uint8_t raw_macs[KVUDPS_MAX_MODULES][6]{};
    std::atomic<int32_t> count{0};
    std::atomic<int32_t> cursor{0};
};

// The engine; its lock is ready once library_lock() has been called.
Engine &engine();

// The library lock, created on first call (any thread).
kv_mutex_t *library_lock();

// False when the library lock could not be created ("Mutex init failed").
bool lock_ready();

// Takes and releases the library lock for a scope.
class Locked {
public:
    Locked() : m_lock(library_lock()) { kv_thread_mutex_lock(m_lock); }
    ~Locked() { kv_thread_mutex_unlock(m_lock); }
    Locked(const Locked &) = delete;
    Locked &operator=(const Locked &) = delete;

private:
    kv_mutex_t *m_lock;
};

// Records a failure with a system cause: the message, `errnum` and its text. Takes the lock.
void record_failure(const char *message, int32_t errnum);
// Records a refusal: the message, err_no 0 and an empty text. Takes the lock.
void record_refusal(const char *message);

// True once kvudps_uninit has asked the worker to stop.
bool stopping();

// Sleeps up to `ms`, in slices, returning early when the library is stopping.
void pause_unless_stopping(int32_t ms);

// Waits like kv_socket_wait, in slices, giving up (result 0) when the library is stopping.
int wait_unless_stopping(kv_socket_t socket, int for_write, int32_t timeout_ms);

// ---- The worker's cycle (kvudps_cycle.cpp) ---------------------------------------------------

// What one wake-up of the worker serves, taken under the lock.
struct Cycle {
    bool search = false;
    bool setup = false;
    Target targets[KVUDPS_MAX_TARGETS]{};
    int32_t target_count = 0;
    int32_t quiet_ms = kDefaultQuietMs;
    int32_t setup_pause_ms = kDefaultSetupPauseMs;
    uint16_t bind_first = kBindFirst;
    uint16_t bind_last = kBindLast;
    kvquiet_tea_key search_key{};
    kvquiet_tea_key setup_key{};
};

// Serves one wake-up: opens the discovery socket, runs the search and/or the setup, reports.
void run_cycle(const Cycle &cycle);

// Reports a failure of the cycle to the requests named and clears them. Takes the lock.
void report_failure(bool search, bool setup);

// Reports a failure inside the setup procedure; the setup stays pending until its
// on_setup_done. Takes the lock.
void report_setup_error();

// ---- Test seams ------------------------------------------------------------------------------

// Whether the worker is waiting for work (false while it serves a cycle).
bool worker_is_ready();

// Narrows the ports tried for the discovery socket (tests provoke "Bind socket failed" with a
// range whose only port they hold). Defaults: 9999 down to 9901.
void set_bind_ports(uint16_t first, uint16_t last);

} // namespace udps

#endif // KVUDPS_INTERNAL_H
