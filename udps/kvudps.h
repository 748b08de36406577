/*
 * The discovery library: finds devices on the local network with a signed UDP search, reads
 * their names over HTTP, and re-addresses a found device with a signed setup datagram.
 *
 * One engine per process. The caller's functions only post requests and read results; one
 * worker thread of the library does all network work and reports through a table of four
 * callbacks. Every function returns 0 for success and -1 for failure unless its comment says
 * otherwise; a failure leaves its reason in the library's error record (kvudps_error), whose
 * err_code stays 0 and whose err_code_str holds one of the library's own messages.
 *
 * Callbacks run on the worker thread while it holds the library lock. A callback may call back
 * into the library on that thread (the lock is re-entrant) but must not wait for another thread
 * that needs the library.
 */
#ifndef KVUDPS_H
#define KVUDPS_H

#include <stdint.h>

#include "kv_error.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Room of the found-device list. */
#define KVUDPS_MAX_MODULES 100
/* Room of an HTTP reply; a reply of this many bytes or more is refused. */
#define UDPS_XML_FILE_SIZE 100000
/* Capacities of the record's texts, terminator included. */
#define KVUDPS_NAME_SIZE 100
#define KVUDPS_ADDR_SIZE 16
#define KVUDPS_FIRMWARE_SIZE 12
#define KVUDPS_TYPE_NAME_SIZE 101
#define KVUDPS_MAC_SIZE 18

/* One found device, as the library keeps it. A setup request uses the same record to carry the
 * device's `mac` and its new settings (ip, mask, addr3-5, port, mode bits, name). */
typedef struct kvudps_module_struct {
    uint16_t port;                         /* service port, answer bytes 30-31 */
    uint16_t port2;                        /* second port (extension 5, or port when feature1) */
    char name[KVUDPS_NAME_SIZE];           /* device name: extension 2 or HTTP; else empty */
    char ip[KVUDPS_ADDR_SIZE];             /* dotted decimal */
    char mask[KVUDPS_ADDR_SIZE];           /* dotted decimal */
    char addr3[KVUDPS_ADDR_SIZE];          /* answer bytes 14-17 */
    char addr4[KVUDPS_ADDR_SIZE];          /* answer bytes 18-21 */
    char addr5[KVUDPS_ADDR_SIZE];          /* answer bytes 24-27 */
    char firmware[KVUDPS_FIRMWARE_SIZE];   /* "major.minor.patch" */
    uint8_t echo_block[8];                 /* answer bytes 32-39, carried back by a setup */
    uint8_t signature[8];                  /* answer bytes 40-47 as received */
    char type_name[KVUDPS_TYPE_NAME_SIZE]; /* display name of the device type */
    uint8_t feature3;
    uint16_t feature_value; /* extension 6; 99 for devices without an extension list */
    uint8_t raw_version;    /* answer byte 22 */
    uint8_t raw_type;       /* answer byte 23 */
    uint8_t feature4;
    uint8_t feature5;
    char mac[KVUDPS_MAC_SIZE]; /* hardware address text "0A:1B:2C:3D:4E:5F", the list's key */
    uint8_t has_name;
    uint8_t feature2;
    uint8_t mode_bit0;
    uint8_t mode_bit1;
    uint8_t mode_bit2;
    uint8_t mode_bit3;
    uint8_t mode_bit4;
    uint8_t mode_bit5;
    uint8_t fw_major;
    uint8_t fw_minor;
    uint8_t fw_patch;
    uint16_t type; /* bits 7-3 of answer byte 23, or extension 4 */
    uint8_t feature1;
    uint8_t feature0;  /* setups of this device are signed with the setup key */
    uint8_t raw_mode;  /* answer byte 28 */
    uint8_t raw_spare; /* answer byte 29 */
} kvudps_module_struct;

typedef void (*kvudps_done_cb)(void *context);
typedef void (*kvudps_error_cb)(void *context, kv_error_struct *error);

/* The callback table; any entry may be null. The error record handed to the error callbacks is
 * the library's own and valid only during the call: copy it to keep it. */
typedef struct kvudps_callback_struct {
    kvudps_done_cb on_search_done;   /* a search finished; the list holds the found devices */
    kvudps_done_cb on_setup_done;    /* a setup finished (also after its own failure report) */
    kvudps_error_cb on_search_error; /* a search failed */
    kvudps_error_cb on_setup_error;  /* a setup failed */
} kvudps_callback_struct;

/* Starts the library: clears the callback table, creates the semaphore, starts the worker and
 * installs the default search key. When an earlier kvudps_uninit has not yet seen its worker
 * end, waits up to 3 s for it first. The destinations and timing set by kvudps_set_targets and
 * kvudps_set_timing are kept, not reset.
 * Returns 0, or -1 with "Init already run" (initialised, or the earlier worker did not end),
 * "Semaphore init failed", "Mutex init failed" or "Thread create failed". Any thread but a
 * callback. */
int kvudps_init(void);

/* Copies the four entries of `table` into the library; null clears them. Always 0. */
int kvudps_callback(const kvudps_callback_struct *table);

