// Tests of the base64 codec: the standard test vectors both ways, buffer sizing, line breaks,
// the decoder's skipping and stop flags, and how padding ends a text.
#include "b64.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kCanary = '#';

uint32_t size32(const std::string &s) {
    return static_cast<uint32_t>(s.size());
}

// Encodes into a buffer larger than needed (filled with a canary) and checks that nothing past
// the counted characters was written.
std::string encode(const std::string &in, uint32_t flags = B64_F_LINE_LEN_INFINITE,
                   int32_t line_len = 0) {
    int32_t rc = -1;
    const uint32_t need = b64_encode2(in.data(), size32(in), nullptr, 0, flags, line_len, &rc);
    EXPECT_EQ(rc, B64_RC_OK);
    std::string out(need + 8, kCanary);
    const uint32_t n =
        b64_encode2(in.data(), size32(in), out.data(), size32(out), flags, line_len, &rc);
    EXPECT_EQ(rc, B64_RC_OK);
    EXPECT_EQ(n, need);
    EXPECT_EQ(out.substr(n), std::string(8, kCanary)) << "wrote past the counted size";
    return out.substr(0, n);
}

struct Decoded {
    std::string bytes;
    int32_t rc;
    const char *bad;
};

Decoded decode(const std::string &in, uint32_t flags = 0) {
    Decoded d{"", -1, in.data()};
    const uint32_t most = b64_decode_flags(in.data(), size32(in), nullptr, 0, flags, &d.bad, &d.rc);
    EXPECT_EQ(most, 3 * ((in.size() + 3) / 4));
    std::string out(most, kCanary);
    const uint32_t n =
        b64_decode_flags(in.data(), size32(in), out.data(), most, flags, &d.bad, &d.rc);
    d.bytes = out.substr(0, n);
    return d;
}

TEST(b64_tables, values_invert_the_alphabet) {
    ASSERT_EQ(std::strlen(b64_chars), 64u);
    int mapped = 0;
    for (int c = 0; c < 256; ++c) {
        const uint8_t v = b64_char_values[c];
        if (v != 255) {
            ASSERT_LT(v, 64);
            EXPECT_EQ(static_cast<unsigned char>(b64_chars[v]), c);
            ++mapped;
        }
    }
    EXPECT_EQ(mapped, 64);
    EXPECT_EQ(b64_char_values['='], 255);
}

// RFC 4648 section 10, both ways, plus the 9-byte block of the authorization exchange.
TEST(b64_codec, standard_vectors_both_ways) {
    const struct {
        std::string plain, text;
    } cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\x00\xff\x10\x80\x7f\x01\xfe\x3e\x3f", 9), "AP8QgH8B/j4/"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(encode(c.plain), c.text);
        std::string flat(c.text.size() + 1, kCanary);
        EXPECT_EQ(b64_encode_flat(c.plain.data(), size32(c.plain), flat.data(), size32(c.text)),
                  c.text.size());
        EXPECT_EQ(flat.substr(0, c.text.size()), c.text);
        const Decoded d = decode(c.text, B64_F_STOP_ON_UNKNOWN_CHAR | B64_F_STOP_ON_BAD_WHITESPACE);
        EXPECT_EQ(d.rc, B64_RC_OK);
        EXPECT_EQ(d.bad, nullptr);
        EXPECT_EQ(d.bytes, c.plain);
        std::string lenient(d.bytes.size() + 3, kCanary);
        EXPECT_EQ(
            b64_decode_lenient(c.text.data(), size32(c.text), lenient.data(), size32(lenient)),
            c.plain.size());
    }
}

TEST(b64_codec, every_byte_value_round_trips) {
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all.push_back(static_cast<char>(i));
    }
    for (size_t len = 0; len <= all.size(); len += 37) {
        const std::string part = all.substr(all.size() - len);
        EXPECT_EQ(decode(encode(part)).bytes, part);
        EXPECT_EQ(decode(encode(part, B64_F_LINE_LEN_64)).bytes, part);
    }
}

TEST(b64_encode, too_small_buffer_writes_nothing) {
    const std::string in = "foobar1";
    std::string out(11, kCanary); // 12 needed
    int32_t rc = -1;
    EXPECT_EQ(b64_encode2(in.data(), size32(in), out.data(), size32(out), B64_F_LINE_LEN_INFINITE,
                          0, &rc),
              0u);
    EXPECT_EQ(rc, B64_RC_INSUFFICIENT_BUFFER);
    EXPECT_EQ(out, std::string(11, kCanary));
    EXPECT_EQ(b64_encode_flat(in.data(), size32(in), out.data(), size32(out)), 0u);
    EXPECT_EQ(out, std::string(11, kCanary));
}

