#include "TDemoDevices.h"

#include "TMainForm.h"
#include "sim_fleet.h"

#include <QHostAddress>
#include <QTcpServer>

namespace {

constexpr const char *kFirstAddress = "127.0.0.2";
constexpr uint8_t kQuillonType = 9;
constexpr uint8_t kOtherType = 7;
constexpr int kAttempts = 5;

// A port that is free on the first device's address now; the fleet then binds it on every
// device's address (and a start that loses a race for it is tried again).
uint16_t freePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress(QString::fromLatin1(kFirstAddress)), 0))
        return 0;
    return probe.serverPort();
}

} // namespace

TDemoDevices::TDemoDevices() = default;

TDemoDevices::~TDemoDevices() {
    Stop();
}

std::string TDemoDevices::Address(Device device) {
    return sim::Fleet::address_after(kFirstAddress, device);
}

bool TDemoDevices::Start() {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const uint16_t port = freePort();
        if (port != 0 && StartOnPort(port)) {
            m_confPort = port;
            return true;
        }
    }
    m_fleet.reset();
    if (m_error.isEmpty())
        m_error = QStringLiteral("The demo devices cannot be started on the loopback network.");
    return false;
}

bool TDemoDevices::StartOnPort(uint16_t port) {
    sim::FleetOptions fleetOptions;
    fleetOptions.discovery_port = 0;
    m_fleet = std::make_unique<sim::Fleet>(fleetOptions);
    for (size_t i = 0; i < Count; ++i) {
        sim::FleetDeviceOptions options = sim::Fleet::device_options(kFirstAddress, i);
        options.config_port = port;
        options.type = i == OtherType ? kOtherType : kQuillonType;
        options.name = "Demo " + std::to_string(i + 1);
        options.needs_fix = i == NeedsFix;
        if (i == OldFirmware) {
            // Firmware before 3.1.1 reports no upload frequency.
            options.no_frequency = true;
            options.fw_minor = 0;
            options.fw_patch = 9;
        }
        m_fleet->add(options);
    }
    if (m_fleet->start())
        return true;
    m_error = QString::fromStdString(m_fleet->last_error());
    m_fleet.reset();
    return false;
}

void TDemoDevices::Stop() {
    if (m_fleet)
        m_fleet->stop();
}

void TDemoDevices::Aim(TMainForm &form, const Timing &timing) {
    // Without devices there is nothing to aim at (and no destinations would mean a broadcast).
    if (!m_fleet)
        return;
    kvgapi::TUdpsCustom::SetTargets(m_fleet->targets());
    kvgapi::TUdpsCustom::SetTiming(timing.searchQuietMs, timing.setupPauseMs);
    form.Tcps()->SetPort(m_confPort);
    if (timing.confQuietMs > 0)
        form.Tcps()->SetQuietMs(timing.confQuietMs);
    form.SetDemo(true);
}
