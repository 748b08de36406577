// Base64 encoding and decoding over caller-supplied buffers. Sizes are worked out in 64 bits
// so that no count near the 32-bit limit can wrap into a small, wrong buffer size.
#include "b64.h"

// The tables are constant data, so no lock guards them.
extern "C" {

const char b64_chars[65] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The inverse of b64_chars, 255 for every other code; a test checks that the two agree.
// clang-format off
const uint8_t b64_char_values[256] = {
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,  // 0x00
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,  // 0x10
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,  62, 255, 255, 255,  63,  // 0x20
     52,  53,  54,  55,  56,  57,  58,  59,  60,  61, 255, 255, 255, 255, 255, 255,  // 0x30
    255,   0,   1,   2,   3,   4,   5,   6,   7,   8,   9,  10,  11,  12,  13,  14,  // 0x40
     15,  16,  17,  18,  19,  20,  21,  22,  23,  24,  25, 255, 255, 255, 255, 255,  // 0x50
    255,  26,  27,  28,  29,  30,  31,  32,  33,  34,  35,  36,  37,  38,  39,  40,  // 0x60
     41,  42,  43,  44,  45,  46,  47,  48,  49,  50,  51, 255, 255, 255, 255, 255,  // 0x70
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,  // 0x80
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,  // 0x90
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,  // 0xA0
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,  // 0xB0
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,  // 0xC0
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,  // 0xD0
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,  // 0xE0
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,  // 0xF0
};
// clang-format on

} // extern "C"

namespace {

constexpr uint8_t kNoValue = 255;

// Number of characters that encode n bytes with lines of line_len characters (0: one line).
// CR LF goes between lines only, so an empty input needs no characters at all.
uint64_t encoded_size(uint32_t n, uint32_t line_len) {
    uint64_t chars = 4 * ((uint64_t{n} + 2) / 3);
    if (line_len > 0 && chars > 0) {
        chars += 2 * ((chars + line_len - 1) / line_len - 1);
    }
    return chars;
}

// Resolves the line-length choice of the flags into a length; false for a broken precondition.
bool pick_line_len(uint32_t flags, int32_t line_len, uint32_t *out) {
    switch (flags & B64_F_LINE_LEN_MASK) {
    case B64_F_LINE_LEN_USE_PARAM:
        if (line_len < 0) {
            *out = 64;
            return true;
        }
        *out = static_cast<uint32_t>(line_len);
        return *out % 4 == 0;
    case B64_F_LINE_LEN_INFINITE:
        *out = 0;
        return true;
    case B64_F_LINE_LEN_64:
        *out = 64;
        return true;
    case B64_F_LINE_LEN_76:
        *out = 76;
        return true;
    default:
        return false;
    }
}

void encode_group(const uint8_t *in, char *out) {
    const uint32_t bits = (uint32_t{in[0]} << 16) | (uint32_t{in[1]} << 8) | in[2];
    out[0] = b64_chars[(bits >> 18) & 63];
    out[1] = b64_chars[(bits >> 12) & 63];
    out[2] = b64_chars[(bits >> 6) & 63];
    out[3] = b64_chars[bits & 63];
}

uint32_t encode(const uint8_t *src, uint32_t n, char *dest, uint32_t dest_len, uint32_t line_len,
                int32_t *rc) {
    *rc = B64_RC_OK;
    const uint64_t needed = encoded_size(n, line_len);
    if (needed > UINT32_MAX) {
        *rc = B64_RC_INSUFFICIENT_BUFFER;
        return 0;
    }
    if (dest == nullptr) {
        return static_cast<uint32_t>(needed);
    }
    if (dest_len < needed) {
        *rc = B64_RC_INSUFFICIENT_BUFFER;
        return 0;
    }
    uint32_t pos = 0;
    uint32_t on_line = 0;
    uint32_t i = 0;
    for (; n - i >= 3; i += 3) {
        encode_group(src + i, dest + pos);
        pos += 4;
        on_line += 4;
        // A line break only goes between lines: after the last group it would run past the
        // counted size (and past a buffer of exactly that size).
        if (line_len > 0 && on_line == line_len && n - i > 3) {
            dest[pos++] = '\r';
            dest[pos++] = '\n';
            on_line = 0;
        }
    }
    const uint32_t left = n - i;
    if (left > 0) {
        const uint8_t tail[3] = {src[i], left == 2 ? src[i + 1] : uint8_t{0}, 0};
        encode_group(tail, dest + pos);
        dest[pos + 3] = '=';
        if (left == 1) {
            dest[pos + 2] = '=';
        }
        pos += 4;
    }
    return pos;
}

bool is_blank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\b' || c == '\v';
}

