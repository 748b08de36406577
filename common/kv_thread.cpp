// Locks, binary semaphores and threads on the platform's own objects: Win32 critical
// sections, semaphores and threads under _WIN32, POSIX threads elsewhere.
#include "kv_thread.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <new>
#include <thread>

#ifndef _WIN32
#include <cerrno>
#endif

// ---------------------------------------------------------------------------------------------
// Locks
// ---------------------------------------------------------------------------------------------

#ifdef _WIN32

int kv_thread_mutex_init(kv_mutex_t *lock) {
    InitializeCriticalSection(lock);
    return 0;
}

int kv_thread_mutex_lock(kv_mutex_t *lock) {
    EnterCriticalSection(lock);
    return 0;
}

int kv_thread_mutex_unlock(kv_mutex_t *lock) {
    LeaveCriticalSection(lock);
    return 0;
}

void kv_thread_mutex_destroy(kv_mutex_t *lock) {
    DeleteCriticalSection(lock);
}

#else

int kv_thread_mutex_init(kv_mutex_t *lock) {
    // A recursive mutex behaves as a critical section: the owner may take it again.
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(lock, &attr);
    pthread_mutexattr_destroy(&attr);
    return 0;
}

int kv_thread_mutex_lock(kv_mutex_t *lock) {
    pthread_mutex_lock(lock);
    return 0;
}

int kv_thread_mutex_unlock(kv_mutex_t *lock) {
    pthread_mutex_unlock(lock);
    return 0;
}

void kv_thread_mutex_destroy(kv_mutex_t *lock) {
    pthread_mutex_destroy(lock);
}

#endif

// ---------------------------------------------------------------------------------------------
// Binary semaphores
// ---------------------------------------------------------------------------------------------

#ifdef _WIN32

// The handle variable holds the Win32 semaphore handle itself.
int kv_sem_init(kv_sem_t *sem) {
    HANDLE h = CreateSemaphoreA(nullptr, 0, 1, nullptr);
    *sem = reinterpret_cast<kv_sem_t>(h);
    return h != nullptr ? 0 : -1;
}

int kv_sem_post(kv_sem_t *sem) {
    if (*sem == nullptr)
        return -1;
    // ReleaseSemaphore refuses to go past the maximum count of 1, so a second post fails.
    return ReleaseSemaphore(reinterpret_cast<HANDLE>(*sem), 1, nullptr) ? 0 : -1;
}

int kv_sem_wait(kv_sem_t *sem) {
    if (*sem == nullptr)
        return -1;
    return WaitForSingleObject(reinterpret_cast<HANDLE>(*sem), INFINITE) == WAIT_FAILED ? -1 : 0;
}

int kv_sem_destroy(kv_sem_t *sem) {
    if (*sem == nullptr)
        return 0;
    return CloseHandle(reinterpret_cast<HANDLE>(*sem)) ? 1 : 0;
}

#else

// A binary semaphore as a flag under a mutex with a condition to wait on.
struct kv_sem_impl {
    pthread_mutex_t mutex;
    pthread_cond_t cond;
    bool signalled;
};

int kv_sem_init(kv_sem_t *sem) {
    auto *s = new (std::nothrow) kv_sem_impl;
    if (s == nullptr) {
        *sem = nullptr;
        return -1;
    }
    pthread_mutex_init(&s->mutex, nullptr);
    pthread_cond_init(&s->cond, nullptr);
    s->signalled = false;
    *sem = s;
    return 0;
}

int kv_sem_post(kv_sem_t *sem) {
    kv_sem_impl *s = *sem;
    if (s == nullptr)
        return -1;
    int result = 0;
    pthread_mutex_lock(&s->mutex);
    if (s->signalled) {
        result = -1; // the maximum count is 1: the signal is not counted twice
    } else {
        s->signalled = true;
        pthread_cond_signal(&s->cond);
    }
    pthread_mutex_unlock(&s->mutex);
    return result;
}

int kv_sem_wait(kv_sem_t *sem) {
    kv_sem_impl *s = *sem;
    if (s == nullptr)
        return -1;
    pthread_mutex_lock(&s->mutex);
    while (!s->signalled)
        pthread_cond_wait(&s->cond, &s->mutex);
    s->signalled = false;
    pthread_mutex_unlock(&s->mutex);
    return 0;
}

int kv_sem_destroy(kv_sem_t *sem) {
    kv_sem_impl *s = *sem;
    if (s == nullptr)
        return 0;
    pthread_cond_destroy(&s->cond);
    pthread_mutex_destroy(&s->mutex);
    delete s;
    *sem = nullptr;
    return 1;
}