TEST(b64_encode, line_breaks_go_between_lines_only) {
    const struct {
        uint32_t bytes, flags;
        int32_t line_len;
        std::vector<size_t> line_lengths;
    } cases[] = {
        {48, B64_F_LINE_LEN_64, 0, {64}},      // exactly one full line: no CR LF at the end
        {49, B64_F_LINE_LEN_64, 0, {64, 4}},   // the padded group starts a new line
        {96, B64_F_LINE_LEN_64, 0, {64, 64}},  //
        {57, B64_F_LINE_LEN_76, 0, {76}},      //
        {100, B64_F_LINE_LEN_76, 0, {76, 60}}, //
        {100, B64_F_LINE_LEN_USE_PARAM, -1, {64, 64, 8}}, // negative length means 64
        {10, B64_F_LINE_LEN_USE_PARAM, 8, {8, 8}},        //
        {12, B64_F_LINE_LEN_USE_PARAM, 4, {4, 4, 4, 4}},
        {100, B64_F_LINE_LEN_USE_PARAM, 0, {136}}, // 0 means one line
        {100, B64_F_LINE_LEN_INFINITE, 64, {136}}, // the argument only counts with choice 0
        {0, B64_F_LINE_LEN_64, 0, {0}},            // empty input needs no characters at all
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.bytes << " bytes, flags " << c.flags);
        std::string in(c.bytes, '\x5a');
        const std::string text = encode(in, c.flags, c.line_len);
        std::vector<size_t> lines;
        size_t start = 0;
        for (size_t brk; (brk = text.find("\r\n", start)) != std::string::npos; start = brk + 2) {
            lines.push_back(brk - start);
        }
        lines.push_back(text.size() - start);
        EXPECT_EQ(lines, c.line_lengths);
        EXPECT_EQ(text.find_first_of("\r\n"), text.find("\r\n")); // no lone CR or LF
        EXPECT_EQ(decode(text).bytes, in);
        // A buffer of exactly the counted size suffices.
        std::string exact(text.size(), kCanary);
        int32_t rc = -1;
        EXPECT_EQ(b64_encode2(in.data(), size32(in), exact.data(), size32(exact), c.flags,
                              c.line_len, &rc),
                  text.size());
        EXPECT_EQ(exact, text);
    }
}

TEST(b64_encode, broken_preconditions_answer_bad_argument) {
    const std::string in = "foobar";
    const struct {
        uint32_t flags;
        int32_t line_len;
        const void *src;
    } cases[] = {
        {4, 0, in.data()},
        {15, 0, in.data()},
        {B64_F_LINE_LEN_USE_PARAM, 6, in.data()},
        {B64_F_LINE_LEN_USE_PARAM, 2147483647, in.data()},
        {B64_F_LINE_LEN_INFINITE, 0, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "flags " << c.flags << ", length " << c.line_len);
        std::string out(32, kCanary);
        int32_t rc = -1;
        EXPECT_EQ(b64_encode2(c.src, 6, out.data(), size32(out), c.flags, c.line_len, &rc), 0u);
        EXPECT_EQ(rc, B64_RC_BAD_ARGUMENT);
        EXPECT_EQ(out, std::string(32, kCanary));
        EXPECT_EQ(b64_encode2(c.src, 6, nullptr, 0, c.flags, c.line_len, nullptr), 0u);
    }
}

TEST(b64_encode, size_beyond_32_bits_is_refused) {
    int32_t rc = -1;
    const char byte = 0;
    EXPECT_EQ(b64_encode2(&byte, 0xFFFFFFFFu, nullptr, 0, B64_F_LINE_LEN_INFINITE, 0, &rc), 0u);
    EXPECT_EQ(rc, B64_RC_INSUFFICIENT_BUFFER);
}

TEST(b64_decode, too_small_buffer_writes_nothing) {
    const std::string in = "Zm9v\r\nYmFy"; // 10 characters: room for 9 bytes is required
    std::string out(8, kCanary);
    int32_t rc = -1;
    EXPECT_EQ(b64_decode_flags(in.data(), size32(in), out.data(), size32(out), 0, nullptr, &rc),
              0u);
    EXPECT_EQ(rc, B64_RC_INSUFFICIENT_BUFFER);
    EXPECT_EQ(out, std::string(8, kCanary));
    EXPECT_EQ(b64_decode_lenient(in.data(), size32(in), out.data(), size32(out)), 0u);
}

