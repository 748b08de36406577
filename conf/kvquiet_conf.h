/* Configuration client: reads and writes a device's configuration over TCP.
 *
 * A host opens a connection slot for one device address, then starts operations on it one at a
 * time: a read of the configuration line, a write of a record (one command per set field), or a
 * single command. Each operation runs on a worker thread of its own and reports through the
 * callbacks given at open; the host may also poll (kvquiet_conf_finish) or block
 * (kvquiet_conf_wait_finish). A timer thread of the module expires reply and wait deadlines once
 * a second.
 *
 * Results: 0 (or a slot number) for success, -1 for failure. The reason of a failure is left in
 * an error record (kv_error_struct) that kvquiet_conf_error copies out: the record of the slot
 * the call names, or of slot 0 for calls that are not tied to an open slot. Nothing clears a
 * record: after a success it still shows the last failure.
 *
 * Threads: the functions may be called from any thread. Callbacks run on the slot's worker
 * thread while it holds the slot's lock, so kvquiet_conf_close on another thread never returns
 * while a callback of the operation it ends is running, and no callback of that operation starts
 * after it returned. A callback may call the functions of this module (the lock is re-entrant)
 * but must not block on another thread that calls into this module for the same slot, and must
 * not call kvquiet_conf_wait_finish or kvquiet_conf_uninit. The record pointers a callback
 * receives belong to the slot and are valid only during the call.
 */
#ifndef KVQUIET_CONF_H
#define KVQUIET_CONF_H

#include "kv_error.h"
#include "kvquiet_conf_struct.h"

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Slots 1 to KVQUIET_CONF_SLOTS - 1 are handed out; slot 0 records module-wide failures. */
#define KVQUIET_CONF_SLOTS 100
/* Capacity of an address text, terminator included (at most 15 characters). */
#define KVQUIET_CONF_ADDRESS_CAP 16
/* Capacity of a command text, terminator included (at most 7 characters). */
#define KVQUIET_CONF_COMMAND_CAP 8
/* Capacity of a received reply, terminator included; longer replies are cut (a configuration
 * line so cut loses the piece the cut runs through, so that no field takes a fragment). */
#define KVQUIET_CONF_REPLY_CAP 400

/* Failure kinds, the index of the failure callback that reports them. */
#define KVQUIET_CONF_FAIL_CONNECT 0
#define KVQUIET_CONF_FAIL_READ 1
#define KVQUIET_CONF_FAIL_WRITE 2
#define KVQUIET_CONF_FAIL_CMD 3
#define KVQUIET_CONF_FAIL_TEA 4

/* A success callback: the slot number and the settings' context. */
typedef void (*kvquiet_conf_cb)(int32_t slot, void *context);
/* A failure callback: also the slot's error record, valid during the call only. */
typedef void (*kvquiet_conf_error_cb)(int32_t slot, void *context, const kv_error_struct *error);
/* The read callback: also the slot's configuration record, valid during the call only. */
typedef void (*kvquiet_conf_read_cb)(int32_t slot, void *context,
                                     const kvquiet_conf_struct *configuration);

/* Settings of one connection, copied whole by kvquiet_conf_open. Reset them with
 * kvquiet_conf_clr_settings_struct before filling them in. A null callback is skipped. */
typedef struct kvquiet_conf_settings_struct {
    void *context;              /* passed back unchanged to every callback */
    int32_t tea;                /* 0: no authorization; other: TEA challenge and answer */
    int32_t connect_wait;       /* attempts of one second to wait for the connection (default 5) */
    int32_t reply_wait;         /* seconds to wait for each reply (default 10) */
    uint32_t key[4];            /* TEA key words k0 to k3 */
    kvquiet_conf_cb on_connect; /* connected */
    kvquiet_conf_error_cb on_connect_error; /* connect failed (kind 0) */
    kvquiet_conf_read_cb on_read;           /* configuration read */
    kvquiet_conf_error_cb on_read_error;    /* read failed (kind 1) */
    kvquiet_conf_cb on_write;               /* configuration written */
    kvquiet_conf_error_cb on_write_error;   /* write failed (kind 2) */
    kvquiet_conf_cb on_cmd;                 /* command sent */
    kvquiet_conf_error_cb on_cmd_error;     /* command failed (kind 3) */
    kvquiet_conf_error_cb on_tea_error;     /* authorization failed (kind 4) */
    /* Milliseconds of silence that end one receive step (default 1000). Every reply is read
     * until the line has been quiet this long, so a read costs about three of these and a write
     * one plus one per command. Lower values speed up every operation on a quick network; 0 or
     * less is taken as the default. */
    int32_t quiet_ms;
} kvquiet_conf_settings_struct;

/* Starts the module: the slot table and the timer thread. Returns 0. A call while the module
 * runs records code 80 ("Modul use more somewhere") in slot 0, raises the reference count by
 * one and returns -1; a failed start of the timer thread records 20 or 37 in slot 0 and returns
 * -1 with the module not started. Any thread; callbacks: none. */
int kvquiet_conf_init(void);

/* Ends the module. Not started: returns 0. Reference count above 0 (init was refused that many
 * times): lowers it by one, records 80 in slot 0, returns -1. Otherwise closes every open slot
 * as kvquiet_conf_close does, stops the timer thread and returns 0. Workers that still run end
 * on their own without calling back. Any thread except a callback's. */
int kvquiet_conf_uninit(void);

/* Sets a raised reference count back to 0, so that the next kvquiet_conf_uninit ends the
 * module. Any thread. */
void kvquiet_count_ref2zero(void);

/* Resets settings to the defaults: context null, TEA off, connect wait 5, reply wait 10, key
 * 0, 0, 0, 0, every callback null, quiet_ms 1000. Returns 0, or -1 for a null pointer. */
