#include "kv_thread.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {
std::atomic<int> g_runs{0};
kv_sem_t g_gate = nullptr;           // posted by the test to let gated_routine end
kv_sem_t g_ready = nullptr;          // posted by gated_routine once it runs
std::atomic<bool> g_finished{false}; // set by gated_routine when it no longer uses the semaphores

void count_routine(void *arg) {
    EXPECT_EQ(arg, nullptr);
    g_runs.fetch_add(1);
}

void gated_routine(void *) {
    kv_sem_post(&g_ready);
    kv_sem_wait(&g_gate);
    g_finished = true;
}
} // namespace

TEST(kv_mutex, is_reentrant) {
    kv_mutex_t lock;
    ASSERT_EQ(kv_thread_mutex_init(&lock), 0);
    EXPECT_EQ(kv_thread_mutex_lock(&lock), 0);
    EXPECT_EQ(kv_thread_mutex_lock(&lock), 0);
    // Another thread must not get in until both holds are released.
    std::atomic<bool> entered{false};
    std::thread other([&] {
        kv_thread_mutex_lock(&lock);
        entered = true;
        kv_thread_mutex_unlock(&lock);
    });
    kv_sleep_ms(50);
    EXPECT_FALSE(entered.load());
    kv_thread_mutex_unlock(&lock);
    kv_sleep_ms(50);
    EXPECT_FALSE(entered.load());
    kv_thread_mutex_unlock(&lock);
    other.join();
    EXPECT_TRUE(entered.load());
    kv_thread_mutex_destroy(&lock);
}

TEST(kv_sem, is_binary_and_second_post_fails) {
    kv_sem_t sem = nullptr;
    ASSERT_EQ(kv_sem_init(&sem), 0);
    ASSERT_NE(sem, nullptr);
    EXPECT_EQ(kv_sem_post(&sem), 0);
    EXPECT_EQ(kv_sem_post(&sem), -1);
    EXPECT_EQ(kv_sem_wait(&sem), 0); // returns at once: one signal pending

    // The second wait blocks until the next post: the signal was not counted twice.
    std::atomic<bool> taken{false};
    std::thread waiter([&] {
        kv_sem_wait(&sem);
        taken = true;
    });
    kv_sleep_ms(100);
    EXPECT_FALSE(taken.load());
    EXPECT_EQ(kv_sem_post(&sem), 0);
    waiter.join();
    EXPECT_TRUE(taken.load());
    EXPECT_NE(kv_sem_destroy(&sem), 0);
}

TEST(kv_sem, null_handle_fails_without_blocking) {
    kv_sem_t sem = nullptr;
    EXPECT_EQ(kv_sem_wait(&sem), -1);
    EXPECT_EQ(kv_sem_post(&sem), -1);
    EXPECT_EQ(kv_sem_destroy(&sem), 0);
}

TEST(kv_thread, starts_runs_and_is_waited_for) {
    g_runs = 0;
    kv_thread_t t = kv_thread_start(count_routine);
    ASSERT_EQ(kv_thread_started(t), 0);
    EXPECT_EQ(kv_thread_wait_exit(t), 0);
    EXPECT_EQ(g_runs.load(), 1);
    EXPECT_EQ(kv_thread_started(nullptr), -1);
    EXPECT_EQ(kv_thread_wait_exit(nullptr), -1);
}

TEST(kv_thread, wait_exit_gives_up_after_three_seconds_and_keeps_the_handle) {
    ASSERT_EQ(kv_sem_init(&g_gate), 0);
    ASSERT_EQ(kv_sem_init(&g_ready), 0);
    kv_thread_t t = kv_thread_start(gated_routine);
    ASSERT_NE(t, nullptr);
    kv_sem_wait(&g_ready);
    const int64_t start = kv_monotonic_ms();
    EXPECT_EQ(kv_thread_wait_exit(t), -1);
    EXPECT_GE(kv_monotonic_ms() - start, 2900);
    kv_sem_post(&g_gate);
    EXPECT_EQ(kv_thread_wait_exit(t), 0) << "the handle stayed open and usable";
    kv_sem_destroy(&g_gate);
    kv_sem_destroy(&g_ready);
}

TEST(kv_thread, close_lets_a_running_thread_finish) {
    ASSERT_EQ(kv_sem_init(&g_gate), 0);
    ASSERT_EQ(kv_sem_init(&g_ready), 0);
    kv_thread_t t = kv_thread_start(gated_routine);
    ASSERT_NE(t, nullptr);
    kv_sem_wait(&g_ready);
    g_finished = false;
    EXPECT_EQ(kv_thread_close(t), 0);
    kv_sem_post(&g_gate); // the thread ends after its handle was given up
    for (int i = 0; i < 500 && !g_finished; ++i)
        kv_sleep_ms(10);
    EXPECT_TRUE(g_finished.load());
    kv_sem_destroy(&g_gate);
    kv_sem_destroy(&g_ready);
}
