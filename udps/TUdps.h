// The search wrapper: the discovery engine driven from the GUI thread, whose callbacks come
// back as events on that thread, and the device list dialog.
#ifndef KVGAPI_TUDPS_H
#define KVGAPI_TUDPS_H

#include "TEventCustom.h"
#include "TSdkObject.h"
#include "kvudps.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace kvgapi {

class TUdpSearchForm;

// One found device as the main window sees it.
struct TUdpsDevice {
    std::string name;      // written back by Setup, at most 99 characters
    std::string mac;       //
    std::string ip;        // written back, at most 15 characters
    int32_t port = 0;      // written back
    std::string mask;      // written back, at most 15 characters
    std::string addr5;     // written back, at most 15 characters
    std::string addr3;     // written back, at most 15 characters
    std::string addr4;     // written back, at most 15 characters
    int32_t mode_bit1 = 0; // written back
    int32_t mode_bit2 = 0; // written back
    int32_t mode_bit0 = 0; // written back
    int32_t mode_bit4 = 0; // written back
    int32_t mode_bit3 = 0;
    std::string type_name;
    int32_t type = 0;
    std::string firmware;
    int32_t port2 = 0;
    int32_t feature_value = 0;
    int32_t feature0 = 0;
    int32_t feature1 = 0;
    int32_t feature2 = 0;
    int32_t feature3 = 0;
    int32_t feature4 = 0;
    int32_t feature5 = 0;
    int32_t has_name = 0;
};

// The engine binding. Results: 0 accepted, -1 the engine refused (its error record says why),
// -2 an operation of this wrapper is pending, -3 an index outside 0 to Count() - 1.
class TUdpsCustom : public TSdkObject {
public:
    enum : uint8_t { NonePending = 0, SearchPending = 1, SetupPending = 2 };
    static constexpr int kMaxRecords = 256;

    explicit TUdpsCustom(QObject *owner);
    ~TUdpsCustom() override;

    // Completion operations, called on the engine's worker thread.
    virtual void SearchCompleted();
    virtual void SetupCompleted();
    virtual void SearchFailed(const kv_error_struct *error);
    virtual void SetupFailed(const kv_error_struct *error);

    virtual int Search();
    virtual int Setup(int index, const TUdpsDevice &info);
    virtual int SetupWithKeys(int index, const TUdpsDevice &info, uint32_t k0, uint32_t k1,
                              uint32_t k2, uint32_t k3);
    virtual int SetupCommand(int index);

    // -2 while an operation is pending, else the number of found devices.
    int Count() const;
    // -2 while pending, -3 for an index outside the list, else 0 with `info` filled.
    int GetDeviceInfo(int index, TUdpsDevice &info) const;

    uint8_t Pending() const { return m_pending.load(); }

    // Where the datagrams go ("ADDR:PORT[,ADDR:PORT...]"; empty: the limited broadcast on
    // port 9999), and the search key. They apply to the one engine of the process. -1 for a
    // text that does not parse.
    static int SetTargets(const std::string &targets);
    static void SetSearchKey(uint32_t k0, uint32_t k1, uint32_t k2, uint32_t k3);
    // The quiet window that ends a search and the pause after a setup (0: the defaults).
    static int SetTiming(int quiet_ms, int setup_pause_ms);

protected:
    // Copies the engine's record pointers after a search (worker thread).
    void FetchRecords();

    std::atomic<uint8_t> m_pending{NonePending}; // written by the GUI thread and the worker
    int32_t m_count = 0;                         // written by the worker before completion
    std::array<kvudps_module_struct *, kMaxRecords> m_records{};
    int32_t m_names = 1;
};

// The search wrapper with events, raised on the GUI thread.
class TUdps : public TUdpsCustom {
public:
    // Error kinds of OnError.
    enum : uint8_t { ErrSearch = 0, ErrSetup = 1 };
    // The device type of the Quillon, the only type the device list shows.
    static constexpr int32_t kQuillonType = 9;

    explicit TUdps(QObject *owner);
    ~TUdps() override;

    TEvent<TSdkSimpleEventArgs> OnSearchStarted;
    TEvent<TSdkSimpleEventArgs> OnSearchDone;
    TEvent<TSdkSimpleEventArgs> OnSetupStarted;
    TEvent<TSdkSimpleEventArgs> OnSetupDone;
    TEvent<TSdkErrorEventArgs> OnError;

    void SearchCompleted() override;
    void SetupCompleted() override;
    void SearchFailed(const kv_error_struct *error) override;
    void SetupFailed(const kv_error_struct *error) override;

    int Search() override;
    int Setup(int index, const TUdpsDevice &info) override;
    int SetupCommand(int index) override;

    // Lists the found Quillons (type 9) in the device list dialog and runs it. Returns 1 and
    // sets `index` (a record index) when the user chose a device, else 0.
    int OpenSearchDialog(int &index);

    // How OpenSearchDialog runs the filled dialog: modally by default (its exec() result).
    // Tests put their own runner here to read and answer the dialog without blocking.
    using DialogRunner = std::function<int(TUdpSearchForm &dialog)>;
    void SetDialogRunner(DialogRunner runner) { m_dialog_runner = std::move(runner); }

    // Raises the event of one message of the hidden window; called on the GUI thread.
    void HandleMessage(int message, const kv_error_struct *error);

    // The pause before OnSearchDone and OnSetupDone (200 ms), lower in tests.
    void SetDonePauseMs(int ms) { m_done_pause_ms = ms; }

private:
    int m_done_pause_ms = 200;
    DialogRunner m_dialog_runner;
};

} // namespace kvgapi

#endif
