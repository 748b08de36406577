// The application's configuration record and its conversions to and from the device record.
// Qt-free, so the command-line tool and the desktop app share one copy of the rules.
#ifndef QUILLON_MODEL_TCPS_CONFIG_H
#define QUILLON_MODEL_TCPS_CONFIG_H

#include "kvquiet_conf_struct.h"

#include <array>
#include <cstdint>
#include <string>

namespace kvgapi {

// The configuration as the configuration page and the wrapper exchange it. -1 and the empty
// text mean "not set"; the offset fields (databits, parity, handshake, stopbits) count from 0.
struct TTcpsConfig {
    std::string firmware;       // read only
    std::string device_ip;      // top_i; written only when not empty, cut to 15 characters
    int32_t param_j = -1;       // top_j
    int32_t baudrate = -1;      // amp_b
    int32_t databits = -1;      // amp_d - 7 (0 for 7 bits, 1 for 8)
    int32_t parity = -1;        // amp_p - 1 (0 none, 1 odd, 2 even, 3 mark, 4 space)
    int32_t handshake = -1;     // amp_c - 1 (0 none, 1 RTS/CTS, 2 Xon/Xoff, 3 with heartbeat)
    int32_t stopbits = -1;      // amp_s - 1 (0 for 1 bit, 1 for 2)
    std::string server_ip;      // top_s; written only when not empty, cut to 15 characters
    int32_t server_port = -1;   // top_u
    int32_t upload_period = -1; // top_p (the device's frequency code)
    int32_t fixed_b = -1;       // top_b
    int32_t transfer_nvt = -1;  // top_v
    int32_t transfer_kind = -1; // amp_f
    int32_t fixed_a1 = -1;      // star_a
    int32_t fixed_a2 = -1;      // star_b
    int32_t fixed_a3 = -1;      // star_c

    bool operator==(const TTcpsConfig &) const = default;
};

// Builds a fresh device record from `config`: every field not carried by TTcpsConfig stays
// unset; -1 in an offset field gives the unset byte, otherwise the offset is added back.
void config_to_record(const TTcpsConfig &config, kvquiet_conf_struct *record);

// Copies a device record into `config`, taking the offsets off (an unset byte thus gives -8
// for databits and -2 for parity, handshake and stopbits).
void record_to_config(const kvquiet_conf_struct &record, TTcpsConfig *config);

// The default TEA key text of the configuration wrapper.
inline constexpr const char *kDefaultKeyText = "1A2B3C4D:5E6F7081:22A3B4C5:46E7F809";

// Converts a key text into four key words: empty gives 0,0,0,0; otherwise exactly 35
// characters with ':' at positions 9, 18 and 27, each group read as hexadecimal up to its
// first non-hex character. Returns 0, or -3 for any other form (words left untouched).
int key_text_to_words(const std::string &text, std::array<uint32_t, 4> *words);

} // namespace kvgapi

#endif