uint32_t decode(const char *src, uint32_t c, uint8_t *dest, uint32_t dest_size, uint32_t flags,
                const char **bad_char, int32_t *rc) {
    *bad_char = nullptr;
    *rc = B64_RC_OK;
    if (src == nullptr && c > 0) {
        *rc = B64_RC_BAD_ARGUMENT;
        return 0;
    }
    // At most 3 * 2^30, so the maximum always fits in 32 bits.
    const uint64_t most = 3 * ((uint64_t{c} + 3) / 4);
    if (dest == nullptr) {
        return static_cast<uint32_t>(most);
    }
    if (dest_size < most) {
        *rc = B64_RC_INSUFFICIENT_BUFFER;
        return 0;
    }
    uint32_t written = 0;
    uint32_t group = 0; // the values collected so far, 6 bits each, first one highest
    uint32_t count = 0;
    uint32_t pads = 0;
    for (uint32_t i = 0; i < c; ++i) {
        const auto ch = static_cast<unsigned char>(src[i]);
        uint32_t value = 0;
        if (ch == '=') {
            ++pads;
        } else if (b64_char_values[ch] != kNoValue) {
            pads = 0;
            value = b64_char_values[ch];
        } else {
            const bool reject = ch != '\r' && ch != '\n' &&
                                (is_blank(ch) ? (flags & B64_F_STOP_ON_BAD_WHITESPACE) != 0
                                              : (flags & B64_F_STOP_ON_UNKNOWN_CHAR) != 0);
            if (reject) {
                *bad_char = src + i;
                *rc = B64_RC_DATA_ERROR;
                return 0;
            }
            continue;
        }
        group = (group << 6) | value;
        if (++count < 4) {
            continue;
        }
        // Three or four fill characters leave less than one whole byte: nothing to write.
        const uint32_t bytes = pads >= 3 ? 0 : 3 - pads;
        for (uint32_t b = 0; b < bytes; ++b) {
            dest[written++] = static_cast<uint8_t>(group >> (16 - 8 * b));
        }
        if (pads > 0) {
            break;
        }
        group = 0;
        count = 0;
    }
    return written;
}

} // namespace

uint32_t b64_encode_flat(const void *src, uint32_t src_size, char *dest, uint32_t dest_len) {
    int32_t rc = B64_RC_OK;
    return b64_encode2(src, src_size, dest, dest_len, B64_F_LINE_LEN_INFINITE, 0, &rc);
}

uint32_t b64_encode2(const void *src, uint32_t src_size, char *dest, uint32_t dest_len,
                     uint32_t flags, int32_t line_len, int32_t *rc) {
    int32_t local_rc = B64_RC_OK;
    int32_t *out_rc = rc != nullptr ? rc : &local_rc;
    uint32_t len = 0;
    // Broken preconditions answer with a code instead of stopping the program: a release build
    // must survive a caller's mistake.
    if (!pick_line_len(flags, line_len, &len) || (src == nullptr && src_size > 0)) {
        *out_rc = B64_RC_BAD_ARGUMENT;
        return 0;
    }
    return encode(static_cast<const uint8_t *>(src), src_size, dest, dest_len, len, out_rc);
}

uint32_t b64_decode_lenient(const char *src, uint32_t src_len, void *dest, uint32_t dest_size) {
    return b64_decode_flags(src, src_len, dest, dest_size, 0, nullptr, nullptr);
}

uint32_t b64_decode_flags(const char *src, uint32_t src_len, void *dest, uint32_t dest_size,
                          uint32_t flags, const char **bad_char, int32_t *rc) {
    const char *local_bad = nullptr;
    int32_t local_rc = B64_RC_OK;
    return decode(src, src_len, static_cast<uint8_t *>(dest), dest_size, flags,
                  bad_char != nullptr ? bad_char : &local_bad, rc != nullptr ? rc : &local_rc);
}
