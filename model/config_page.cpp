#include "config_page.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace quillon {

namespace {

// One row of the transfer-mode table.
struct ModeRow {
    int32_t transfer_nvt;
    int32_t transfer_kind;
    bool server; // a SERVER mode writes "0.0.0.0" and no port; a C/S mode takes the page's
};

constexpr std::array<ModeRow, 7> kModes = {{
    {-1, -1, false}, // item 0: no mode
    {1, 2, true},    // 1: QLN-REPBUF-SERVER
    {1, 2, false},   // 2: QLN-REPBUF-C/S
    {0, 1, true},    // 3: QLN-RAW-SERVER
    {0, 1, false},   // 4: QLN-RAW-C/S
    {1, 1, true},    // 5: QLN-NVT-SERVER
    {1, 1, false},   // 6: QLN-NVT-C/S
}};

// The device's own frequency units; 2 hours is 536, not 546.
constexpr std::array<int32_t, 11> kFrequencyCodes = {-1,  23,  46,   68,   136, 273,
                                                     536, 819, 1637, 3274, 6549};

constexpr const char *kServerAddress = "0.0.0.0";

// An item index taken back from a combo: positions 1.. stand for 0..; the placeholder and
// "nothing selected" are both "not set".
int32_t offset_of_item(int item) {
    return item >= 1 ? item - 1 : -1;
}

// The item that shows an offset field, or -1 (no selection) when it is outside the list.
int item_of_offset(int32_t value, size_t item_count) {
    const int64_t item = static_cast<int64_t>(value) + 1;
    return (item >= 0 && item < static_cast<int64_t>(item_count)) ? static_cast<int>(item) : -1;
}

// The first item whose text equals `text`, else the placeholder.
int select_item(const std::vector<std::string> &items, const std::string &text) {
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i] == text)
            return static_cast<int>(i);
    }
    return 0;
}

} // namespace

const std::vector<std::string> &speed_items() {
    static const std::vector<std::string> items = {"<Choose baudrate>",
                                                   "300",
                                                   "600",
                                                   "1200",
                                                   "2400",
                                                   "4800",
                                                   "9600",
                                                   "19200",
                                                   "38400",
                                                   "57600",
                                                   "115200"};
    return items;
}

const std::vector<std::string> &databits_items() {
    static const std::vector<std::string> items = {"<Choose datasize>", "7", "8"};
    return items;
}

const std::vector<std::string> &parity_items() {
    static const std::vector<std::string> items = {
        "<Choose parity>", "None", "Odd", "Even", "Mark", "Space"};
    return items;
}

const std::vector<std::string> &stopbits_items() {
    static const std::vector<std::string> items = {"<Choose stopbits>", "1", "2"};
    return items;
}

const std::vector<std::string> &handshake_items() {
    static const std::vector<std::string> items = {"<Choose handshake>", "None", "RTS/CTS",
                                                   "Xon/Xoff", "Xon/Xoff Heartbeat"};
    return items;
}

const std::vector<std::string> &mode_items() {
    static const std::vector<std::string> items = {
        "<Choose mode>",  "1: QLN-REPBUF-SERVER", "2: QLN-REPBUF-C/S", "3: QLN-RAW-SERVER",
        "4: QLN-RAW-C/S", "5: QLN-NVT-SERVER",    "6: QLN-NVT-C/S"};
    return items;
}

const std::vector<std::string> &frequency_items() {
    // "fruequency" is the page's own spelling.
    static const std::vector<std::string> items = {"<Choose fruequency>",
                                                   "5 Minutes",
                                                   "10 Minutes",
                                                   "15 Minutes",
                                                   "30 Minutes",
                                                   "1 Hour",
                                                   "2 Hours",
                                                   "3 Hours",
                                                   "6 Hours",
                                                   "12 Hours",
                                                   "24 Hours"};
    return items;
}

int32_t frequency_code(int item) {
    if (item < 0 || item >= static_cast<int>(kFrequencyCodes.size()))
        return -1;
    return kFrequencyCodes[static_cast<size_t>(item)];
}

int frequency_item_of_code(int32_t code) {
    for (size_t i = 1; i < kFrequencyCodes.size(); ++i) {
        if (kFrequencyCodes[i] == code)
            return static_cast<int>(i);
    }
    return -1;
}

bool mode_uses_downloader(int mode_item) {
    return mode_item > 0 && mode_item % 2 == 0;
}