/* Sets all four entries of `table` to null. Always 0. */
int kvudps_clr_callback_struct(kvudps_callback_struct *table);

/* Requests a search: the search request goes to every destination, signed answers are collected
 * until the network has been quiet for the quiet window, and, when `names` is non-zero, the
 * names of the models that keep their name on a web page are read over HTTP (each read bounded:
 * 2 s per wait, 10 s per reply; failures are recorded without failing the search). Ends with
 * on_search_done or on_search_error(context); a failed search is no longer pending when its
 * error callback runs. The found list is emptied at once.
 * Returns 0 when accepted, -1 with "Action not success" (the worker is busy), "Search already
 * run" (a search is pending) or "Semaphore post failed" (the library is not running). A search
 * and a setup may both be accepted before the worker wakes; it then serves both in one cycle,
 * search first. The worker is ready again by the time it calls the cycle's last callback, so a
 * request made on hearing of the end is accepted. Any thread. */
int kvudps_search(int32_t names, void *context);

/* Requests a setup of the found device whose `mac` equals record->mac: the new ip, mask,
 * addr3-5, port, mode bits 0-2, 4, 5 and (for extension-list devices) name go out in a signed
 * setup datagram; after the setup pause, when `names` is non-zero and the device is of a model
 * that keeps its name on a web page, the name is written over HTTP at the new ip and port.
 * The record is copied at once. Ends with on_setup_done(context), preceded by on_setup_error
 * when the setup failed ("Module not exist" for an unknown mac, "Sendto failed").
 * Returns 0 when accepted, -1 with "Action not success", "Setup already run", "Semaphore post
 * failed" or, for a null record, "Module not exist". Any thread. */
int kvudps_setup(const kvudps_module_struct *record, int32_t names, void *context);

/* 0 when no search is pending or running, -1 otherwise. Any thread. */
int kvudps_search_finish(void);

/* 0 when no setup is pending or running, -1 otherwise. Any thread. */
int kvudps_setup_finish(void);

/* The number of found devices. Read it after on_search_done. No lock. */
int kvudps_count(void);

/* When the read cursor is below the count: stores a pointer to the record at the cursor into
 * *record, advances the cursor and returns 0; otherwise -1. The pointer stays valid for the life
 * of the process; its contents change with the next search. The caller may write into the
 * record (a setup request may be made from it). Read after on_search_done. No lock. */
int kvudps_record(kvudps_module_struct **record);

/* As kvudps_record, but copies the whole record into the caller's *record. */
int kvudps_record_copy(kvudps_module_struct *record);

/* Sets the read cursor to 0. Always 0. */
int kvudps_rewind(void);

/* Copies the library's error record under the lock. Always 0. Any thread. */
int kvudps_error(kv_error_struct *error);

/* Writes the error record to standard output as "%s (%i): %s\n" (message, err_no, err_no_str).
 * Returns the number of characters written. */
int kvudps_error_print(void);

/* Forgets `context`: where it equals the search or the setup context, that context becomes null,
 * so later callbacks receive null. Always 0. */
int kvudps_clr_ptr(void *context);

/* Stops the library: clears the cursor, both requests and both contexts, sets the stop flag and
 * wakes the worker. The worker abandons any cycle under way without calling a callback and
 * ends soon after (within a fraction of a second unless a callback blocks it). Does not wait for
 * it; kvudps_init does. Always 0. */
int kvudps_uninit(void);

/* Replaces the four words of the search key (which checks every answer and signs the setups of
 * devices without feature0); the delta stays. kvudps_init installs the default key again, so
 * call this after kvudps_init. Any thread. */
void kvudps_set_tea_keys(uint32_t k0, uint32_t k1, uint32_t k2, uint32_t k3);

/* Sets the setup key (which signs the setups of devices that announced feature0) and its delta
 * 0x9e3779b9. Until the first call the key words and the delta are all 0. Kept across
 * kvudps_init. Any thread. */
void kvudps_set_setup_tea_keys(uint32_t k0, uint32_t k1, uint32_t k2, uint32_t k3);

/* Sets where search requests and setup datagrams go: "ADDR:PORT[,ADDR:PORT...]" with
 * dotted-decimal addresses and ports 1 to 65535, at most KVUDPS_MAX_TARGETS entries, no blanks.
 * Each destination is sent the same datagram in turn; a cycle fails with "Sendto failed" only
 * when no destination could be sent to (a single failed destination is recorded and skipped).
 * Null or "" restores the default "255.255.255.255:9999". Returns 0, or -1 (nothing changed)
 * for a text that does not parse. Kept across kvudps_init. Any thread; takes the library lock.
 */
int kvudps_set_targets(const char *targets);
#define KVUDPS_MAX_TARGETS 128

/* Sets the quiet window that ends answer collection (default 1000 ms) and the pause after a
 * setup datagram (default 6000 ms); a value of 0 or less restores its default. Takes effect
 * from the next cycle. Always 0. Kept across kvudps_init. Any thread; takes the library lock. */
int kvudps_set_timing(int32_t quiet_ms, int32_t setup_pause_ms);

#ifdef __cplusplus
}
#endif

#endif /* KVUDPS_H */
