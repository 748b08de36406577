#pragma once

#include "SerialSettings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSerialPort>
#include <QString>
#include <QStringList>

#include <optional>

namespace pbx {

/*
 * Sends the sample call records to a local serial port, one per step, each behind the date and
 * time stamp and ended by CR LF, so that a device wired to the port by a null-modem cable
 * receives them as if an exchange had printed them. The caller paces the steps (see Pace.h).
 *
 * The index of the next record survives stop and start, so a new run goes on with the record
 * after the last one sent; the byte count starts again at 0 with every start.
 *
 * Thread: use an object from one thread only, which must run a QCoreApplication (the port
 * relies on Qt's event machinery). Every call returns within the write time-out.
 */
class PbxSender {
    Q_DECLARE_TR_FUNCTIONS(pbx::PbxSender)

public:
    enum class State { Closed, Opened, OpenFailed };

    explicit PbxSender(QStringList records = {});
    PbxSender(const PbxSender &) = delete;
    PbxSender &operator=(const PbxSender &) = delete;

    /* Replaces the record list; the next step wraps to the first record if the index is past the
     * end of the new list. */
    void setRecords(QStringList records);
    const QStringList &records() const { return m_records; }

    /*
     * Opens the port (a device path such as "/dev/ttyUSB0" or "/dev/pts/3", or a bare name that
     * QSerialPort resolves) for writing with the given settings, lowers DTR (and RTS unless the
     * RTS/CTS handshake drives it) and discards whatever is queued in both directions. A port
     * that was already open is closed first. Resets the byte count to 0 whether or not the open
     * works. Returns true when the port is open; on false, statusText() is
     * "Serial Port: Open failed", errorString() holds the system's reason and hint() a way out
     * when the reason was missing permission.
     */
    bool start(const QString &portName, const SerialSettings &settings);

    /* Closes the port (dropping any text still held back by flow control); the index and the
     * byte count stay. */
    void stop();

    bool isRunning() const { return m_port.isOpen(); }

    /*
     * One sending step while running: takes the next record (wrapping to the first after the
     * last), writes the stamp for `now`, the record and CR LF, and returns the text sent without
     * its CR LF. The write waits at most writeTimeout() ms; only the bytes that reach the port
     * are counted. While an earlier line is still held back by flow control, that line goes on
     * and the new one is not queued behind it, so lines arrive whole and nothing piles up; the
     * new text is returned all the same. Returns nothing, and changes nothing, when the list is
     * empty or the port is not open.
     */
    std::optional<QString> sendNext(const QDateTime &now = QDateTime::currentDateTime());

    /* Index of the record the next step sends (before wrapping). */
    qsizetype recordIndex() const { return m_recordIndex; }
    /* Bytes written to the port since the last start. */
    qint64 sentBytes() const { return m_sentBytes; }

    State state() const { return m_state; }
    /* "Serial Port: Closed", "Serial Port: Opened" or "Serial Port: Open failed". */
    QString statusText() const;
    /* "Sent: " followed by the byte count and " bytes". */
    QString sentText() const;
    /* The system's reason for the last failed open, empty after a good one. */
    QString errorString() const { return m_errorString; }
    /* A way out of the last failed open when permission was missing, otherwise empty. */
    QString hint() const { return m_hint; }

    /* How long one step may wait for the port to take its line, in milliseconds (default 3000;
     * values below 0 count as 0). */
    void setWriteTimeout(int milliseconds);
    int writeTimeout() const { return m_writeTimeoutMs; }

private:
    qint64 writeLine(const QByteArray &line);

    QStringList m_records;
    qsizetype m_recordIndex = 0;
    qint64 m_sentBytes = 0;
    // Bytes handed to the port and not yet counted as written: what flow control still holds.
    qint64 m_uncounted = 0;
    QSerialPort m_port;
    State m_state = State::Closed;
    QString m_errorString;
    QString m_hint;
    int m_writeTimeoutMs = 3000;
};

} // namespace pbx