std::optional<std::string> check_save(const std::string &device_ip_text, int mode_item,
                                      int frequency_item) {
    // Only the placeholder itself is refused: an empty or malformed address passes.
    if (device_ip_text == kIpPlaceholder)
        return std::string(kNeedAddress);
    if (mode_item <= 0)
        return std::string(kNeedMode);
    if (frequency_item <= 0 && mode_uses_downloader(mode_item))
        return std::string(kNeedFrequency);
    return std::nullopt;
}

kvgapi::TTcpsConfig collect_settings(const ConfigPageState &page) {
    kvgapi::TTcpsConfig config;
    const auto &speeds = speed_items();
    if (page.speed >= 0 && page.speed < static_cast<int>(speeds.size()))
        config.baudrate = parse_int(speeds[static_cast<size_t>(page.speed)]).value_or(-1);
    config.databits = offset_of_item(page.databits);
    config.parity = offset_of_item(page.parity);
    config.stopbits = offset_of_item(page.stopbits);
    config.handshake = offset_of_item(page.handshake);
    config.fixed_b = kFixedB;
    config.fixed_a1 = kFixedA1;
    config.fixed_a2 = kFixedA2;
    config.fixed_a3 = kFixedA3;
    if (page.mode >= 1 && page.mode < static_cast<int>(kModes.size())) {
        const ModeRow &row = kModes[static_cast<size_t>(page.mode)];
        config.transfer_nvt = row.transfer_nvt;
        config.transfer_kind = row.transfer_kind;
        if (row.server) {
            config.server_ip = kServerAddress;
            config.server_port = -1;
        } else {
            config.server_ip = page.server_ip;
            config.server_port = parse_int(page.server_port).value_or(-1);
        }
    }
    // Written in every mode: a SERVER mode also writes whatever frequency is selected.
    config.upload_period = frequency_code(page.frequency);
    return config;
}

int mode_item_of(const kvgapi::TTcpsConfig &config) {
    const bool server = config.server_ip == kServerAddress;
    if (config.transfer_nvt != 0) {
        if (config.transfer_kind == 2)
            return server ? 1 : 2;
        if (config.transfer_kind == 1)
            return server ? 5 : 6;
        return 0;
    }
    if (config.transfer_kind == 1)
        return server ? 3 : 4;
    return 0;
}

ShownSettings show_settings(const kvgapi::TTcpsConfig &config, const ConfigPageState &current) {
    ShownSettings shown;
    ConfigPageState &page = shown.page;
    page = current;
    page.speed = select_item(speed_items(), std::to_string(config.baudrate));
    page.parity = item_of_offset(config.parity, parity_items().size());
    page.databits = item_of_offset(config.databits, databits_items().size());
    page.handshake = item_of_offset(config.handshake, handshake_items().size());
    page.stopbits = item_of_offset(config.stopbits, stopbits_items().size());
    page.server_ip = config.server_ip;
    page.server_port = std::to_string(config.server_port);
    page.mode = mode_item_of(config);
    // A device that reports no frequency (or one below 20) predates firmware 3.1.1.
    if (config.upload_period < 20) {
        shown.unsupported = true;
    } else {
        const int item = frequency_item_of_code(config.upload_period);
        page.frequency = item > 0 ? item : 0;
    }
    // A configuration not made by this program must have its frequency chosen again.
    if (config.fixed_b != kFixedB || config.fixed_a1 != kFixedA1 || config.fixed_a2 != kFixedA2 ||
        config.fixed_a3 != kFixedA3)
        page.frequency = 0;
    return shown;
}

bool needs_mode_fix(int mode_bit0, int mode_bit2) {
    return mode_bit2 != 1 || mode_bit0 == 1;
}

std::string fix_prompt(const std::string &ip, int port) {
    return "This application doesn't support " + ip + ":" + std::to_string(port) +
           " device configuration.\n\nDo you want to fix it automatically (recommended)?";
}

std::optional<int32_t> parse_int(const std::string &text) {
    if (text.empty())
        return std::nullopt;
    errno = 0;
    char *end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || errno == ERANGE || value < INT32_MIN ||
        value > INT32_MAX)
        return std::nullopt;
    return static_cast<int32_t>(value);
}

std::optional<int32_t> parse_frequency(const std::string &text) {
    if (const auto code = parse_int(text)) {
        if (frequency_item_of_code(*code) > 0)
            return code;
        return std::nullopt;
    }
    const auto &items = frequency_items();
    for (size_t i = 1; i < items.size(); ++i) {
        if (items[i] == text)
            return kFrequencyCodes[i];
    }
    return std::nullopt;
}

} // namespace quillon
