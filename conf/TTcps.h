// The configuration wrapper: one connection slot of the configuration library, driven from the
// GUI thread, whose library callbacks come back as events on that thread.
#ifndef KVGAPI_TTCPS_H
#define KVGAPI_TTCPS_H

#include "TEventCustom.h"
#include "TSdkObject.h"
#include "kvquiet_conf.h"
#include "tcps_config.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace kvgapi {

// The connection and its operations. Results: 0 success, -1 library failure (the slot's error
// record says why), -2 refused in the present state, -3 a key text of the wrong form.
class TTcpsCustom : public TSdkObject {
public:
    // States of the connection.
    enum : uint8_t { Closed = 0, Idle = 1, Reading = 2, Writing = 3, Commanding = 4 };

    explicit TTcpsCustom(QObject *owner);
    ~TTcpsCustom() override;

    // The library's callbacks, called on its worker threads. In this class `connected` does
    // nothing and the other seven set the state back to Idle.
    virtual void connected(int32_t slot);
    virtual void connect_failed(int32_t slot, const kv_error_struct *error);
    virtual void read_done(int32_t slot, const kvquiet_conf_struct *configuration);
    virtual void read_failed(int32_t slot, const kv_error_struct *error);
    virtual void write_done(int32_t slot);
    virtual void write_failed(int32_t slot, const kv_error_struct *error);
    virtual void command_done(int32_t slot);
    virtual void command_failed(int32_t slot, const kv_error_struct *error);

    virtual int Open();
    virtual int Close();
    virtual int Read();
    // Writes `config`; with `final` non-zero the command "R\r" follows the configuration.
    virtual int Write(const TTcpsConfig &config, int final);
    // Sends "R\r" (the device resets).
    virtual int SendCmd();

    // Fetches the record last read, converted. -2 when closed, -1 when the slot has none.
    int ReadCache(TTcpsConfig &config);

    // Connection settings, taken at the next Open.
    std::string Address() const { return m_address; }
    void SetAddress(const std::string &address) { m_address = address; }
    int32_t Port() const { return m_port; }
    void SetPort(int32_t port) { m_port = port; }
    int32_t Tea() const { return m_tea; }
    void SetTea(int32_t tea) { m_tea = tea; }
    std::string Key() const { return m_key; }
    void SetKey(const std::string &key) { m_key = key; }
    // The silence that ends a receive step (library default 1000 ms); lower on a quick LAN.
    int32_t QuietMs() const { return m_quiet_ms; }
    void SetQuietMs(int32_t quiet_ms) { m_quiet_ms = quiet_ms; }
    // Attempts of one second to wait for the connection (library default 5), and seconds to
    // wait for each reply (library default 10); lower them where a dead device should be
    // given up on sooner.
    int32_t ConnectWait() const { return m_connect_wait; }
    void SetConnectWait(int32_t attempts) { m_connect_wait = attempts; }
    int32_t ReplyWait() const { return m_reply_wait; }
    void SetReplyWait(int32_t seconds) { m_reply_wait = seconds; }

    uint8_t State() const { return m_state.load(); }
    int32_t Slot() const { return m_slot.load(); }

protected:
    std::atomic<int32_t> m_slot{-1};
    std::atomic<uint8_t> m_state{Closed}; // written by the GUI thread and the library's workers

private:
    std::string m_address = "192.168.1.42";
    int32_t m_port = 99;
    int32_t m_tea = 0;
    std::string m_key = kDefaultKeyText;
    int32_t m_quiet_ms = 1000;
    int32_t m_connect_wait = 5;
    int32_t m_reply_wait = 10;
};

// The connection with events, raised on the GUI thread: OnOpened and OnStarted from inside the
// call that caused them, the others when the library reports.
class TTcps : public TTcpsCustom {
public:
    // Error kinds of OnError.
    enum : uint8_t {
        ErrOpen = 0,
        ErrClose = 1,
        ErrConnect = 2,
        ErrRead = 3,
        ErrWrite = 4,
        ErrCommand = 5
    };

    explicit TTcps(QObject *owner);
    ~TTcps() override;

    TEvent<TSdkSimpleEventArgs> OnOpened;
    TEvent<TSdkSimpleEventArgs> OnStarted;
    TEvent<TSdkSimpleEventArgs> OnReadConnected;
    TEvent<TSdkSimpleEventArgs> OnReadDone;
    TEvent<TSdkSimpleEventArgs> OnWriteConnected;
    TEvent<TSdkSimpleEventArgs> OnWriteDone;
    TEvent<TSdkSimpleEventArgs> OnCommandDone;
    TEvent<TTcpsCloseEventArgs> OnClosed;
    TEvent<TSdkErrorEventArgs> OnError;

    void connected(int32_t slot) override;
    void connect_failed(int32_t slot, const kv_error_struct *error) override;
    void read_done(int32_t slot, const kvquiet_conf_struct *configuration) override;
    void read_failed(int32_t slot, const kv_error_struct *error) override;
    void write_done(int32_t slot) override;
    void write_failed(int32_t slot, const kv_error_struct *error) override;
    void command_done(int32_t slot) override;
    void command_failed(int32_t slot, const kv_error_struct *error) override;

    int Open() override;
    int Close() override;
    int Read() override;
    int Write(const TTcpsConfig &config, int final) override;
    int SendCmd() override;
};

} // namespace kvgapi

#endif
