#include "TEventCustom.h"
#include "TMessageWindow.h"
#include "TSdkObject.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace kvgapi;

namespace {

// Runs the event loop until `done` holds or two seconds pass.
template <typename Pred>
bool spin_until(Pred done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

struct Counted : TEventCustom {
    explicit Counted(int *deaths) : m_deaths(deaths) {}
    ~Counted() override { ++*m_deaths; }
    void invoke(TEventArgs &) override { ++calls; }
    int calls = 0;
    int *m_deaths;
};

struct Window {
    void handler(TSdkSimpleEventArgs &args) { last_sender = args.Sender; }
    TSdkObject *last_sender = nullptr;
};

} // namespace

TEST(sdk_event, slot_owns_its_handler_and_frees_the_one_it_replaces) {
    int deaths = 0;
    auto *first = new Counted(&deaths);
    {
        TEvent<TSdkSimpleEventArgs> event;
        TSdkSimpleEventArgs args(nullptr);
        event.Raise(args); // an empty slot is skipped
        event.Set(first);
        event.Raise(args);
        EXPECT_EQ(first->calls, 1);
        event.Set(new Counted(&deaths));
        EXPECT_EQ(deaths, 1) << "replacing frees the old handler";
    }
    EXPECT_EQ(deaths, 2) << "the slot frees its handler";
}

TEST(sdk_event, method_handler_calls_the_bound_method) {
    Window window;
    TSdkObject sender(nullptr);
    TEvent<TSdkSimpleEventArgs> event;
    event.Set(new EventHandler<Window, TSdkSimpleEventArgs>(&window, &Window::handler));
    TSdkSimpleEventArgs args(&sender);
    event.Raise(args);
    EXPECT_EQ(window.last_sender, &sender);
}

TEST(sdk_error, copies_the_library_record) {
    kv_error_struct record{};
    record.err_code = 28;
    record.err_no = 111;
    std::strcpy(record.err_code_str, "Socket connect failure");
    std::strcpy(record.err_no_str, "Connection refused");
    const TSdkError error = TSdkError::FromRecord(record);
    EXPECT_EQ(error.Code, 28);
    EXPECT_EQ(error.ErrNo, 111);
    EXPECT_EQ(error.Message, "Socket connect failure");
    EXPECT_EQ(error.SystemText, "Connection refused");
}

TEST(sdk_message_window, delivers_in_posting_order_on_the_gui_thread) {
    std::vector<int> seen;
    std::vector<int32_t> codes;
    int target = 0;
    const auto gui = std::this_thread::get_id();
    bool wrong_thread = false;
    TMessageWindow window([&](int message, void *t, const kv_error_struct *error) {
        wrong_thread = wrong_thread || std::this_thread::get_id() != gui || t != &target;
        seen.push_back(message);
        codes.push_back(error != nullptr ? error->err_code : -1);
    });
    window.Attach(&target);
    std::thread worker([&] {
        kv_error_struct error{};
        for (int i = 0; i < 1000; ++i) {
            error.err_code = i;
            window.Post(1024 + (i % 8), &target, (i % 2) != 0 ? &error : nullptr);
        }
    });
    worker.join();
    ASSERT_TRUE(spin_until([&] { return seen.size() == 1000; }));
    EXPECT_FALSE(wrong_thread);
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(seen[static_cast<size_t>(i)], 1024 + (i % 8));
        EXPECT_EQ(codes[static_cast<size_t>(i)], (i % 2) != 0 ? i : -1);
    }
}

TEST(sdk_message_window, messages_of_a_detached_instance_are_dropped) {
    int calls = 0;
    int target = 0;
    TMessageWindow window([&](int, void *, const kv_error_struct *) { ++calls; });
    EXPECT_FALSE(window.Post(1024, &target)) << "not attached yet";
    window.Attach(&target);
    kv_error_struct error{};
    EXPECT_TRUE(window.Post(1025, &target, &error));
    window.Detach(&target); // destroyed before its message is handled
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(window.Post(1024, nullptr));
}

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
