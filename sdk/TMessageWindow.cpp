#include "TMessageWindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <memory>

// Qt hands a posted event from one thread to another through its own futex-based lock, which
// the thread sanitizer cannot see. These annotations state the hand-over it would otherwise
// report as a race: posting releases the event, handling it acquires it.
#if defined(__SANITIZE_THREAD__)
#define KV_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KV_TSAN 1
#endif
#endif
#ifdef KV_TSAN
extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);
#define KV_HANDOVER_RELEASE(p) __tsan_release(p)
#define KV_HANDOVER_ACQUIRE(p) __tsan_acquire(p)
#else
#define KV_HANDOVER_RELEASE(p) ((void)(p))
#define KV_HANDOVER_ACQUIRE(p) ((void)(p))
#endif

namespace kvgapi {

namespace {

// One registered event type carries every message number.
QEvent::Type message_event_type() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

class TMessageEvent : public QEvent {
public:
    TMessageEvent(int message, void *target, const kv_error_struct *error)
        : QEvent(message_event_type()), m_message(message), m_target(target) {
        if (error != nullptr)
            m_error = std::make_unique<kv_error_struct>(*error);
    }
    // A message dropped undelivered (its window gone) is freed on the window's thread.
    ~TMessageEvent() override { KV_HANDOVER_ACQUIRE(this); }

    int m_message = 0;
    void *m_target = nullptr;
    std::unique_ptr<kv_error_struct> m_error; // freed with the event, handled or not
};

} // namespace

TMessageWindow::TMessageWindow(Procedure procedure) : m_procedure(std::move(procedure)) {
    setObjectName(QStringLiteral("TMessageWindow"));
}

TMessageWindow::~TMessageWindow() = default;

void TMessageWindow::Attach(void *target) {
    const std::lock_guard<std::mutex> guard(m_mutex);
    m_targets.insert(target);
}

void TMessageWindow::Detach(void *target) {
    const std::lock_guard<std::mutex> guard(m_mutex);
    m_targets.erase(target);
}

bool TMessageWindow::IsAttached(void *target) {
    const std::lock_guard<std::mutex> guard(m_mutex);
    return m_targets.count(target) != 0;
}

bool TMessageWindow::Post(int message, void *target, const kv_error_struct *error) {
    if (target == nullptr || !IsAttached(target))
        return false;
    // postEvent is thread-safe and keeps the posting order for one receiver.
    auto *event = new TMessageEvent(message, target, error);
    KV_HANDOVER_RELEASE(event);
    QCoreApplication::postEvent(this, event);
    return true;
}

bool TMessageWindow::event(QEvent *event) {
    KV_HANDOVER_ACQUIRE(event);
    if (event->type() != message_event_type())
        return QObject::event(event);
    auto *message = static_cast<TMessageEvent *>(event);
    // An instance destroyed after posting is gone: its message is dropped. Instances are
    // destroyed on this thread only, so the check cannot go stale before the call.
    if (m_procedure && IsAttached(message->m_target))
        m_procedure(message->m_message, message->m_target, message->m_error.get());
    return true;
}

} // namespace kvgapi
