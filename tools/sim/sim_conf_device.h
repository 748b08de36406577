// The simulated device's configuration protocol without any socket: its factory record, the
// configuration line it answers a query with, how it applies a received command, and the TEA
// challenge it may ask to be answered. sim::ConfServer puts these on the wire.
#ifndef SIM_CONF_DEVICE_H
#define SIM_CONF_DEVICE_H

#include "kvquiet_conf_struct.h"

#include <array>
#include <cstdint>
#include <string>

namespace sim {

// The greeting the device sends once a connection is made (and, with TEA, once the answer was
// right). It must never be 12 characters long, the length of a challenge.
inline constexpr const char *conf_greeting = "Quillon QLN configuration port ready\r\n";
// The acknowledgement of a command that changes a setting.
inline constexpr const char *conf_ack = "OK\r\n";
// The firmware version a device reports unless told otherwise.
inline constexpr const char *conf_default_firmware = "3.1.4";

// A device fresh from the factory: 9600 baud 8N1 without handshake, NVT mode as a server
// (downloader address 0.0.0.0, no port), hourly upload, and the fixed parameters the configurator
// expects (top_b 42, star_a/b/c 255, 255, 131072). Every other field is unset.
kvquiet_conf_struct conf_factory_config();

// The line the device answers "Q1\r" or "\r" with: "QLN WEB51=<firmware>" followed by one
// ";"-separated piece per set field, in the command order, and "\r\n". The key pieces come in
// the order %K0: to %K3:, so a reader leaves each key with its own text.
std::string conf_line(const kvquiet_conf_struct &config, const std::string &firmware);

// Applies one received command (without its "\r") to the record as the device does: the
// command letter or group and letter name the field, the rest is its value. A key command
// ("%K1:abc") sets that key only. A command that names no field changes nothing.
void conf_apply_command(kvquiet_conf_struct &config, const std::string &command);

// A fresh challenge: 9 bytes that add up to 0 modulo 256 (or, with `bad_checksum`, to 1) as 12
// base64 characters, and the answer the device expects to it under `key`.
struct ConfChallenge {
    std::string text;   // 12 characters, no line end
    std::string answer; // 12 characters
};
ConfChallenge conf_make_challenge(const std::array<uint32_t, 4> &key, uint32_t seed,
                                  bool bad_checksum);

} // namespace sim

#endif // SIM_CONF_DEVICE_H
