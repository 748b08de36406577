#pragma once

namespace pbx {

/*
 * The five serial choices of the emulation page, as item indexes of its combos; -1 means no item
 * is chosen. The page's lists have no placeholder item:
 *   speed      0-9: 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200 bit/s
 *   databits   0: 7, 1: 8
 *   parity     0: None, 1: Odd, 2: Even, 3: Mark, 4: Space
 *   stopbits   0: 1, 1: 2
 *   handshake  0: None, 1: RTS/CTS, 2: Xon/Xoff
 * Plain C++ so that the desktop page, the command line and the tests share it without Qt.
 */
struct SerialSettings {
    int speed = -1;
    int databits = -1;
    int parity = -1;
    int stopbits = -1;
    int handshake = -1;

    bool operator==(const SerialSettings &) const = default;
};

/*
 * The same five choices as item indexes of the configuration page's combos. There item 0 is a
 * placeholder ("<Choose baudrate>" and so on) meaning no choice, so a real choice is one above 0
 * and stands for the emulation page's item index - 1. The handshake list has a fourth choice,
 * 4 "Xon/Xoff Heartbeat", which the emulation page offers as "Xon/Xoff".
 */
struct ConfigPageSerial {
    int speed = -1;
    int databits = -1;
    int parity = -1;
    int stopbits = -1;
    int handshake = -1;
};

/* Number of items in each list of the emulation page. */
inline constexpr int kSpeedItems = 10;
inline constexpr int kDatabitsItems = 2;
inline constexpr int kParityItems = 5;
inline constexpr int kStopbitsItems = 2;
inline constexpr int kHandshakeItems = 3;

/* Handshake items of the emulation page. */
inline constexpr int kHandshakeNone = 0;
inline constexpr int kHandshakeRtsCts = 1;
inline constexpr int kHandshakeXonXoff = 2;

/* The configuration page's handshake item "Xon/Xoff Heartbeat". */
inline constexpr int kConfigHandshakeHeartbeat = 4;

/*
 * The choices on the first visit of the emulation page: every setting that has no item chosen
 * yet takes the configuration page's real choice (index - 1, heartbeat as Xon/Xoff) or, when that
 * page shows none, the default 9600 / 8 / None / 1 / None. Settings already chosen are returned
 * unchanged, so later choices of the user survive page changes. A configuration index beyond the
 * emulation page's list counts as no choice.
 */
SerialSettings withFirstVisitDefaults(const SerialSettings &page, const ConfigPageSerial &config);

/*
 * The choices after "Load from QLN Configurator": every setting for which the configuration page
 * shows a real choice takes it (index - 1, heartbeat as Xon/Xoff), replacing what was chosen; the
 * others stay as they are (no defaults here). A configuration index beyond the emulation page's
 * list counts as no choice.
 */
SerialSettings loadedFromConfigPage(const SerialSettings &page, const ConfigPageSerial &config);

/* The bit rate of a speed item; no item (or one outside the list) gives 9600. */
int baudRateForIndex(int speed);

} // namespace pbx
