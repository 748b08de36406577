/*
 * Locks, binary semaphores and worker threads shared by the configuration and discovery
 * libraries. Every call is a plain function that returns 0 for success and -1 for failure
 * unless its comment says otherwise; none of them records a library error code itself: the
 * calling library turns a -1 into its own code.
 *
 * The platform objects live behind these calls (POSIX threads here, Win32 objects under
 * _WIN32), so the libraries above need no platform code of their own.
 */
#ifndef KV_THREAD_H
#define KV_THREAD_H

#include <stdint.h>

#ifdef _WIN32
/* The lean set of Windows headers, without the min and max macros (see kv_socket.h). */
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <pthread.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A re-entrant lock: the thread that holds it may take it again and must release it as often
 * as it took it. The caller owns the storage (usually static) and passes its address. */
#ifdef _WIN32
typedef CRITICAL_SECTION kv_mutex_t;
#else
typedef pthread_mutex_t kv_mutex_t;
#endif

/* A binary semaphore handle: initial count 0, maximum count 1. The caller owns the variable;
 * kv_sem_init writes the handle into it. A null handle is no semaphore. */
typedef struct kv_sem_impl *kv_sem_t;

/* A worker thread handle, returned by kv_thread_start. Null is no thread. */
typedef struct kv_thread_impl *kv_thread_t;

/* A thread routine. Its argument is always null; it ends by returning. */
typedef void (*kv_thread_routine_t)(void *arg);

/* Prepares a re-entrant lock. Always returns 0. Any thread. */
int kv_thread_mutex_init(kv_mutex_t *lock);

/* Takes the lock, blocking until it is free (or at once when this thread holds it).
 * Always returns 0. */
int kv_thread_mutex_lock(kv_mutex_t *lock);

/* Releases the lock once. Always returns 0. */
int kv_thread_mutex_unlock(kv_mutex_t *lock);

/* Releases the platform resources of a lock that no thread holds. */
void kv_thread_mutex_destroy(kv_mutex_t *lock);

/* Creates a binary semaphore, not signalled, and stores its handle in *sem.
 * Returns 0, or -1 when none was created (*sem is then null). */
int kv_sem_init(kv_sem_t *sem);

/* Signals the semaphore. Returns 0, or -1 when it is already signalled (a binary semaphore
 * carries at most one pending signal) or *sem is no semaphore. */
int kv_sem_post(kv_sem_t *sem);

/* Takes the signal, waiting without a time-out until one is posted. Returns 0 once taken, or
 * -1 at once when *sem is no semaphore. */
int kv_sem_wait(kv_sem_t *sem);

/* Frees the semaphore. Unlike every other call here it returns the platform's own answer:
 * non-zero for success, 0 for failure (a null handle). Callers ignore it. */
int kv_sem_destroy(kv_sem_t *sem);

/* Starts a thread that runs routine(NULL) at once. Returns its handle, or null on failure.
 * The handle stays valid until kv_thread_wait_exit succeeds or kv_thread_close is called. */
kv_thread_t kv_thread_start(kv_thread_routine_t routine);

/* Returns 0 for a non-null handle and -1 for null: the second step of starting a thread. */
int kv_thread_started(kv_thread_t handle);

/* Waits up to 3000 ms for the thread to end. Returns 0 when it ended in time (the handle is
 * then closed), -1 otherwise (the handle stays open). */
int kv_thread_wait_exit(kv_thread_t handle);

/* Gives up the handle; the thread itself runs on and frees its part when it ends.
 * Always returns 0 (a null handle is ignored). */
int kv_thread_close(kv_thread_t handle);

/* Asks the platform to end the thread at once. Returns 0 on success, -1 on failure. Offered
 * for completeness; the libraries never kill a thread. The handle stays open. */
int kv_thread_kill(kv_thread_t handle);

/* Sleeps for the given number of milliseconds (0 or less returns at once). */
void kv_sleep_ms(int32_t ms);

/* The calendar clock in whole seconds (the runtime's time()). The configuration library's
 * deadlines are kept in these units. */
int64_t kv_time_seconds(void);

/* A monotonic clock in milliseconds, for waits that must not jump with the calendar. */
int64_t kv_monotonic_ms(void);

#ifdef __cplusplus
}
#endif

#endif /* KV_THREAD_H */
