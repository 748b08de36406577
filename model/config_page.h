// The configuration page's rules without the widgets: its item lists, the mapping between the
// selected items and a TTcpsConfig, the checks before a save, the firmware and mode tests and
// the texts of its messages. The desktop page and the command-line tool both call these, so the
// two can never disagree about what a choice means.
#ifndef QUILLON_MODEL_CONFIG_PAGE_H
#define QUILLON_MODEL_CONFIG_PAGE_H

#include "tcps_config.h"

#include <optional>
#include <string>
#include <vector>

namespace quillon {

// Item lists of the page's combos, placeholder (item 0) first.
const std::vector<std::string> &speed_items();
const std::vector<std::string> &databits_items();
const std::vector<std::string> &parity_items();
const std::vector<std::string> &stopbits_items();
const std::vector<std::string> &handshake_items();
const std::vector<std::string> &mode_items();
const std::vector<std::string> &frequency_items();

// The device's upload-frequency code of a frequency item (item 0 gives -1), and the item of a
// code (-1 when the code is not one of the ten).
int32_t frequency_code(int item);
int frequency_item_of_code(int32_t code);

// The page's texts.
inline constexpr const char *kIpPlaceholder = "<Insert IP address>";
inline constexpr const char *kPortDefault = "23";
inline constexpr const char *kNeedAddress = "Please, input IP addres.";
inline constexpr const char *kNeedMode = "Please, choose 'Mode' to save configuration.";
inline constexpr const char *kNeedFrequency =
    "Please, choose 'Upload Frequency' to save configuration.";
inline constexpr const char *kConnectErrorBox =
    "Connect error. Device is not available or it is busy!\r\n\r\nWarning: Device is able to "
    "accept only one connection simultaneously!\r\n\r\nPlease, check if other connection is "
    "still established or reset device\r\nto close previous inactive connection. Then you can "
    "try it again.";
inline constexpr const char *kUnsupportedBox =
    "Device is not supported. Quillon FW 3.1.1 and higher is required!\r\n\r\nPlease, check your "
    "device and try it again.";

// The fixed fields every save writes and every read compares.
inline constexpr int32_t kFixedB = 42;
inline constexpr int32_t kFixedA1 = 255;
inline constexpr int32_t kFixedA2 = 255;
inline constexpr int32_t kFixedA3 = 131072;

// What the page's controls hold, as item indexes and texts. -1 is "no item selected".
struct ConfigPageState {
    int speed = 0;
    int databits = 0;
    int parity = 0;
    int stopbits = 0;
    int handshake = 0;
    int mode = 0;
    std::string server_ip;                  // the downloader-PC combo's text
    std::string server_port = kPortDefault; // the downloader-PC port edit's text
    int frequency = 0;

    bool operator==(const ConfigPageState &) const = default;
};

// True when the mode takes a downloader PC (items 2, 4 and 6): its controls are enabled.
bool mode_uses_downloader(int mode_item);

// The checks before a save, in order; the text of the first that fails, or nothing.
std::optional<std::string> check_save(const std::string &device_ip_text, int mode_item,
                                      int frequency_item);

// The record a save writes for the page's state (the four fixed fields included).
kvgapi::TTcpsConfig collect_settings(const ConfigPageState &page);

// What a read puts on the page: `current` is the page before the read (the frequency stays as
// it was for a device that reports none). `unsupported` is set for a device whose firmware is
// older than 3.1.1, told by an upload_period below 20.
struct ShownSettings {
    ConfigPageState page;
    bool unsupported = false;
};
ShownSettings show_settings(const kvgapi::TTcpsConfig &config, const ConfigPageState &current);

// The mode item a read record stands for (0 when it stands for none).
int mode_item_of(const kvgapi::TTcpsConfig &config);

// True when a device found by a search is in a configuration mode this program cannot use
// (mode_bit2 not 1, or mode_bit0 1), so the automatic fix is offered.
bool needs_mode_fix(int mode_bit0, int mode_bit2);

// The text of the fix prompt for a device at ip:port.
std::string fix_prompt(const std::string &ip, int port);

// Parses a whole decimal integer ("23", "-5"); nothing for any other text.
std::optional<int32_t> parse_int(const std::string &text);

// A frequency given by code ("273") or by item text ("1 Hour"); nothing when it is neither a
// listed code nor an item text.
std::optional<int32_t> parse_frequency(const std::string &text);

} // namespace quillon

#endif
