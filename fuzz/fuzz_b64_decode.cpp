// Fuzz target for the base64 decoder. The first byte picks the stop flags and a line length
// for the round trip, the second how far the destination size strays from the maximum the
// decoder asks for; the rest is the text. Checked: nothing is written past the destination or
// past the reported result, the result codes match what happened, a rejected character is one
// the flags reject, the lenient decoder agrees with a strict decode of the filtered text, and
// encoding the same bytes decodes back to them.
#include "b64.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr uint8_t kCanary = 0xA5;

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

bool is_blank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\b' || c == '\v';
}

bool rejected_by(unsigned char c, uint32_t flags) {
    if (c == '=' || c == '\r' || c == '\n' || b64_char_values[c] != 255) {
        return false;
    }
    return is_blank(c) ? (flags & B64_F_STOP_ON_BAD_WHITESPACE) != 0
                       : (flags & B64_F_STOP_ON_UNKNOWN_CHAR) != 0;
}

void check_decode(const char *text, uint32_t len, uint32_t flags, int size_shift) {
    int32_t rc = -1;
    const char *bad = text;
    const uint32_t most = b64_decode_flags(text, len, nullptr, 0, flags, &bad, &rc);
    check(rc == B64_RC_OK && bad == nullptr && most == 3 * ((uint64_t{len} + 3) / 4));

    const int64_t wanted = int64_t{most} + size_shift;
    const auto size = static_cast<uint32_t>(wanted < 0 ? 0 : wanted);
    // The exact size on the heap lets the address sanitizer catch any write past it. An empty
    // destination still gets one byte: a null pointer would turn the call into a size query.
    std::vector<uint8_t> out(size > 0 ? size : 1, kCanary);
    bad = text;
    const uint32_t n = b64_decode_flags(text, len, out.data(), size, flags, &bad, &rc);
    check(n <= size && n <= most);
    switch (rc) {
    case B64_RC_OK:
        check(bad == nullptr && size >= most);
        for (size_t i = n; i < out.size(); ++i) {
            check(out[i] == kCanary);
        }
        break;
    case B64_RC_INSUFFICIENT_BUFFER:
        check(n == 0 && bad == nullptr && size < most);
        for (uint8_t b : out) {
            check(b == kCanary);
        }
        break;
    case B64_RC_DATA_ERROR:
        check(n == 0 && bad >= text && bad < text + len && size >= most);
        check(rejected_by(static_cast<unsigned char>(*bad), flags));
        for (const char *p = text; p < bad; ++p) {
            check(!rejected_by(static_cast<unsigned char>(*p), flags));
        }
        break;
    default:
        check(false);
    }
    if (size < most) {
        return;
    }

    // The lenient decoder equals a strict decode of only the alphabet and "=" characters.
    std::vector<uint8_t> lenient(most ? most : 1);
    const uint32_t ln = b64_decode_lenient(text, len, lenient.data(), most);
    std::vector<char> kept;
    for (uint32_t i = 0; i < len; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '=' || b64_char_values[c] != 255) {
            kept.push_back(text[i]);
        }
    }
    std::vector<uint8_t> strict(most ? most : 1);
    const uint32_t sn =
        b64_decode_flags(kept.data(), static_cast<uint32_t>(kept.size()), strict.data(), most,
                         B64_F_STOP_ON_UNKNOWN_CHAR | B64_F_STOP_ON_BAD_WHITESPACE, nullptr, &rc);
    check(rc == B64_RC_OK && sn == ln && std::memcmp(strict.data(), lenient.data(), ln) == 0);
    if (flags == 0) {
        check(n == ln && std::memcmp(out.data(), lenient.data(), ln) == 0);
    }
}

void check_round_trip(const uint8_t *data, uint32_t size, uint32_t choice) {
    int32_t rc = -1;
    const int32_t line_len = choice == B64_F_LINE_LEN_USE_PARAM ? 8 : 0;
    const uint32_t need = b64_encode2(data, size, nullptr, 0, choice, line_len, &rc);
    check(rc == B64_RC_OK);
    std::vector<char> text(need);
    check(b64_encode2(data, size, text.data(), need, choice, line_len, &rc) == need);
    check(rc == B64_RC_OK);
    std::vector<uint8_t> back(3 * ((uint64_t{need} + 3) / 4) + 1);
    const uint32_t n =
        b64_decode_flags(text.data(), need, back.data(), static_cast<uint32_t>(back.size()),
                         B64_F_STOP_ON_UNKNOWN_CHAR | B64_F_STOP_ON_BAD_WHITESPACE, nullptr, &rc);
    check(rc == B64_RC_OK && n == size && (size == 0 || std::memcmp(back.data(), data, size) == 0));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2 || size > (1u << 20)) {
        return 0;
    }
    const uint32_t flags = (data[0] & 1u ? B64_F_STOP_ON_UNKNOWN_CHAR : 0u) |
                           (data[0] & 2u ? B64_F_STOP_ON_BAD_WHITESPACE : 0u);
    const uint32_t choice = (data[0] >> 2) & 3u;
    const int size_shift = static_cast<int>(data[1] % 9) - 4;
    // Copy the text so that a read past its end trips the address sanitizer.
    const std::vector<char> text(data + 2, data + size);
    const auto len = static_cast<uint32_t>(text.size());
    check_decode(text.data(), len, flags, size_shift);
    check_round_trip(data + 2, len, choice);
    return 0;
}
