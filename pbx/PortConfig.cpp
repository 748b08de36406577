#include "PortConfig.h"

namespace pbx {

namespace {

QSerialPort::Parity parityFor(int item) {
    switch (item) {
    case 1:
        return QSerialPort::OddParity;
    case 2:
        return QSerialPort::EvenParity;
    case 3:
        return QSerialPort::MarkParity;
    case 4:
        return QSerialPort::SpaceParity;
    default:
        return QSerialPort::NoParity;
    }
}

QSerialPort::FlowControl flowControlFor(int item) {
    // Each name means what it says: RTS/CTS is the hardware handshake, Xon/Xoff the software one.
    switch (item) {
    case kHandshakeRtsCts:
        return QSerialPort::HardwareControl;
    case kHandshakeXonXoff:
        return QSerialPort::SoftwareControl;
    default:
        return QSerialPort::NoFlowControl;
    }
}

} // namespace

PortConfig portConfigFor(const SerialSettings &settings) {
    PortConfig config;
    config.baudRate = baudRateForIndex(settings.speed);
    config.dataBits = settings.databits == 0 ? QSerialPort::Data7 : QSerialPort::Data8;
    config.parity = parityFor(settings.parity);
    config.stopBits = settings.stopbits == 1 ? QSerialPort::TwoStop : QSerialPort::OneStop;
    config.flowControl = flowControlFor(settings.handshake);
    return config;
}

} // namespace pbx