#endif

// ---------------------------------------------------------------------------------------------
// Threads
// ---------------------------------------------------------------------------------------------

namespace {
constexpr int kWaitExitMs = 3000;
}

#ifdef _WIN32

namespace {
struct start_block {
    kv_thread_routine_t routine;
};

DWORD WINAPI trampoline(LPVOID arg) {
    auto *block = static_cast<start_block *>(arg);
    kv_thread_routine_t routine = block->routine;
    delete block;
    routine(nullptr);
    return 0;
}
} // namespace

kv_thread_t kv_thread_start(kv_thread_routine_t routine) {
    auto *block = new (std::nothrow) start_block{routine};
    if (block == nullptr)
        return nullptr;
    HANDLE h = CreateThread(nullptr, 0, trampoline, block, 0, nullptr);
    if (h == nullptr)
        delete block;
    return reinterpret_cast<kv_thread_t>(h);
}

int kv_thread_wait_exit(kv_thread_t handle) {
    if (handle == nullptr)
        return -1;
    if (WaitForSingleObject(reinterpret_cast<HANDLE>(handle), kWaitExitMs) != WAIT_OBJECT_0)
        return -1;
    CloseHandle(reinterpret_cast<HANDLE>(handle));
    return 0;
}

int kv_thread_close(kv_thread_t handle) {
    if (handle != nullptr)
        CloseHandle(reinterpret_cast<HANDLE>(handle));
    return 0;
}

int kv_thread_kill(kv_thread_t handle) {
    if (handle == nullptr)
        return -1;
    return TerminateThread(reinterpret_cast<HANDLE>(handle), 0) ? 0 : -1;
}

#else

// The handle and the running thread share this block; whichever lets go last frees it, so a
// closed handle never takes memory away from a thread that still runs.
struct kv_thread_impl {
    pthread_t tid{};
    kv_thread_routine_t routine = nullptr;
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t cond{};
    bool done = false;        // guarded by mutex
    std::atomic<int> refs{2}; // one for the thread, one for the handle
};

namespace {
void release(kv_thread_impl *t) {
    if (t->refs.fetch_sub(1) == 1) {
        pthread_cond_destroy(&t->cond);
        pthread_mutex_destroy(&t->mutex);
        delete t;
    }
}

void *trampoline(void *arg) {
    auto *t = static_cast<kv_thread_impl *>(arg);
    t->routine(nullptr);
    pthread_mutex_lock(&t->mutex);
    t->done = true;
    pthread_cond_broadcast(&t->cond);
    pthread_mutex_unlock(&t->mutex);
    release(t);
    return nullptr;
}
} // namespace

kv_thread_t kv_thread_start(kv_thread_routine_t routine) {
    auto *t = new (std::nothrow) kv_thread_impl;
    if (t == nullptr || routine == nullptr) {
        delete t;
        return nullptr;
    }
    t->routine = routine;
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&t->cond, &attr);
    pthread_condattr_destroy(&attr);
    if (pthread_create(&t->tid, nullptr, trampoline, t) != 0) {
        pthread_cond_destroy(&t->cond);
        delete t;
        return nullptr;
    }
    return t;
}

int kv_thread_wait_exit(kv_thread_t handle) {
    if (handle == nullptr)
        return -1;
    timespec until{};
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += kWaitExitMs / 1000;
    pthread_mutex_lock(&handle->mutex);
    int rc = 0;
    while (!handle->done && rc != ETIMEDOUT)
        rc = pthread_cond_timedwait(&handle->cond, &handle->mutex, &until);
    const bool ended = handle->done;
    pthread_mutex_unlock(&handle->mutex);
    if (!ended)
        return -1;
    pthread_join(handle->tid, nullptr);
    release(handle);
    return 0;
}

int kv_thread_close(kv_thread_t handle) {
    if (handle != nullptr) {
        pthread_detach(handle->tid);
        release(handle);
    }
    return 0;
}

int kv_thread_kill(kv_thread_t handle) {
    if (handle == nullptr)
        return -1;
    return pthread_cancel(handle->tid) == 0 ? 0 : -1;
}

#endif

int kv_thread_started(kv_thread_t handle) {
    return handle != nullptr ? 0 : -1;
}

// ---------------------------------------------------------------------------------------------
// Clocks
// ---------------------------------------------------------------------------------------------

void kv_sleep_ms(int32_t ms) {
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int64_t kv_time_seconds(void) {
    return static_cast<int64_t>(std::time(nullptr));
}

int64_t kv_monotonic_ms(void) {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
