#include "SerialSettings.h"

#include <array>
#include <cstddef>

namespace pbx {

namespace {

constexpr std::array<int, kSpeedItems> kBaudRates = {300,  600,   1200,  2400,  4800,
                                                     9600, 19200, 38400, 57600, 115200};

// The emulation page's default items: 9600, 8, None, 1, None.
constexpr SerialSettings kDefaults{5, 1, 0, 0, 0};

// The emulation page's item for a configuration page index, or -1 when that page shows no real
// choice or one the emulation page cannot show.
int pageIndex(int configIndex, int pageItems) {
    const int index = configIndex - 1;
    return (index >= 0 && index < pageItems) ? index : -1;
}

int pageHandshake(int configIndex) {
    if (configIndex == kConfigHandshakeHeartbeat)
        return kHandshakeXonXoff;
    return pageIndex(configIndex, kHandshakeItems);
}

// The configuration page's choices mapped to the emulation page, -1 where there is none.
SerialSettings mapped(const ConfigPageSerial &config) {
    return SerialSettings{
        pageIndex(config.speed, kSpeedItems), pageIndex(config.databits, kDatabitsItems),
        pageIndex(config.parity, kParityItems), pageIndex(config.stopbits, kStopbitsItems),
        pageHandshake(config.handshake)};
}

int firstOf(int a, int b) {
    return a >= 0 ? a : b;
}

} // namespace

SerialSettings withFirstVisitDefaults(const SerialSettings &page, const ConfigPageSerial &config) {
    const SerialSettings fromConfig = mapped(config);
    return SerialSettings{
        firstOf(page.speed, firstOf(fromConfig.speed, kDefaults.speed)),
        firstOf(page.databits, firstOf(fromConfig.databits, kDefaults.databits)),
        firstOf(page.parity, firstOf(fromConfig.parity, kDefaults.parity)),
        firstOf(page.stopbits, firstOf(fromConfig.stopbits, kDefaults.stopbits)),
        firstOf(page.handshake, firstOf(fromConfig.handshake, kDefaults.handshake))};
}

SerialSettings loadedFromConfigPage(const SerialSettings &page, const ConfigPageSerial &config) {
    const SerialSettings fromConfig = mapped(config);
    return SerialSettings{
        firstOf(fromConfig.speed, page.speed), firstOf(fromConfig.databits, page.databits),
        firstOf(fromConfig.parity, page.parity), firstOf(fromConfig.stopbits, page.stopbits),
        firstOf(fromConfig.handshake, page.handshake)};
}

int baudRateForIndex(int speed) {
    if (speed < 0 || speed >= kSpeedItems)
        return 9600;
    return kBaudRates[static_cast<std::size_t>(speed)];
}

} // namespace pbx
