// The hidden message window of a wrapper class, on Qt: library callbacks, which run on library
// threads, post numbered messages here; they are handled on the thread that owns the window
// (the GUI thread), in the order they were posted. A failure message carries its own copy of
// the library's error record, freed after it was handled (or when the message is dropped).
//
// One TMessageWindow serves every instance of one wrapper class. It also keeps the set of live
// instances, so a message posted for an instance that has been destroyed in the meantime is
// dropped instead of reaching freed memory.
#ifndef KVGAPI_TMESSAGEWINDOW_H
#define KVGAPI_TMESSAGEWINDOW_H

#include "kv_error.h"

#include <QObject>
#include <functional>
#include <mutex>
#include <set>

namespace kvgapi {

class TMessageWindow : public QObject {
public:
    // The window procedure: a message number (1024 and up), the instance it was posted for,
    // and the error copy of a failure message (null otherwise), valid during the call only.
    using Procedure = std::function<void(int message, void *target, const kv_error_struct *error)>;

    // Creates the window on the calling thread, which must run a Qt event loop.
    explicit TMessageWindow(Procedure procedure);
    ~TMessageWindow() override;

    // Instances whose messages may be delivered. Any thread.
    void Attach(void *target);
    void Detach(void *target);

    // Posts a message for `target`, copying `error` when given. Any thread. Returns false (and
    // posts nothing) when the target is not attached.
    bool Post(int message, void *target, const kv_error_struct *error = nullptr);

protected:
    bool event(QEvent *event) override;

private:
    bool IsAttached(void *target);

    Procedure m_procedure;
    std::mutex m_mutex;         // guards m_targets
    std::set<void *> m_targets; // live instances
};

} // namespace kvgapi

#endif
