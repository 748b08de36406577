// Event handlers and the event slots that own them.
#ifndef KVGAPI_TEVENTCUSTOM_H
#define KVGAPI_TEVENTCUSTOM_H

#include "TEventArgs.h"

#include <functional>
#include <memory>

namespace kvgapi {

// A handler: something that can be invoked with an event's arguments.
class TEventCustom {
public:
    virtual ~TEventCustom() = default;
    virtual void invoke(TEventArgs &args) = 0;
};

// A handler bound to one method of an object, such as the main window's ConfReadDone.
template <typename T, typename A>
class EventHandler : public TEventCustom {
public:
    using Method = void (T::*)(A &);

    EventHandler(T *object, Method method) : m_object(object), m_method(method) {}

    void invoke(TEventArgs &args) override { (m_object->*m_method)(static_cast<A &>(args)); }

private:
    T *m_object = nullptr;
    Method m_method = nullptr;
};

// A handler made of any callable: tools and tests bind lambdas with it.
template <typename A>
class FunctionHandler : public TEventCustom {
public:
    explicit FunctionHandler(std::function<void(A &)> function) : m_function(std::move(function)) {}

    void invoke(TEventArgs &args) override {
        if (m_function)
            m_function(static_cast<A &>(args));
    }

private:
    std::function<void(A &)> m_function;
};

// One event of a wrapper. It owns at most one handler: setting a handler takes ownership and
// deletes the one it held; an empty slot is skipped when the event is raised.
template <typename A>
class TEvent {
public:
    void Set(TEventCustom *handler) { m_handler.reset(handler); }
    void Set(std::function<void(A &)> function) {
        m_handler = std::make_unique<FunctionHandler<A>>(std::move(function));
    }
    bool IsSet() const { return m_handler != nullptr; }
    void Raise(A &args) const {
        if (m_handler)
            m_handler->invoke(args);
    }

private:
    std::unique_ptr<TEventCustom> m_handler;
};

} // namespace kvgapi

#endif
