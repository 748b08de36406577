#include "TTcps.h"

#include "TMessageWindow.h"

#include <memory>
#include <mutex>
#include <set>

namespace kvgapi {

namespace {

// Messages of the hidden window, posted by the library callbacks.
enum : int {
    kMsgReadDone = 1024,
    kMsgReadFailed = 1025,
    kMsgWriteDone = 1026,
    kMsgWriteFailed = 1027,
    kMsgConnected = 1028,
    kMsgConnectFailed = 1029,
    kMsgCommandDone = 1030,
    kMsgCommandFailed = 1031
};

// Class-wide state of the wrappers, under two locks. The library's workers call back while they
// hold a slot's lock, so the callbacks may take only g_lock, and nothing that holds g_lock calls
// into the library; starting and ending the library happen under g_life instead.
std::mutex g_life;                        // guards g_instances and the library's start and end
int g_instances = 0;                      // live TTcpsCustom objects
std::recursive_mutex g_lock;              // guards g_window and g_live; taken by callbacks
std::unique_ptr<TMessageWindow> g_window; // the hidden window of the TTcps objects
std::set<const TTcpsCustom *> g_live;     // instances that may still receive callbacks

void window_procedure(int message, void *target, const kv_error_struct *error);

// Runs `call` on the instance named by a callback's context, if it still lives.
template <typename Call>
void dispatch(void *context, Call call) {
    const std::lock_guard<std::recursive_mutex> guard(g_lock);
    auto *self = static_cast<TTcpsCustom *>(context);
    if (g_live.count(self) != 0)
        call(self);
}

// The library's callbacks, on its worker threads.
void cb_connect(int32_t slot, void *context) {
    dispatch(context, [&](TTcpsCustom *self) { self->connected(slot); });
}
void cb_connect_error(int32_t slot, void *context, const kv_error_struct *error) {
    dispatch(context, [&](TTcpsCustom *self) { self->connect_failed(slot, error); });
}
void cb_read(int32_t slot, void *context, const kvquiet_conf_struct *configuration) {
    dispatch(context, [&](TTcpsCustom *self) { self->read_done(slot, configuration); });
}
void cb_read_error(int32_t slot, void *context, const kv_error_struct *error) {
    dispatch(context, [&](TTcpsCustom *self) { self->read_failed(slot, error); });
}
void cb_write(int32_t slot, void *context) {
    dispatch(context, [&](TTcpsCustom *self) { self->write_done(slot); });
}
void cb_write_error(int32_t slot, void *context, const kv_error_struct *error) {
    dispatch(context, [&](TTcpsCustom *self) { self->write_failed(slot, error); });
}
void cb_cmd(int32_t slot, void *context) {
    dispatch(context, [&](TTcpsCustom *self) { self->command_done(slot); });
}
void cb_cmd_error(int32_t slot, void *context, const kv_error_struct *error) {
    dispatch(context, [&](TTcpsCustom *self) { self->command_failed(slot, error); });
}

// A refused challenge or a challenge where a greeting was due ends the operation under way:
// it is reported as that operation's failure, so no caller waits for an event that never comes.
void cb_tea_error(int32_t slot, void *context, const kv_error_struct *error) {
    dispatch(context, [&](TTcpsCustom *self) {
        switch (self->State()) {
        case TTcpsCustom::Reading:
            self->read_failed(slot, error);
            break;
        case TTcpsCustom::Writing:
            self->write_failed(slot, error);
            break;
        default:
            self->command_failed(slot, error);
            break;
        }
    });
}

kv_error_struct slot_error(int32_t slot) {
    kv_error_struct record{};
    kvquiet_conf_error(slot, &record);
    return record;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TTcpsCustom
// ---------------------------------------------------------------------------------------------

TTcpsCustom::TTcpsCustom(QObject *owner) : TSdkObject(owner) {
    {
        const std::lock_guard<std::mutex> life(g_life);
        if (g_instances == 0)
            kvquiet_conf_init();
        ++g_instances;
    }
    const std::lock_guard<std::recursive_mutex> guard(g_lock);
    g_live.insert(this);
}

TTcpsCustom::~TTcpsCustom() {
    // Only this class's Close runs here: a destructor does not dispatch to a derived class.
    if (m_state.load() != Closed)
        TTcpsCustom::Close();
    {
        // Waits for a callback of this object that runs now; none reaches it afterwards.
        const std::lock_guard<std::recursive_mutex> guard(g_lock);
        g_live.erase(this);
    }
    const std::lock_guard<std::mutex> life(g_life);
    if (--g_instances == 0)
        kvquiet_conf_uninit();
}

void TTcpsCustom::connected(int32_t) {}
void TTcpsCustom::connect_failed(int32_t, const kv_error_struct *) {
    m_state = Idle;
}
void TTcpsCustom::read_done(int32_t, const kvquiet_conf_struct *) {
    m_state = Idle;
}
void TTcpsCustom::read_failed(int32_t, const kv_error_struct *) {
    m_state = Idle;
}
void TTcpsCustom::write_done(int32_t) {
    m_state = Idle;
}
void TTcpsCustom::write_failed(int32_t, const kv_error_struct *) {
    m_state = Idle;
}
void TTcpsCustom::command_done(int32_t) {
    m_state = Idle;
}
void TTcpsCustom::command_failed(int32_t, const kv_error_struct *) {
    m_state = Idle;
}

int TTcpsCustom::Open() {
    kvquiet_conf_settings_struct settings;
    kvquiet_conf_clr_settings_struct(&settings);
    std::array<uint32_t, 4> key{};
    if (key_text_to_words(m_key, &key) != 0)
        return -3;
    settings.context = this;
    settings.tea = m_tea;
    settings.key[0] = key[0];
    settings.key[1] = key[1];
    settings.key[2] = key[2];
    settings.key[3] = key[3];
    settings.quiet_ms = m_quiet_ms;
    settings.connect_wait = m_connect_wait;
    settings.reply_wait = m_reply_wait;
    settings.on_connect = cb_connect;
    settings.on_connect_error = cb_connect_error;
    settings.on_read = cb_read;
    settings.on_read_error = cb_read_error;
    settings.on_write = cb_write;
    settings.on_write_error = cb_write_error;
    settings.on_cmd = cb_cmd;
    settings.on_cmd_error = cb_cmd_error;
    settings.on_tea_error = cb_tea_error;
    const int slot = kvquiet_conf_open(m_address.c_str(), m_port, &settings);
    if (slot < 1)
        return -1;
    m_slot = slot;
    m_state = Idle;
    return 0;
}

int TTcpsCustom::Close() {
    if (m_state.load() == Closed)
        return -2;
    if (m_slot.load() < 0)
        return 0;
    const int result = kvquiet_conf_close(m_slot.load());
    if (result == 0) {
        m_slot = -1;
        m_state = Closed;
    }
    return result;
}

// The state moves to the operation's before the library starts it, and back when the library
// refuses: a worker that ends at once then cannot leave the state behind at the operation's.
int TTcpsCustom::Read() {
    uint8_t idle = Idle;
    if (!m_state.compare_exchange_strong(idle, Reading))
        return -2;
    if (kvquiet_conf_read(m_slot.load()) != 0) {
        m_state = Idle;
        return -1;
    }
    return 0;
}

int TTcpsCustom::Write(const TTcpsConfig &config, int final) {
    uint8_t idle = Idle;
    if (!m_state.compare_exchange_strong(idle, Writing))
        return -2;
    kvquiet_conf_struct record;
    config_to_record(config, &record);
    if (kvquiet_conf_write(m_slot.load(), &record, final != 0 ? "R\r" : nullptr) != 0) {
        m_state = Idle;
        return -1;
    }
    return 0;
}

int TTcpsCustom::SendCmd() {
    uint8_t idle = Idle;
    if (!m_state.compare_exchange_strong(idle, Commanding))
        return -2;
    if (kvquiet_conf_send_cmd(m_slot.load(), "R\r") != 0) {
        m_state = Idle;
        return -1;
    }
    return 0;
}

int TTcpsCustom::ReadCache(TTcpsConfig &config) {
    if (m_state.load() == Closed)
        return -2;
    kvquiet_conf_struct record;
    if (kvquiet_conf_read_cache(m_slot.load(), &record) != 0)
        return -1;
    record_to_config(record, &config);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// TTcps
// ---------------------------------------------------------------------------------------------

namespace {

void window_procedure(int message, void *target, const kv_error_struct *error) {
    auto *self = static_cast<TTcps *>(target);
    const kv_error_struct empty{};
    const kv_error_struct &record = error != nullptr ? *error : empty;
    TSdkSimpleEventArgs simple(self);
    auto raise_error = [&](uint8_t kind) {
        TSdkErrorEventArgs args(self, kind, TSdkError::FromRecord(record));
        self->OnError.Raise(args);
    };
    switch (message) {
    case kMsgReadDone:
        self->OnReadDone.Raise(simple);
        break;
    case kMsgReadFailed:
        raise_error(TTcps::ErrRead);
        break;
    case kMsgWriteDone:
        self->OnWriteDone.Raise(simple);
        break;
    case kMsgWriteFailed:
        raise_error(TTcps::ErrWrite);
        break;
    case kMsgConnected:
        // Told by the state at the time the message is handled: an operation that has already
        // ended raises no connected event.
        if (self->State() == TTcpsCustom::Reading)
            self->OnReadConnected.Raise(simple);
        else if (self->State() == TTcpsCustom::Writing)
            self->OnWriteConnected.Raise(simple);
        break;
    case kMsgConnectFailed:
        raise_error(TTcps::ErrConnect);
        break;
    case kMsgCommandDone:
        self->OnCommandDone.Raise(simple);
        break;
    case kMsgCommandFailed:
        raise_error(TTcps::ErrCommand);
        break;
    default:
        break;
    }
}

void post(TTcps *self, int message, const kv_error_struct *error = nullptr) {
    const std::lock_guard<std::recursive_mutex> guard(g_lock);
    if (g_window)
        g_window->Post(message, self, error);
}

} // namespace

TTcps::TTcps(QObject *owner) : TTcpsCustom(owner) {
    const std::lock_guard<std::recursive_mutex> guard(g_lock);
    if (!g_window)
        g_window = std::make_unique<TMessageWindow>(window_procedure);
    g_window->Attach(this);
}

TTcps::~TTcps() {
    // The connection is closed by the base destructor; from here on no callback or message
    // reaches this object.
    const std::lock_guard<std::mutex> life(g_life);
    const std::lock_guard<std::recursive_mutex> guard(g_lock);
    g_live.erase(this); // no callback reaches this object from now on
    if (g_window) {
        g_window->Detach(this);
        if (g_instances == 1)
            g_window.reset();
    }
}

void TTcps::connected(int32_t slot) {
    TTcpsCustom::connected(slot);
    post(this, kMsgConnected);
}

void TTcps::connect_failed(int32_t slot, const kv_error_struct *error) {
    TTcpsCustom::connect_failed(slot, error);
    post(this, kMsgConnectFailed, error);
}

void TTcps::read_done(int32_t slot, const kvquiet_conf_struct *configuration) {
    TTcpsCustom::read_done(slot, configuration);
    post(this, kMsgReadDone);
}

void TTcps::read_failed(int32_t slot, const kv_error_struct *error) {
    TTcpsCustom::read_failed(slot, error);
    post(this, kMsgReadFailed, error);
}

void TTcps::write_done(int32_t slot) {
    TTcpsCustom::write_done(slot);
    post(this, kMsgWriteDone);
}

void TTcps::write_failed(int32_t slot, const kv_error_struct *error) {
    TTcpsCustom::write_failed(slot, error);
    post(this, kMsgWriteFailed, error);
}

void TTcps::command_done(int32_t slot) {
    TTcpsCustom::command_done(slot);
    post(this, kMsgCommandDone);
}

void TTcps::command_failed(int32_t slot, const kv_error_struct *error) {
    TTcpsCustom::command_failed(slot, error);
    post(this, kMsgCommandFailed, error);
}

int TTcps::Open() {
    const int result = TTcpsCustom::Open();
    if (result == -1) {
        TSdkErrorEventArgs args(this, ErrOpen, TSdkError::FromRecord(slot_error(0)));
        OnError.Raise(args);
    } else if (result == 0) {
        TSdkSimpleEventArgs args(this);
        OnOpened.Raise(args);
    }
    return result;
}

int TTcps::Close() {
    const uint8_t before = State();
    const int32_t slot = Slot();
    const int result = TTcpsCustom::Close();
    if (result == -1) {
        TSdkErrorEventArgs args(this, ErrClose, TSdkError::FromRecord(slot_error(slot)));
        OnError.Raise(args);
    } else if (result == 0) {
        TTcpsCloseEventArgs args(this, Address(), Port(), before);
        OnClosed.Raise(args);
    }
    return result;
}

namespace {
// Raises OnStarted, or OnError of `kind` with the slot's record, after an operation's start.
int started(TTcps *self, int result, uint8_t kind) {
    if (result == -1) {
        TSdkErrorEventArgs args(self, kind, TSdkError::FromRecord(slot_error(self->Slot())));
        self->OnError.Raise(args);
    } else if (result == 0) {
        TSdkSimpleEventArgs args(self);
        self->OnStarted.Raise(args);
    }
    return result;
}
} // namespace

int TTcps::Read() {
    return started(this, TTcpsCustom::Read(), ErrRead);
}

int TTcps::Write(const TTcpsConfig &config, int final) {
    return started(this, TTcpsCustom::Write(config, final), ErrWrite);
}

int TTcps::SendCmd() {
    return started(this, TTcpsCustom::SendCmd(), ErrCommand);
}

} // namespace kvgapi
