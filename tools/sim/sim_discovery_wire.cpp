// The device's side of the discovery datagrams.
#include "sim_discovery_wire.h"

#include "kv_socket.h"
#include "kvudps_keys.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

void put_address(uint8_t *out, const std::string &text) {
    uint32_t address = 0xFFFFFFFFu;
    kv_inet_parse(text.c_str(), &address);
    std::memcpy(out, &address, 4);
}

std::string get_address(const uint8_t *in) {
    uint32_t address = 0;
    std::memcpy(&address, in, 4);
    char text[16];
    return kv_inet_format(address, text);
}

void put_entry(std::vector<uint8_t> &out, uint8_t type, const uint8_t *value, size_t length) {
    length = std::min<size_t>(length, 255);
    out.push_back(type);
    out.push_back(static_cast<uint8_t>(length));
    out.insert(out.end(), value, value + length);
}

void put_text(std::vector<uint8_t> &out, uint8_t type, const std::string &text) {
    put_entry(out, type, reinterpret_cast<const uint8_t *>(text.data()), text.size());
}

void put_number(std::vector<uint8_t> &out, uint8_t type, uint16_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    put_entry(out, type, bytes, 2);
}

} // namespace

std::array<uint8_t, 48> search_request(const std::string &domain) {
    std::array<uint8_t, 48> out{};
    std::fill(out.begin(), out.begin() + 6, uint8_t{0xFF});
    std::memcpy(out.data() + 6, KVUDPS_REQUEST_TEXT, KVUDPS_REQUEST_TEXT_LEN);
    std::memcpy(out.data() + 35, domain.data(), std::min<size_t>(domain.size(), 13));
    return out;
}

void sign_record(uint8_t *record, const kvquiet_tea_key &key) {
    kvquiet_tea_state state{{0, 0}};
    for (int block = 0; block < 5; ++block)
        kvquiet_tea_chain(&state, record + 8 * block, &key);
    kvquiet_tea_store(&state, record + 40);
}

bool signature_valid(const uint8_t *data, size_t length, const kvquiet_tea_key &key) {
    if (length < 48)
        return false;
    uint8_t copy[48];
    std::memcpy(copy, data, 48);
    sign_record(copy, key);
    return std::memcmp(copy + 40, data + 40, 8) == 0;
}

std::vector<uint8_t> encode_answer(const DiscoveryIdentity &id, const DiscoveryExtension &ext,
                                   const kvquiet_tea_key &search_key) {
    std::vector<uint8_t> out(48, 0);
    std::memcpy(out.data(), id.mac.data(), 6);
    put_address(&out[6], id.ip);
    put_address(&out[10], id.mask);
    put_address(&out[14], id.addr3);
    put_address(&out[18], id.addr4);
    out[22] = static_cast<uint8_t>((id.fw_minor << 4) | (id.fw_patch & 15));
    out[23] = static_cast<uint8_t>((id.type << 3) | (id.fw_major & 7));
    put_address(&out[24], id.addr5);
    out[28] = id.mode;
    out[29] = id.spare;
    out[30] = static_cast<uint8_t>(id.port >> 8);
    out[31] = static_cast<uint8_t>(id.port);
    std::memcpy(&out[32], id.echo_block.data(), 8);
    sign_record(out.data(), search_key);
    if (id.type != 31)
        return out;
    if (ext.flags_entry)
        put_entry(out, 1, &ext.flags, 1);
    if (ext.name_entry)
        put_text(out, 2, id.name);
    if (!ext.type_name.empty())
        put_text(out, 3, ext.type_name);
    if (ext.real_type)
        put_number(out, 4, *ext.real_type);
    if (ext.port2)
        put_number(out, 5, *ext.port2);
    if (ext.feature_value)
        put_number(out, 6, *ext.feature_value);
    out.insert(out.end(), ext.extra.begin(), ext.extra.end());
    if (ext.end_marker)
        out.push_back(0xFF);
    return out;
}

bool decode_setup(const uint8_t *data, size_t length, SetupRequest &r) {
    if (length < 48)
        return false;
    std::memcpy(r.mac.data(), data, 6);
    r.ip = get_address(data + 6);
    r.mask = get_address(data + 10);
    r.addr3 = get_address(data + 14);
    r.addr4 = get_address(data + 18);
    r.version = data[22];
    r.type = data[23];
    r.addr5 = get_address(data + 24);
    r.mode = data[28];
    r.spare = data[29];
    r.port = static_cast<uint16_t>((data[30] << 8) | data[31]);
    std::memcpy(r.echo_block.data(), data + 32, 8);
    r.name.reset();
    if ((r.type >> 3) != 31)
        return true;
    size_t pos = 48;
    while (pos + 2 <= length && data[pos] != 0xFF) {
        const size_t value_len = data[pos + 1];
        if (pos + 2 + value_len > length)
            break;
        if (data[pos] == 2)
            r.name = std::string(reinterpret_cast<const char *>(data + pos + 2), value_len);
        pos += 2 + value_len;
    }
    return true;
}

bool named_model(uint8_t type) {
    return (type >= 2 && type <= 4) || type == 6 || (type >= 10 && type <= 17) ||
           (type >= 21 && type <= 25);
}

kvquiet_tea_key factory_search_key() {
    kvquiet_tea_key key;
    kvquiet_tea_key_set(&key, KVUDPS_SEARCH_KEY_K0, KVUDPS_SEARCH_KEY_K1, KVUDPS_SEARCH_KEY_K2,
                        KVUDPS_SEARCH_KEY_K3);
    return key;
}

} // namespace sim
