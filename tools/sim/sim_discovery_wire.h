// The device's side of the discovery datagrams: the answer it sends (with its optional extension
// list), the search request it expects, and the setup datagram it takes. Written from the
// device's point of view and independent of the client library's codec, so that each checks
// the other.
#ifndef SIM_DISCOVERY_WIRE_H
#define SIM_DISCOVERY_WIRE_H

#include "kvquiet_tea.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// A device's identity as its answers tell it.
struct DiscoveryIdentity {
    std::array<uint8_t, 6> mac{0x02, 0x51, 0x4C, 0x00, 0x00, 0x01};
    std::string ip = "127.0.0.2"; // dotted decimal
    std::string mask = "255.0.0.0";
    std::string addr3 = "0.0.0.0";
    std::string addr4 = "0.0.0.0";
    std::string addr5 = "0.0.0.0";
    uint8_t type = 9; // type field 0-31; 31 announces the extension list
    uint8_t fw_major = 1;
    uint8_t fw_minor = 2;
    uint8_t fw_patch = 3;
    uint8_t mode = 0;   // mode byte: bits 0-5 are mode_bit0-5, bits 6-7 travel unchanged
    uint8_t spare = 0;  // spare byte
    uint16_t port = 99; // service port
    std::array<uint8_t, 8> echo_block{0x45, 0x43, 0x48, 0x4F, 0x00, 0x11, 0x22, 0x33};
    std::string name; // sent in the extension list (type 31) or served over HTTP
};

// The extension list of a type-31 answer. Texts are cut to 255 bytes.
struct DiscoveryExtension {
    bool flags_entry = true; // entry 1
    uint8_t flags = 0;       // bit 0: feature0 (setups signed with the setup key), bits 1-5
    bool name_entry = true;  // entry 2 with the identity's name
    std::string type_name;   // entry 3 when not empty
    std::optional<uint16_t> real_type;     // entry 4
    std::optional<uint16_t> port2;         // entry 5
    std::optional<uint16_t> feature_value; // entry 6
    std::vector<uint8_t> extra; // raw bytes put before the end marker (unknown entries, say)
    bool end_marker = true;
};

// The new settings a setup datagram carries.
struct SetupRequest {
    std::array<uint8_t, 6> mac{};
    std::string ip, mask, addr3, addr4, addr5;
    uint8_t version = 0;
    uint8_t type = 0;
    uint8_t mode = 0;
    uint8_t spare = 0;
    uint16_t port = 0;
    std::array<uint8_t, 8> echo_block{};
    std::optional<std::string> name; // from an extension entry 2
};

// The 48-byte search request with the given 13-character domain name.
std::array<uint8_t, 48> search_request(const std::string &domain);

// Sets bytes 40-47 of a 48-byte record to the signature of its bytes 0-39.
void sign_record(uint8_t *record, const kvquiet_tea_key &key);

// True when the datagram has 48 bytes or more and carries a valid signature under `key`.
bool signature_valid(const uint8_t *data, size_t length, const kvquiet_tea_key &key);

// The signed answer; an extension list follows when identity.type is 31.
std::vector<uint8_t> encode_answer(const DiscoveryIdentity &identity,
                                   const DiscoveryExtension &extension,
                                   const kvquiet_tea_key &search_key);

// Reads the fields of a setup datagram (48 bytes or more; not checked for its signature).
// A name entry of the extension list is read when the type field is 31. False when too short.
bool decode_setup(const uint8_t *data, size_t length, SetupRequest &request);

// True for the models that keep their name on a web page: types 2-4, 6, 10-17 and 21-25.
bool named_model(uint8_t type);

// The search key the devices are made with.
kvquiet_tea_key factory_search_key();

} // namespace sim

#endif // SIM_DISCOVERY_WIRE_H
