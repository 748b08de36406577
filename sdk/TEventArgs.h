// The arguments the wrappers' events carry.
#ifndef KVGAPI_TEVENTARGS_H
#define KVGAPI_TEVENTARGS_H

#include "kv_error.h"

#include <cstdint>
#include <string>

namespace kvgapi {

class TSdkObject;

// The base of every event's arguments: the wrapper that raised the event.
class TEventArgs {
public:
    explicit TEventArgs(TSdkObject *sender) : Sender(sender) {}
    virtual ~TEventArgs() = default;

    TSdkObject *Sender = nullptr;
};

// An event that carries nothing but its sender.
class TSdkSimpleEventArgs : public TEventArgs {
public:
    using TEventArgs::TEventArgs;
};

// A library failure, copied from the library's error record.
struct TSdkError {
    int32_t Code = 0;       // the library error code (err_code)
    int32_t ErrNo = 0;      // the runtime's errno (err_no)
    std::string Message;    // err_code_str
    std::string SystemText; // err_no_str

    static TSdkError FromRecord(const kv_error_struct &record);
};

// A failure: what kind of operation failed and why. The kinds are the raising wrapper's.
class TSdkErrorEventArgs : public TEventArgs {
public:
    TSdkErrorEventArgs(TSdkObject *sender, uint8_t kind, TSdkError error)
        : TEventArgs(sender), Kind(kind), Error(std::move(error)) {}

    uint8_t Kind = 0;
    TSdkError Error;
};

// A configuration connection's device.
class TTcpsDeviceEventArgs : public TEventArgs {
public:
    TTcpsDeviceEventArgs(TSdkObject *sender, std::string address, int32_t port)
        : TEventArgs(sender), Address(std::move(address)), Port(port) {}

    std::string Address;
    int32_t Port = 0;
};

// A closed configuration connection: its device and the state it was in before the close.
class TTcpsCloseEventArgs : public TTcpsDeviceEventArgs {
public:
    TTcpsCloseEventArgs(TSdkObject *sender, std::string address, int32_t port, uint8_t state)
        : TTcpsDeviceEventArgs(sender, std::move(address), port), State(state) {}

    uint8_t State = 0;
    int32_t Reserved = 0; // always 0
};

} // namespace kvgapi

#endif
