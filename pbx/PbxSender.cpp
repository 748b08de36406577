#include "PbxSender.h"

#include "PortAccessHint.h"
#include "PortConfig.h"
#include "TimeStamp.h"

#include <QDeadlineTimer>

#include <utility>

namespace pbx {

PbxSender::PbxSender(QStringList records) : m_records(std::move(records)) {}

void PbxSender::setRecords(QStringList records) {
    m_records = std::move(records);
}

bool PbxSender::start(const QString &portName, const SerialSettings &settings) {
    if (m_port.isOpen())
        stop();
    m_sentBytes = 0;
    m_uncounted = 0;
    m_errorString.clear();
    m_hint.clear();

    const PortConfig config = portConfigFor(settings);
    m_port.setPortName(portName);
    m_port.setBaudRate(config.baudRate);
    m_port.setDataBits(config.dataBits);
    m_port.setParity(config.parity);
    m_port.setStopBits(config.stopBits);
    m_port.setFlowControl(config.flowControl);
    m_port.clearError();

    if (portName.isEmpty() || !m_port.open(QIODevice::WriteOnly)) {
        m_state = State::OpenFailed;
        m_errorString = portName.isEmpty() ? tr("No port name given") : m_port.errorString();
        if (m_port.error() == QSerialPort::PermissionError)
            m_hint = permissionHint(serialDevicePath(portName));
        return false;
    }

    // The modem lines stay low unless the handshake drives RTS. Pseudo-terminals and some
    // adapters have no modem lines and refuse these calls; a port that opens still counts as
    // opened, so their errors are dropped.
    if (config.flowControl != QSerialPort::HardwareControl)
        m_port.setRequestToSend(false);
    m_port.setDataTerminalReady(false);
    m_port.clear(QSerialPort::AllDirections);
    m_port.clearError();
    m_state = State::Opened;
    return true;
}

void PbxSender::stop() {
    m_port.close();
    m_uncounted = 0;
    m_state = State::Closed;
}

std::optional<QString> PbxSender::sendNext(const QDateTime &now) {
    if (m_records.isEmpty() || !m_port.isOpen())
        return std::nullopt;
    if (m_recordIndex < 0 || m_recordIndex >= m_records.size())
        m_recordIndex = 0;
    const QString text = timeStampPrefix(now) + m_records.at(m_recordIndex);
    ++m_recordIndex;
    m_sentBytes += writeLine(text.toLatin1() + "\r\n");
    return text;
}

qint64 PbxSender::writeLine(const QByteArray &line) {
    // Bytes still in the port's queue belong to an earlier line that flow control held back.
    // Queuing behind them would let lines pile up without bound while the far end says stop, so
    // the earlier line is finished first and this one is left out.
    if (m_port.bytesToWrite() == 0) {
        const qint64 accepted = m_port.write(line);
        if (accepted > 0)
            m_uncounted += accepted;
    }

    // A write held back by flow control must not hold the caller for ever: wait a bounded time
    // (at least one try, even with a time-out of 0) and count what went out.
    const QDeadlineTimer deadline(m_writeTimeoutMs);
    while (m_port.bytesToWrite() > 0) {
        const auto wait = static_cast<int>(deadline.remainingTime());
        if (!m_port.waitForBytesWritten(wait) || deadline.hasExpired())
            break;
    }

    // The queue may also have shrunk between steps, when the event loop wrote for the port.
    const qint64 left = m_port.bytesToWrite();
    const qint64 written = m_uncounted - left;
    m_uncounted = left;
    return written;
}

QString PbxSender::statusText() const {
    switch (m_state) {
    case State::Opened:
        return tr("Serial Port: Opened");
    case State::OpenFailed:
        return tr("Serial Port: Open failed");
    case State::Closed:
        break;
    }
    return tr("Serial Port: Closed");
}

QString PbxSender::sentText() const {
    return tr("Sent: %1 bytes").arg(m_sentBytes);
}

void PbxSender::setWriteTimeout(int milliseconds) {
    m_writeTimeoutMs = qMax(milliseconds, 0);
}

} // namespace pbx
