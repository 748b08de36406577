// Device configuration record: the field table, resetting a record and building the text
// command that writes one field.
#include "kvquiet_conf_fields.h"

#include <cstdio>
#include <cstring>

namespace kvquiet_conf_detail {

static_assert(sizeof(kvquiet_conf_struct) < 65536, "field offsets must fit 16 bits");

#define KVQ_NUM(group, letter, kind, member)                                                       \
    field {                                                                                        \
        group, letter, 0, field_kind::kind, offsetof(kvquiet_conf_struct, member), 0               \
    }
#define KVQ_TEXT(group, letter, digit, member)                                                     \
    field {                                                                                        \
        group, letter, digit, field_kind::text, offsetof(kvquiet_conf_struct, member),             \
            sizeof(kvquiet_conf_struct::member)                                                    \
    }

// The order is the device's: a write sends index 0 first, and top_b and top_p last. This
// table is constant data shared by every thread, so it needs no lock.
const field fields[KVQUIET_CONF_CMD_COUNT] = {
    KVQ_TEXT(0, 'I', 0, top_i),      // 0
    KVQ_NUM(0, 'J', i32, top_j),     // 1
    KVQ_TEXT(0, 'M', 0, top_m),      // 2
    KVQ_TEXT(0, 'G', 0, top_g),      // 3
    KVQ_TEXT(0, 'W', 0, top_w),      // 4
    KVQ_TEXT(0, 'N', 0, top_n),      // 5
    KVQ_NUM(0, 'X', i32, top_x),     // 6
    KVQ_TEXT(0, 'Y', 0, top_y),      // 7
    KVQ_TEXT(0, 'S', 0, top_s),      // 8
    KVQ_NUM(0, 'U', i32, top_u),     // 9
    KVQ_NUM(0, 'T', i8, top_t),      // 10
    KVQ_NUM(0, 'V', i8, top_v),      // 11
    KVQ_NUM(0, 'K', i8, top_k),      // 12
    KVQ_NUM(0, 'E', i8, top_e),      // 13
    KVQ_NUM('&', 'B', i32, amp_b),   // 14
    KVQ_NUM('&', 'D', i8, amp_d),    // 15
    KVQ_NUM('&', 'P', i8, amp_p),    // 16
    KVQ_NUM('&', 'S', i8, amp_s),    // 17
    KVQ_NUM('&', 'C', i8, amp_c),    // 18
    KVQ_NUM('&', 'R', i8, amp_r),    // 19
    KVQ_NUM('&', 'T', i32, amp_t),   // 20
    KVQ_NUM('&', 'G', i32, amp_g),   // 21
    KVQ_NUM('&', 'H', i8, amp_h),    // 22
    KVQ_NUM('%', 'A', i8, pct_a),    // 23
    KVQ_TEXT('%', 'K', '0', pct_k0), // 24
    KVQ_TEXT('%', 'K', '1', pct_k1), // 25
    KVQ_TEXT('%', 'K', '2', pct_k2), // 26
    KVQ_TEXT('%', 'K', '3', pct_k3), // 27
    KVQ_NUM('%', 'S', i8, pct_s),    // 28
    KVQ_NUM('#', 'T', i32, hash_t),  // 29
    KVQ_NUM('#', 'A', i32, hash_a),  // 30
    KVQ_NUM('#', 'B', i32, hash_b),  // 31
    KVQ_NUM('#', 'C', i32, hash_c),  // 32
    KVQ_NUM('#', 'D', i32, hash_d),  // 33
    KVQ_NUM('#', 'X', i32, hash_x),  // 34
    KVQ_NUM('#', 'Y', i32, hash_y),  // 35
    KVQ_NUM('#', 'Z', i32, hash_z),  // 36
    KVQ_NUM('#', 'W', i32, hash_w),  // 37
    KVQ_NUM('*', 'L', i8, star_l),   // 38
    KVQ_NUM('*', 'P', i32, star_p),  // 39
    KVQ_TEXT('*', 'S', 0, star_s),   // 40
    KVQ_TEXT('*', 'M', 0, star_m),   // 41
    KVQ_TEXT('*', 'X', 0, star_x),   // 42
    KVQ_TEXT('*', 'Y', 0, star_y),   // 43
    KVQ_NUM('*', 'E', i32, star_e),  // 44
    KVQ_NUM(0, 'A', i32, top_a),     // 45
    KVQ_NUM('&', 'F', i8, amp_f),    // 46
    KVQ_NUM('*', 'A', i32, star_a),  // 47
    KVQ_NUM('*', 'B', i32, star_b),  // 48
    KVQ_NUM('*', 'C', i32, star_c),  // 49
    KVQ_NUM('&', 'V', i8, amp_v),    // 50
    KVQ_NUM(0, 'B', i32, top_b),     // 51
    KVQ_NUM(0, 'P', i32, top_p),     // 52
};

#undef KVQ_NUM
#undef KVQ_TEXT

} // namespace kvquiet_conf_detail