int kvquiet_conf_clr_settings_struct(kvquiet_conf_settings_struct *settings);

/* Opens a slot for the device at `address` (dotted-decimal IPv4, at most 15 characters) and
 * TCP `port`, with a copy of `settings`. Returns the slot number (1 to 99) or -1 with, in slot
 * 0: 2 module not started; 85 a null pointer; 13 an address of 16 characters or more, or one
 * that is not a dotted-decimal IPv4 address; 15 the address is open already (whatever the
 * port); 18 no free slot. Slot numbers grow by one with every open for the life of the process;
 * from 100 on, the lowest free slot whose last worker has ended is reused. The slot's
 * configuration and error records keep what an earlier occupant left. Any thread. */
int32_t kvquiet_conf_open(const char *address, int32_t port,
                          const kvquiet_conf_settings_struct *settings);

/* Closes a slot: the operation under way, if any, is abandoned (its socket is shut down so a
 * waiting worker ends promptly, and it calls no callback from now on), the socket a command
 * left open is closed, a kvquiet_conf_wait_finish on the slot wakes and fails, and the slot
 * becomes free. Does not wait for the worker to end. Returns 0 (also for a slot that is free
 * already), or -1 with code 16 in slot 0 for a number outside 1 to 99. Any thread, callbacks
 * included. */
int kvquiet_conf_close(int32_t slot);

/* Starts a read: connect, optional authorization, greeting, "Q1\r" and "\r", then the
 * configuration line is read into the slot's record. Returns 0 when the worker was started, or
 * -1 with: 16 in slot 0 for a slot that is not open; 17 in the slot while an operation is under
 * way or after one failed (close and open the slot again); 38 in the slot when no thread could
 * be started. The outcome comes as on_connect, then on_read (the slot's record) or a failure
 * callback: kind 0 (codes 26-29), kind 4 (76, 79, or 30/32/34/35 while authorizing), kind 1
 * (19 no reply in time, 30/35 sending, 32/34 receiving, 74 a line without "WEB51="). Callbacks
 * run on the worker thread. */
int kvquiet_conf_read(int32_t slot);

/* Starts a write of a copy of `configuration`: "Q1\r", then one command per set field in the
 * fixed order, each acknowledged by the device within the reply wait, then `final_command`
 * (at most 7 characters, sent unchanged; null or empty for none). Returns 0 when the worker was
 * started, or -1 with: 16 in slot 0 (slot not open); in the slot 85 a null configuration, 81 a
 * final command of 8 characters or more, 74 a record without any set field, 17 or 38 as for a
 * read. Outcome: on_connect, then on_write or a failure callback of kind 0, 4 or 2 (codes 19,
 * 30, 32, 34, 35). Callbacks run on the worker thread. */
int kvquiet_conf_write(int32_t slot, const kvquiet_conf_struct *configuration,
                       const char *final_command);

/* Starts a command operation that sends `command` (at most 7 characters) unchanged. The
 * connection stays open afterwards for the device to act on it; it is closed when the slot is
 * closed or the next operation on the slot starts. Returns 0 when the worker was started, or -1
 * with: 16 in slot 0 (slot not open); in the slot 85 a null command, 81 a command of 8
 * characters or more, 17 or 38 as for a read. Outcome: on_connect, then on_cmd or a failure
 * callback of kind 0, 4 or 3 (codes 19, 30, 32, 34, 35). Callbacks run on the worker thread. */
int kvquiet_conf_send_cmd(int32_t slot, const char *command);

/* Tells whether the slot's last operation has finished successfully (or none was started).
 * `kind` must be 0, 1 or 2 (all three test the same). Returns 0 when finished; -1 with, in slot
 * 0: 2 a kind outside 0 to 2, 16 a slot that is not open, 1 ("Action not finish") an operation
 * under way or failed. Any thread. */
int kvquiet_conf_finish(int32_t slot, int32_t kind);

/* Blocks until the slot's operation has finished successfully or `seconds` have passed (whole
 * seconds of the calendar clock, served by the timer thread once a second, so the wait may last
 * up to two seconds more). Returns 0 when finished; -1 with, in slot 0: 2 a kind outside 0 to 2;
 * 16 a slot that is not open; 17 another wait on the slot under way; 20 or 22 a semaphore
 * failure; 1 the time passed, or the slot was closed meanwhile. A failed operation never
 * finishes, so a wait on it ends at its deadline. Any thread except a callback's. */
int kvquiet_conf_wait_finish(int32_t slot, int32_t kind, int32_t seconds);

/* Copies the slot's configuration record into `configuration` when no operation is under way
 * and the last one succeeded (whether or not it was a read). Returns 0, or -1 with: 16 in slot
 * 0 (slot not open); in the slot 85 a null pointer, 74 ("No data") an operation under way or
 * failed. Any thread. */
int kvquiet_conf_read_cache(int32_t slot, kvquiet_conf_struct *configuration);

/* Copies the error record of `slot` (0 to 99) into `error_record`. Returns 0 when the record
 * holds code 0 or 1 (no failure, or an operation under way), -1 for any other code, and -1
 * without copying for a slot outside 0 to 99 or a null pointer. Records nothing. Any thread. */
int kvquiet_conf_error(int32_t slot, kv_error_struct *error_record);

/* Writes the slot's error record to standard output as one line,
 * "%s (%i): %s (%i)\n" with err_code_str, err_code, err_no_str, err_no. Returns the number of
 * characters written, or -1 (nothing written) for a slot outside 0 to 99. Any thread. */
int kvquiet_conf_error_print(int32_t slot);

#ifdef __cplusplus
}
#endif

#endif /* KVQUIET_CONF_H */
