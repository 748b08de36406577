// Fuzz target for the decoding of device answers. Inputs of 48 bytes or more, in an exactly
// sized buffer (so a read past the datagram trips the address sanitizer), are decoded without
// the signature check. Checked: every text of the record stays terminated within its field and
// the flags are 0 or 1; signing the input makes it pass the check and any change of bytes 0-39
// makes it fail; and a setup datagram built from the decoded record with its own settings gives
// back the input's bytes 0-39 and carries a valid signature.
#include "kvudps_internal.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

void check_text(const char *field, size_t capacity) {
    check(std::memchr(field, '\0', capacity) != nullptr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < udps::kRecordSize || size > udps::kReceiveSize)
        return 0;
    std::vector<uint8_t> datagram(data, data + size);
    kvudps_module_struct r;
    uint8_t raw_mac[6];
    udps::decode_answer(datagram.data(), datagram.size(), r, raw_mac);

    check(std::memcmp(raw_mac, data, 6) == 0);
    check(std::strlen(r.mac) == 17);
    for (const char *t : {r.ip, r.mask, r.addr3, r.addr4, r.addr5})
        check_text(t, KVUDPS_ADDR_SIZE);
    check_text(r.name, sizeof r.name);
    check_text(r.type_name, sizeof r.type_name);
    check_text(r.firmware, sizeof r.firmware);
    check(r.type_name[0] != '\0' || (data[23] >> 3) == 31);
    for (uint8_t flag :
         {r.feature0, r.feature1, r.feature2, r.feature3, r.feature4, r.feature5, r.has_name,
          r.mode_bit0, r.mode_bit1, r.mode_bit2, r.mode_bit3, r.mode_bit4, r.mode_bit5})
        check(flag <= 1);

    const kvquiet_tea_key key = udps::default_search_key();
    udps::sign(datagram.data(), key, datagram.data() + 40);
    check(udps::check(datagram.data(), datagram.size(), key));
    std::vector<uint8_t> changed = datagram;
    changed[data[0] % 40] ^= static_cast<uint8_t>(1u << (data[1] % 8));
    check(!udps::check(changed.data(), changed.size(), key));

    // The record's own settings as a setup request: the datagram repeats the answer's bytes.
    kvquiet_tea_key setup_key;
    kvquiet_tea_key_set(&setup_key, 1, 2, 3, 4);
    uint8_t out[udps::kSetupMax];
    const size_t n = udps::build_setup(r, raw_mac, r, key, setup_key, out);
    check(std::memcmp(out, datagram.data(), 40) == 0);
    check(udps::check(out, n, r.feature0 != 0 ? setup_key : key));
    const bool escape = (data[23] >> 3) == 31;
    check(escape ? n == 48 + std::strlen(r.name) + 3 : n == 48);
    return 0;
}
