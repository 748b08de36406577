#include "TUdps.h"

#include "TMessageWindow.h"
#include "TUdpSearchForm.h"

#include <QThread>
#include <QWidget>
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

namespace kvgapi {

namespace {

// Messages of the hidden window, posted by the engine's callbacks.
enum : int {
    kMsgSearchDone = 1024,
    kMsgSetupDone = 1025,
    kMsgSearchFailed = 1026,
    kMsgSetupFailed = 1027
};

// Class-wide state. The engine calls back while it holds its own lock, so the callbacks take only
// g_lock and nothing that holds g_lock calls into the engine; the engine is started under g_life.
// The engine is never ended: its worker lives until the process ends.
std::mutex g_life;                        // guards g_instances and the engine's start
int g_instances = 0;                      // live TUdpsCustom objects
std::recursive_mutex g_lock;              // guards g_window; taken by callbacks
std::unique_ptr<TMessageWindow> g_window; // the hidden window of the TUdps objects

// The engine's callbacks: on its worker thread, holding the engine's lock, so an instance that
// has called kvudps_clr_ptr (its destructor does) can no longer be reached through them.
void cb_search_done(void *context) {
    if (context == nullptr)
        return;
    auto *self = static_cast<TUdpsCustom *>(context);
    self->SearchCompleted();
}

void cb_setup_done(void *context) {
    if (context != nullptr)
        static_cast<TUdpsCustom *>(context)->SetupCompleted();
}

void cb_search_error(void *context, kv_error_struct *error) {
    if (context != nullptr)
        static_cast<TUdpsCustom *>(context)->SearchFailed(error);
}

void cb_setup_error(void *context, kv_error_struct *error) {
    if (context != nullptr)
        static_cast<TUdpsCustom *>(context)->SetupFailed(error);
}

// Copies a text into an engine field, cut to `limit` characters and always terminated.
template <size_t N>
void put_text(char (&field)[N], const std::string &text, size_t limit) {
    size_t n = std::min({text.size(), limit, N - 1});
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

template <size_t N>
std::string text_of(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

kv_error_struct engine_error() {
    kv_error_struct record{};
    kvudps_error(&record);
    return record;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TUdpsCustom
// ---------------------------------------------------------------------------------------------

TUdpsCustom::TUdpsCustom(QObject *owner) : TSdkObject(owner) {
    const std::lock_guard<std::mutex> life(g_life);
    if (g_instances == 0) {
        kvudps_init();
        kvudps_callback_struct table;
        kvudps_clr_callback_struct(&table);
        table.on_search_done = cb_search_done;
        table.on_setup_done = cb_setup_done;
        table.on_search_error = cb_search_error;
        table.on_setup_error = cb_setup_error;
        kvudps_callback(&table);
    }
    ++g_instances;
}

TUdpsCustom::~TUdpsCustom() {
    // Takes the engine's lock: once it returns, no callback runs with this object.
    kvudps_clr_ptr(this);
    const std::lock_guard<std::mutex> life(g_life);
    --g_instances;
}

void TUdpsCustom::FetchRecords() {
    int32_t count = 0;
    kvudps_module_struct *record = nullptr;
    while (count < kMaxRecords && kvudps_record(&record) == 0)
        m_records[static_cast<size_t>(count++)] = record;
    m_count = count;
}

void TUdpsCustom::SearchCompleted() {
    FetchRecords();
    m_pending = NonePending;
}

void TUdpsCustom::SetupCompleted() {
    m_pending = NonePending;
}

void TUdpsCustom::SearchFailed(const kv_error_struct *) {
    m_pending = NonePending;
}

void TUdpsCustom::SetupFailed(const kv_error_struct *) {
    m_pending = NonePending;
}

// Pending is set before the engine takes the request and cleared again when it refuses, so a
// request that ends at once cannot leave it set behind its completion.
int TUdpsCustom::Search() {
    uint8_t none = NonePending;
    if (!m_pending.compare_exchange_strong(none, SearchPending))
        return -2;
    if (kvudps_search(m_names, this) != 0) {
        m_pending = NonePending;
        return -1;
    }
    return 0;
}

int TUdpsCustom::Setup(int index, const TUdpsDevice &info) {
    if (m_pending.load() != NonePending)
        return -2;
    if (index < 0 || index >= m_count)
        return -3;
    // The engine's own record changes: the setup request carries the new settings.
    kvudps_module_struct *record = m_records[static_cast<size_t>(index)];
    put_text(record->name, info.name, KVUDPS_NAME_SIZE - 1);
    put_text(record->ip, info.ip, 15);
    record->port = static_cast<uint16_t>(info.port);
    put_text(record->mask, info.mask, 15);
    put_text(record->addr5, info.addr5, 15);
    put_text(record->addr3, info.addr3, 15);
    put_text(record->addr4, info.addr4, 15);
    record->mode_bit1 = static_cast<uint8_t>(info.mode_bit1);
    record->mode_bit2 = static_cast<uint8_t>(info.mode_bit2);
    record->mode_bit0 = static_cast<uint8_t>(info.mode_bit0);
    record->mode_bit4 = static_cast<uint8_t>(info.mode_bit4);
    m_pending = SetupPending;
    if (kvudps_setup(record, m_names, this) != 0) {
        m_pending = NonePending;
        return -1;
    }
    return 0;
}

int TUdpsCustom::SetupWithKeys(int index, const TUdpsDevice &info, uint32_t k0, uint32_t k1,
                               uint32_t k2, uint32_t k3) {
    kvudps_set_setup_tea_keys(k0, k1, k2, k3);
    return Setup(index, info);
}

int TUdpsCustom::SetupCommand(int index) {
    if (m_pending.load() != NonePending)
        return -2;
    if (index < 0 || index >= m_count)
        return -3;
    kvudps_module_struct *record = m_records[static_cast<size_t>(index)];
    record->mode_bit5 = 1; // for this one setup only: the engine copies the record at once
    m_pending = SetupPending;
    const int result = kvudps_setup(record, m_names, this);
    record->mode_bit5 = 0;
    if (result != 0) {
        m_pending = NonePending;
        return -1;
    }
    return 0;
}

int TUdpsCustom::Count() const {
    if (m_pending.load() != NonePending)
        return -2;
    return m_count;
}

int TUdpsCustom::GetDeviceInfo(int index, TUdpsDevice &info) const {
    if (m_pending.load() != NonePending)
        return -2;
    if (index < 0 || index >= m_count)
        return -3;
    const kvudps_module_struct &r = *m_records[static_cast<size_t>(index)];
    info.name = text_of(r.name);
    info.mac = text_of(r.mac);
    info.ip = text_of(r.ip);
    info.port = r.port;
    info.mask = text_of(r.mask);
    info.addr5 = text_of(r.addr5);
    info.addr3 = text_of(r.addr3);
    info.addr4 = text_of(r.addr4);
    info.mode_bit1 = r.mode_bit1;
    info.mode_bit2 = r.mode_bit2;
    info.mode_bit0 = r.mode_bit0;
    info.mode_bit4 = r.mode_bit4;
    info.mode_bit3 = r.mode_bit3;
    info.type_name = text_of(r.type_name);
    info.type = r.type;
    info.firmware = text_of(r.firmware);
    info.port2 = r.port2;
    info.feature_value = r.feature_value;
    info.feature0 = r.feature0;
    info.feature1 = r.feature1;
    info.feature2 = r.feature2;
    info.feature3 = r.feature3;
    info.feature4 = r.feature4;
    info.feature5 = r.feature5;
    info.has_name = r.has_name;
    return 0;
}

int TUdpsCustom::SetTargets(const std::string &targets) {
    return kvudps_set_targets(targets.c_str());
}

void TUdpsCustom::SetSearchKey(uint32_t k0, uint32_t k1, uint32_t k2, uint32_t k3) {
    kvudps_set_tea_keys(k0, k1, k2, k3);
}

int TUdpsCustom::SetTiming(int quiet_ms, int setup_pause_ms) {
    return kvudps_set_timing(quiet_ms, setup_pause_ms);
}

// ---------------------------------------------------------------------------------------------
// TUdps
// ---------------------------------------------------------------------------------------------

namespace {

void window_procedure(int message, void *target, const kv_error_struct *error) {
    auto *self = static_cast<TUdps *>(target);
    self->HandleMessage(message, error);
}

void post(TUdps *self, int message, const kv_error_struct *error = nullptr) {
    const std::lock_guard<std::recursive_mutex> guard(g_lock);
    if (g_window)
        g_window->Post(message, self, error);
}

} // namespace

TUdps::TUdps(QObject *owner) : TUdpsCustom(owner) {
    const std::lock_guard<std::recursive_mutex> guard(g_lock);
    if (!g_window)
        g_window = std::make_unique<TMessageWindow>(window_procedure);
    g_window->Attach(this);
}

TUdps::~TUdps() {
    kvudps_clr_ptr(this); // no callback posts for this object from now on
    const std::lock_guard<std::mutex> life(g_life);
    const std::lock_guard<std::recursive_mutex> guard(g_lock);
    if (g_window) {
        g_window->Detach(this);
        if (g_instances == 1)
            g_window.reset();
    }
}

void TUdps::HandleMessage(int message, const kv_error_struct *error) {
    const kv_error_struct empty{};
    TSdkSimpleEventArgs simple(this);
    switch (message) {
    case kMsgSearchDone:
        QThread::msleep(static_cast<unsigned long>(m_done_pause_ms));
        OnSearchDone.Raise(simple);
        break;
    case kMsgSetupDone:
        QThread::msleep(static_cast<unsigned long>(m_done_pause_ms));
        OnSetupDone.Raise(simple);
        break;
    case kMsgSearchFailed:
    case kMsgSetupFailed: {
        TSdkErrorEventArgs args(this, message == kMsgSearchFailed ? ErrSearch : ErrSetup,
                                TSdkError::FromRecord(error != nullptr ? *error : empty));
        OnError.Raise(args);
        break;
    }
    default:
        break;
    }
}

void TUdps::SearchCompleted() {
    TUdpsCustom::SearchCompleted();
    post(this, kMsgSearchDone);
}

void TUdps::SetupCompleted() {
    TUdpsCustom::SetupCompleted();
    post(this, kMsgSetupDone);
}

void TUdps::SearchFailed(const kv_error_struct *error) {
    TUdpsCustom::SearchFailed(error);
    post(this, kMsgSearchFailed, error);
}

void TUdps::SetupFailed(const kv_error_struct *error) {
    TUdpsCustom::SetupFailed(error);
    post(this, kMsgSetupFailed, error);
}

namespace {
// Raises the started event, or OnError of `kind` with the engine's record, after a request.
int started(TUdps *self, int result, uint8_t kind, TEvent<TSdkSimpleEventArgs> &event) {
    if (result == -1) {
        TSdkErrorEventArgs args(self, kind, TSdkError::FromRecord(engine_error()));
        self->OnError.Raise(args);
    } else if (result == 0) {
        TSdkSimpleEventArgs args(self);
        event.Raise(args);
    }
    return result;
}
} // namespace

int TUdps::Search() {
    return started(this, TUdpsCustom::Search(), ErrSearch, OnSearchStarted);
}

int TUdps::Setup(int index, const TUdpsDevice &info) {
    return started(this, TUdpsCustom::Setup(index, info), ErrSetup, OnSetupStarted);
}

int TUdps::SetupCommand(int index) {
    return started(this, TUdpsCustom::SetupCommand(index), ErrSetup, OnSetupStarted);
}

int TUdps::OpenSearchDialog(int &index) {
    // Only the Quillons are listed; each entry keeps its record index, which can differ from
    // its list position when devices of other types were left out.
    TUdpSearchForm dialog(qobject_cast<QWidget *>(Owner()));
    TUdpsDevice info;
    const int count = Count();
    for (int i = 0; i < count; ++i) {
        if (GetDeviceInfo(i, info) == 0 && info.type == kQuillonType)
            dialog.AddDevice(
                std::make_unique<TDeviceObject>(i, QString::fromStdString(info.ip), info.port,
                                                QString::fromStdString(info.type_name)));
    }
    const int result = m_dialog_runner ? m_dialog_runner(dialog) : dialog.exec();
    if (result == QDialog::Accepted && dialog.SelectedIndex() != -1) {
        index = dialog.SelectedIndex();
        return 1;
    }
    return 0;
}

} // namespace kvgapi
