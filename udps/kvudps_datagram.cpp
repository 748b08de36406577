// The discovery datagrams: the search request, the signature and its check, the decoding of a
// device answer with its extension list, and the signed setup datagram.
#include "kvudps_internal.h"
#include "kvudps_keys.h"

#include "kv_socket.h"

#include <cstdio>
#include <cstring>

namespace udps {

namespace {

// Display names by device type; any type above 26 is reserved. Constant data, no lock.
constexpr const char *kTypeNames[] = {
    "Unspecified device",  // 0
    "Development version", // 1
    "Serial Server S2",    // 2
    "Serial Server S4",    // 3
    "Serial Server S8",    // 4
    "I/O Controller C1",   // 5
    "Web Relay R2",        // 6
    "Data Logger L1",      // 7
    "Sensor Gateway G1",   // 8
    "Quillon",             // 9
    "Web Relay R4",        // 10
    "Web Thermometer T1",  // 11
    "Web Thermometer T3",  // 12
    "Power Monitor P1",    // 13
    "Power Monitor P3",    // 14
    "Door Controller D1",  // 15
    "Door Controller D2",  // 16
    "Climate Monitor M1",  // 17
    "Data Logger L2",      // 18
    "Data Logger L4",      // 19
    "Sensor Gateway G2",   // 20
    "Web Relay R8",        // 21
    "Power Switch W1",     // 22
    "Power Switch W4",     // 23
    "Alarm Panel A1",      // 24
    "Alarm Panel A2",      // 25
    "Serial Server S16",   // 26
};
constexpr const char *kReservedName = "Reserved for future devices";
constexpr size_t kTypeNameCount = sizeof kTypeNames / sizeof kTypeNames[0];

// Device-property sets, by the low eight bits of the type (only 0-31 occur without an
// extension list). One bit per type.
constexpr uint32_t bits(std::initializer_list<int> types) {
    uint32_t mask = 0;
    for (int t : types)
        mask |= 1u << t;
    return mask;
}
constexpr uint32_t range(int first, int last) {
    uint32_t mask = 0;
    for (int t = first; t <= last; ++t)
        mask |= 1u << t;
    return mask;
}
constexpr uint32_t kFeature1 = range(2, 6) | bits({8}) | range(10, 17) | range(20, 25);
constexpr uint32_t kFeature2 = bits({2, 20}) | range(13, 17) | range(22, 25);
constexpr uint32_t kFeature34 = bits({0, 7, 9, 18, 19});
constexpr uint32_t kHasName = range(2, 4) | bits({6}) | range(10, 17) | range(21, 25);

bool in_set(uint32_t set, uint16_t type) {
    const uint32_t low = type & 0xFFu;
    return low < 32 && ((set >> low) & 1u) != 0;
}

uint16_t load_be16(const uint8_t *b) {
    return static_cast<uint16_t>((b[0] << 8) | b[1]);
}

void format_ip(const uint8_t *b, char out[KVUDPS_ADDR_SIZE]) {
    std::snprintf(out, KVUDPS_ADDR_SIZE, "%i.%i.%i.%i", b[0], b[1], b[2], b[3]);
}

// Copies `n` bytes of a text value into a field of `size`, cut to size-1 and terminated.
void copy_value(char *field, size_t size, const uint8_t *value, size_t n) {
    if (n > size - 1)
        n = size - 1;
    std::memcpy(field, value, n);
    field[n] = '\0';
}

// Walks the extension list from byte 48 up to `length`. Every read stays inside the datagram:
// a number whose bytes are not all there is not taken, a text is taken as far as it goes, and
// the walk ends at the end marker or where the received bytes end.
void walk_extensions(const uint8_t *data, size_t length, kvudps_module_struct &r) {
    size_t pos = kRecordSize;
    while (pos < length && data[pos] != kExtensionEnd) {
        if (pos + 2 > length)
            break; // an entry type without its length byte
        const uint8_t type = data[pos];
        const size_t value_len = data[pos + 1];
        const size_t start = pos + 2;
        const size_t avail = length - start; // may be 0
        const uint8_t *value = data + start;
        const size_t text_len = value_len < avail ? value_len : avail;
        switch (type) {
        case kExtFlags:
            if (avail >= 1) {
                r.feature0 = value[0] & 1u;
                r.feature1 = (value[0] >> 1) & 1u;
                r.feature2 = (value[0] >> 2) & 1u;
                r.feature3 = (value[0] >> 3) & 1u;
                r.feature4 = (value[0] >> 4) & 1u;
                r.feature5 = (value[0] >> 5) & 1u;
            }
            break;
        case kExtName:
            copy_value(r.name, sizeof r.name, value, text_len);
            r.has_name = 1;
            break;
        case kExtTypeName:
            copy_value(r.type_name, sizeof r.type_name, value, text_len);
            break;
        case kExtType:
            if (avail >= 2)
                r.type = load_be16(value);
            break;
        case kExtPort2:
            if (avail >= 2)
                r.port2 = load_be16(value);
            break;
        case kExtFeatureValue:
            if (avail >= 2)
                r.feature_value = load_be16(value);
            break;
        default:
            break; // unknown entries are skipped by their length
        }
        pos = start + value_len;
    }
}

// The flags of a device without an extension list, from the fixed tables.
void apply_type_tables(kvudps_module_struct &r) {
    r.feature1 = in_set(kFeature1, r.type) ? 1 : 0;
    if (r.feature1 != 0)
        r.port2 = r.port;
    r.feature2 = in_set(kFeature2, r.type) ? 1 : 0;
    r.feature3 = in_set(kFeature34, r.type) ? 1 : 0;
    r.feature4 = in_set(kFeature34, r.type) ? 1 : 0;
    r.feature5 = 1; // every type
    r.feature_value = 99;
    r.has_name = in_set(kHasName, r.type) ? 1 : 0;
}

void store_address(uint8_t *out, const char *text) {
    const uint32_t address = address_or_none(text); // network order: bytes as in memory
    std::memcpy(out, &address, 4);
}

} // namespace

kvquiet_tea_key default_search_key() {
    kvquiet_tea_key key;
    kvquiet_tea_key_set(&key, KVUDPS_SEARCH_KEY_K0, KVUDPS_SEARCH_KEY_K1, KVUDPS_SEARCH_KEY_K2,
                        KVUDPS_SEARCH_KEY_K3);
    return key;
}

void build_search_request(uint8_t out[kRecordSize]) {
    std::memset(out, 0xFF, 6);
    std::memcpy(out + 6, KVUDPS_REQUEST_TEXT, KVUDPS_REQUEST_TEXT_LEN);
    std::memcpy(out + 6 + KVUDPS_REQUEST_TEXT_LEN, KVUDPS_DOMAIN_NAME, KVUDPS_DOMAIN_NAME_LEN);
}

void sign(const uint8_t bytes[kSignedSize], const kvquiet_tea_key &key, uint8_t signature[8]) {
    kvquiet_tea_state state{{0, 0}};
    for (size_t block = 0; block < kSignedSize; block += 8)
        kvquiet_tea_chain(&state, bytes + block, &key);
    kvquiet_tea_store(&state, signature);
}

bool check(const uint8_t *data, size_t length, const kvquiet_tea_key &key) {
    if (data == nullptr || length < kRecordSize)
        return false;
    kvquiet_tea_state state{{0, 0}};
    for (size_t block = 0; block < kSignedSize; block += 8)
        kvquiet_tea_chain(&state, data + block, &key);
    kvquiet_tea_xor(&state, data + kSignedSize);
    return state.w[0] == 0 && state.w[1] == 0;
}

void decode_answer(const uint8_t *data, size_t length, kvudps_module_struct &r,
                   uint8_t raw_mac[6]) {
    std::memset(&r, 0, sizeof r);
    std::memcpy(raw_mac, data, 6);
    format_mac(data, r.mac);
    format_ip(data + 6, r.ip);
    format_ip(data + 10, r.mask);
    format_ip(data + 14, r.addr3);
    format_ip(data + 18, r.addr4);
    format_ip(data + 24, r.addr5);
    r.raw_version = data[22];
    r.raw_type = data[23];
    r.raw_mode = data[28];
    r.raw_spare = data[29];
    std::memcpy(r.echo_block, data + 32, 8);
    std::memcpy(r.signature, data + 40, 8);
    r.mode_bit0 = data[28] & 1u;
    r.mode_bit1 = (data[28] >> 1) & 1u;
    r.mode_bit2 = (data[28] >> 2) & 1u;
    r.mode_bit3 = (data[28] >> 3) & 1u;
    r.mode_bit4 = (data[28] >> 4) & 1u;
    r.mode_bit5 = (data[28] >> 5) & 1u;
    r.fw_major = data[23] & 7u;
    r.fw_minor = static_cast<uint8_t>(data[22] >> 4);
    r.fw_patch = data[22] & 15u;
    r.type = static_cast<uint16_t>(data[23] >> 3);
    std::snprintf(r.type_name, sizeof r.type_name, "%s", type_name(r.type));
    std::snprintf(r.firmware, sizeof r.firmware, "%i.%i.%i", r.fw_major, r.fw_minor, r.fw_patch);
    r.port = load_be16(data + 30);
    if (r.type == kTypeEscape)
        walk_extensions(data, length, r);
    else
        apply_type_tables(r);
}

size_t build_setup(const kvudps_module_struct &found, const uint8_t raw_mac[6],
                   const kvudps_module_struct &request, const kvquiet_tea_key &search_key,
                   const kvquiet_tea_key &setup_key, uint8_t out[kSetupMax]) {
    std::memset(out, 0, kSetupMax);
    std::memcpy(out, raw_mac, 6);
    store_address(out + 6, request.ip);
    store_address(out + 10, request.mask);
    store_address(out + 14, request.addr3);
    store_address(out + 18, request.addr4);
    store_address(out + 24, request.addr5);
    out[22] = found.raw_version;
    out[23] = found.raw_type;
    out[28] = requested_mode(found.raw_mode, request);
    out[29] = found.raw_spare;
    out[30] = static_cast<uint8_t>(request.port >> 8);
    out[31] = static_cast<uint8_t>(request.port);
    std::memcpy(out + 32, found.echo_block, 8);
    sign(out, found.feature0 != 0 ? setup_key : search_key, out + kSignedSize);

    size_t length = kRecordSize;
    if ((found.raw_type >> 3) == kTypeEscape) {
        const size_t n = strnlen(request.name, KVUDPS_NAME_SIZE - 1);
        out[length++] = kExtName;
        out[length++] = static_cast<uint8_t>(n);
        std::memcpy(out + length, request.name, n);
        length += n;
        out[length++] = kExtensionEnd;
    }
    return length;
}

uint8_t requested_mode(uint8_t received, const kvudps_module_struct &request) {
    // Bits 0-2, 4 and 5 are the requested ones; bit 3 and bits 6-7 travel as received.
    constexpr uint8_t kRequested = 0x37;
    const uint8_t wanted =
        static_cast<uint8_t>((request.mode_bit0 & 1u) | ((request.mode_bit1 & 1u) << 1) |
                             ((request.mode_bit2 & 1u) << 2) | ((request.mode_bit4 & 1u) << 4) |
                             ((request.mode_bit5 & 1u) << 5));
    return static_cast<uint8_t>((received & ~kRequested) | wanted);
}

const char *type_name(uint16_t type) {
    return type < kTypeNameCount ? kTypeNames[type] : kReservedName;
}

bool type_has_name(uint16_t type) {
    return in_set(kHasName, type);
}

uint32_t address_or_none(const char *text) {
    uint32_t address = 0;
    if (kv_inet_parse(text, &address) != 0)
        address = 0xFFFFFFFFu;
    return address;
}

void format_mac(const uint8_t mac[6], char out[KVUDPS_MAC_SIZE]) {
    std::snprintf(out, KVUDPS_MAC_SIZE, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
}

} // namespace udps