TEST(b64_decode, skipping_and_stop_flags) {
    constexpr uint32_t kUnknown = B64_F_STOP_ON_UNKNOWN_CHAR;
    constexpr uint32_t kBlank = B64_F_STOP_ON_BAD_WHITESPACE;
    const struct {
        std::string text;
        uint32_t flags;
        std::string bytes; // expected when accepted
        int bad_at;        // position of the rejected character, or -1
    } cases[] = {
        {"Zm9v\r\nYmFy", kUnknown | kBlank, "foobar", -1}, // line ends are always skipped
        {"Zm\n9vYm\rFy\r\n", kUnknown | kBlank, "foobar", -1},
        {"Zm9v!YmFy", 0, "foobar", -1},
        {"Zm9v!YmFy", kBlank, "foobar", -1},
        {"Zm9v!YmFy", kUnknown, "", 4},
        {std::string("Zm9v\0YmFy", 9), kUnknown, "", 4}, // a zero byte is just a character
        {"Zm9v\fYmFy", kUnknown, "", 4},                 // form feed is not blank-like
        {"Zm 9\tv\bY\vmFy", 0, "foobar", -1},
        {"Zm 9\tv\bY\vmFy", kUnknown, "foobar", -1},
        {"Zm9v Ym", kBlank, "", 4},
        {"Zm9v\tY", kBlank, "", 4},
        {"Zm9v\bY", kBlank, "", 4},
        {"Zm9v\vY", kBlank, "", 4},
        {"Zm9v\xc3\xa9", kUnknown, "", 4},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.text << "\" flags " << c.flags);
        const Decoded d = decode(c.text, c.flags);
        if (c.bad_at < 0) {
            EXPECT_EQ(d.rc, B64_RC_OK);
            EXPECT_EQ(d.bad, nullptr);
            EXPECT_EQ(d.bytes, c.bytes);
        } else {
            EXPECT_EQ(d.rc, B64_RC_DATA_ERROR);
            EXPECT_EQ(d.bad, c.text.data() + c.bad_at);
            EXPECT_EQ(d.bytes, "");
        }
    }
}

TEST(b64_decode, padding_ends_the_text_and_leftovers_are_dropped) {
    const struct {
        std::string text, bytes;
    } cases[] = {
        {"Zg==Zm9v", "f"},       // nothing after a padded group is read
        {"Zm8=!!!!", "fo"},      //
        {"Zg==", "f"},           //
        {"Zm9vYg", "foo"},       // two values left over: dropped
        {"Zm9vY", "foo"},        //
        {"Zm9vYmE", "foo"},      //
        {"Zg=", ""},             // an unfinished padded group is dropped too
        {"Zm9vY===Zm9v", "foo"}, // three fill characters hold no whole byte
        {"====Zm9v", ""},        //
        {"Z=g=", "d\x08"},       // "=" followed by a value counts as value 0
        {"", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        const Decoded d = decode(c.text, B64_F_STOP_ON_UNKNOWN_CHAR);
        EXPECT_EQ(d.rc, B64_RC_OK);
        EXPECT_EQ(d.bytes, c.bytes);
    }
}

TEST(b64_decode, rejection_keeps_earlier_groups_and_clears_bad_char_on_success) {
    const std::string in = "Zm9v!YmFy";
    std::string out(9, kCanary);
    const char *bad = nullptr;
    int32_t rc = -1;
    EXPECT_EQ(b64_decode_flags(in.data(), size32(in), out.data(), size32(out),
                               B64_F_STOP_ON_UNKNOWN_CHAR, &bad, &rc),
              0u);
    EXPECT_EQ(rc, B64_RC_DATA_ERROR);
    EXPECT_EQ(bad, in.data() + 4);
    EXPECT_EQ(out.substr(0, 3), "foo"); // groups before the rejection are already written
    // A later successful call clears the position it was given.
    EXPECT_EQ(b64_decode_flags(in.data(), size32(in), out.data(), size32(out), 0, &bad, &rc), 6u);
    EXPECT_EQ(rc, B64_RC_OK);
    EXPECT_EQ(bad, nullptr);
}

TEST(b64_decode, null_source_with_length_is_bad_argument) {
    char out[3];
    int32_t rc = -1;
    EXPECT_EQ(b64_decode_flags(nullptr, 4, out, 3, 0, nullptr, &rc), 0u);
    EXPECT_EQ(rc, B64_RC_BAD_ARGUMENT);
    EXPECT_EQ(b64_decode_flags(nullptr, 0, out, 3, 0, nullptr, &rc), 0u);
    EXPECT_EQ(rc, B64_RC_OK);
}

} // namespace
