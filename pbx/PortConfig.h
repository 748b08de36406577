#pragma once

#include "SerialSettings.h"

#include <QSerialPort>

namespace pbx {

/* The line settings a port is opened with, in QSerialPort's terms. */
struct PortConfig {
    qint32 baudRate = 9600;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QSerialPort::FlowControl flowControl = QSerialPort::NoFlowControl;

    bool operator==(const PortConfig &) const = default;
};

/*
 * Turns the page's choices into line settings. No item (or one outside its list) keeps the
 * default of 9600 bit/s, 8 data bits, no parity, one stop bit and no flow control. The handshake
 * "RTS/CTS" switches on hardware flow control and "Xon/Xoff" software flow control.
 */
PortConfig portConfigFor(const SerialSettings &settings);

} // namespace pbx