using namespace kvquiet_conf_detail;

int kvquiet_conf_clr(kvquiet_conf_struct *conf) {
    if (conf == nullptr) {
        return -1;
    }
    // Every field but firmware has a row in the table, so walking it resets exactly the
    // fields that commands write and leaves the firmware text alone.
    const int32_t unset32 = -1;
    for (const field &f : fields) {
        char *p = field_ptr(conf, f);
        switch (f.kind) {
        case field_kind::i32:
            std::memcpy(p, &unset32, sizeof unset32);
            break;
        case field_kind::i8:
            *reinterpret_cast<int8_t *>(p) = -1;
            break;
        case field_kind::text:
            std::memset(p, 0, f.capacity);
            break;
        }
    }
    return 0;
}

int kvquiet_conf_cmd_build(const kvquiet_conf_struct *conf, char *out, int32_t index) {
    if (conf == nullptr || out == nullptr) {
        return -1;
    }
    out[0] = '\0';
    if (index < 0 || index >= KVQUIET_CONF_CMD_COUNT) {
        return -1;
    }
    const field &f = fields[index];
    const char *p = field_ptr(conf, f);

    // The command name: optional group character, the letter, and for keys "digit:".
    char name[5];
    size_t n = 0;
    if (f.group != 0) {
        name[n++] = f.group;
    }
    name[n++] = f.letter;
    if (f.digit != 0) {
        name[n++] = f.digit;
        name[n++] = ':';
    }
    name[n] = '\0';

    int written = -1;
    switch (f.kind) {
    case field_kind::i32: {
        int32_t v;
        std::memcpy(&v, p, sizeof v);
        if (v != -1) {
            written =
                std::snprintf(out, KVQUIET_CONF_CMD_MAX, "%s%ld\r", name, static_cast<long>(v));
        }
        break;
    }
    case field_kind::i8: {
        // The byte 255 reads as -1 here, so an i8 holding 255 is unset and 128 goes as -128.
        const int8_t v = *reinterpret_cast<const int8_t *>(p);
        if (v != -1) {
            written = std::snprintf(out, KVQUIET_CONF_CMD_MAX, "%s%d\r", name, static_cast<int>(v));
        }
        break;
    }
    case field_kind::text: {
        // A caller may have filled the array without a terminator: never send more than the
        // field can hold, so the command always fits KVQUIET_CONF_CMD_MAX.
        const size_t room = static_cast<size_t>(f.capacity) - 1U;
        const void *zero = std::memchr(p, '\0', room);
        const size_t len =
            zero != nullptr ? static_cast<size_t>(static_cast<const char *>(zero) - p) : room;
        if (len > 0) {
            written = std::snprintf(out, KVQUIET_CONF_CMD_MAX, "%s%.*s\r", name,
                                    static_cast<int>(len), p);
        }
        break;
    }
    }
    if (written < 0) {
        out[0] = '\0';
        return -1;
    }
    return 0;
}
