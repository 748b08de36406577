// Reading the device's configuration reply into a kvquiet_conf_struct.
//
// The reply is one line of pieces separated by ";". The parser walks the caller's text in
// place, one piece at a time, and never copies a piece into a working buffer: every piece is a
// [begin, end) range of the original text, so an arbitrarily long reply can neither overflow
// anything nor be read past its terminator.
#include "kvquiet_conf_fields.h"

#include <cstring>

using namespace kvquiet_conf_detail;

namespace {

// The firmware text starts after the first "=" found from this character of the first piece.
constexpr size_t firmware_search_from = 6;

const char reply_marker[] = "WEB51=";

// End of the piece that starts at p: the next ";" or the terminator.
const char *piece_end(const char *p) {
    while (*p != '\0' && *p != ';') {
        ++p;
    }
    return p;
}

bool piece_contains(const char *begin, const char *end, const char *needle) {
    const size_t n = std::strlen(needle);
    for (const char *p = begin; static_cast<size_t>(end - p) >= n; ++p) {
        if (std::memcmp(p, needle, n) == 0) {
            return true;
        }
    }
    return false;
}

// Copies [begin, end) into a text field, cut to capacity less the terminator, and zero-fills
// the rest so that records stay comparable byte by byte.
void store_text(char *dst, size_t capacity, const char *begin, const char *end) {
    size_t n = static_cast<size_t>(end - begin);
    if (n > capacity - 1U) {
        n = capacity - 1U;
    }
    std::memcpy(dst, begin, n);
    std::memset(dst + n, 0, capacity - n);
}

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Converts like atol: leading white space, an optional sign, decimal digits up to the first
// other character; no digits give 0. The result saturates at the limits of int32_t (as the
// runtime's atol does with a 32-bit long) instead of overflowing.
int32_t parse_number(const char *p, const char *end) {
    while (p < end && is_space(*p)) {
        ++p;
    }
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    // One past INT32_MAX is the largest magnitude that matters (INT32_MIN); stop growing there.
    constexpr int64_t limit = int64_t{INT32_MAX} + 1;
    int64_t magnitude = 0;
    while (p < end && *p >= '0' && *p <= '9') {
        if (magnitude < limit) {
            magnitude = magnitude * 10 + (*p - '0');
        }
        ++p;
    }
    if (magnitude > limit) {
        magnitude = limit;
    }
    const int64_t value = negative ? -magnitude : magnitude;
    return value > INT32_MAX ? INT32_MAX : static_cast<int32_t>(value);
}

void store_value(kvquiet_conf_struct *conf, const field &f, const char *begin, const char *end) {
    char *p = field_ptr(conf, f);
    switch (f.kind) {
    case field_kind::i32: {
        const int32_t v = parse_number(begin, end);
        std::memcpy(p, &v, sizeof v);
        break;
    }
    case field_kind::i8: {
        // Only the low 8 bits are kept: "&D264" stores 8.
        const uint32_t bits = static_cast<uint32_t>(parse_number(begin, end)) & 0xFFU;
        *reinterpret_cast<int8_t *>(p) = static_cast<int8_t>(static_cast<uint8_t>(bits));
        break;
    }
    case field_kind::text:
        store_text(p, f.capacity, begin, end);
        break;
    }
}

const field *find_field(char group, char letter) {
    for (const field &f : fields) {
        if (f.group == group && f.letter == letter && f.digit == 0) {
            return &f;
        }
    }
    return nullptr;
}

// "%Kd..." stores its text in key d and every key after it, so a reply that lists the keys
// 0 to 3 in order leaves each with its own text. The value starts after the digit and the
// separator behind it; a piece too short to have one gives the empty text.
void apply_key(kvquiet_conf_struct *conf, const char *begin, const char *end) {
    const char digit = begin[2];
    if (digit < '0' || digit > '3') {
        return;
    }
    const char *value = end - begin > 4 ? begin + 4 : end;
    for (const field &f : fields) {
        if (f.group == '%' && f.letter == 'K' && f.digit >= digit) {
            store_value(conf, f, value, end);
        }
    }
}

// One later piece: its first character picks the group; a name that matches no field, and
// the empty piece, change nothing.
void apply_piece(kvquiet_conf_struct *conf, const char *begin, const char *end) {
    const ptrdiff_t len = end - begin;
    if (len == 0) {
        return;
    }
    const char first = begin[0];
    if (first == '&' || first == '%' || first == '#' || first == '*') {
        if (len < 2) {
            return;
        }
        if (first == '%' && begin[1] == 'K') {
            if (len >= 3) {
                apply_key(conf, begin, end);
            }
            return;
        }
        const field *f = find_field(first, begin[1]);
        if (f != nullptr) {
            store_value(conf, *f, begin + 2, end);
        }
        return;
    }
    const field *f = find_field(0, first);
    if (f != nullptr) {
        store_value(conf, *f, begin + 1, end);
    }
}

} // namespace

int kvquiet_conf_reply_parse(const char *text, kvquiet_conf_struct *conf) {
    if (text == nullptr || conf == nullptr) {
        return -1;
    }
    const char *first_end = piece_end(text);
    // A reply without the marker is not a configuration line: reject it before anything
    // of the record changes.
    if (!piece_contains(text, first_end, reply_marker)) {
        return -1;
    }
    if (static_cast<size_t>(first_end - text) > firmware_search_from) {
        const char *eq = text + firmware_search_from;
        while (eq < first_end && *eq != '=') {
            ++eq;
        }
        if (eq < first_end) {
            store_text(conf->firmware, sizeof conf->firmware, eq + 1, first_end);
        }
    }
    const char *p = first_end;
    while (*p == ';') {
        const char *begin = p + 1;
        p = piece_end(begin);
        apply_piece(conf, begin, p);
    }
    return 0;
}
