// TEA encryption, chaining and the byte order of blocks.
#include "kvquiet_tea.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

kvquiet_tea_state encrypted(uint32_t w0, uint32_t w1, const kvquiet_tea_key &key) {
    kvquiet_tea_state s{{w0, w1}};
    kvquiet_tea_encrypt(&s, &key);
    return s;
}

} // namespace

// Published TEA vectors; the keyed ones tell the four key words and their roles apart.
TEST(tea, known_vectors) {
    struct {
        uint32_t k[4];
        uint32_t plain[2];
        uint32_t cipher[2];
    } cases[] = {
        {{0, 0, 0, 0}, {0, 0}, {0x41EA3A0AU, 0x94BAA940U}},
        {{0x00112233U, 0x44556677U, 0x8899AABBU, 0xCCDDEEFFU},
         {0x01234567U, 0x89ABCDEFU},
         {0x126C6B92U, 0xC0653A3EU}},
        {{0x00112233U, 0x44556677U, 0x8899AABBU, 0xCCDDEEFFU},
         {0x01020304U, 0x05060708U},
         {0xDEB1C0A2U, 0x7E745DB3U}},
    };
    for (const auto &tc : cases) {
        kvquiet_tea_key key;
        kvquiet_tea_key_set(&key, tc.k[0], tc.k[1], tc.k[2], tc.k[3]);
        EXPECT_EQ(key.delta, 0x9E3779B9U);
        const kvquiet_tea_state s = encrypted(tc.plain[0], tc.plain[1], key);
        EXPECT_EQ(s.w[0], tc.cipher[0]) << std::hex << tc.plain[0];
        EXPECT_EQ(s.w[1], tc.cipher[1]) << std::hex << tc.plain[0];
    }
}

TEST(tea, store_is_big_endian) {
    const kvquiet_tea_state s{{0x01020304U, 0xA0B0C0D0U}};
    uint8_t bytes[8];
    kvquiet_tea_store(&s, bytes);
    const uint8_t expected[8] = {0x01, 0x02, 0x03, 0x04, 0xA0, 0xB0, 0xC0, 0xD0};
    EXPECT_EQ(std::memcmp(bytes, expected, 8), 0);
}

// Chaining from a zero state is the encryption of the block's big-endian words; a second
// block is folded into the first one's result before it is encrypted.
TEST(tea, chain_of_blocks) {
    kvquiet_tea_key key;
    kvquiet_tea_key_set(&key, 1, 2, 3, 4);
    const uint8_t b1[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    const uint8_t b2[8] = {0xFF, 0, 0, 0, 0, 0, 0, 0x01};

    kvquiet_tea_state s{{0, 0}};
    kvquiet_tea_chain(&s, b1, &key);
    const kvquiet_tea_state first = encrypted(0x01234567U, 0x89ABCDEFU, key);
    EXPECT_EQ(s.w[0], first.w[0]);
    EXPECT_EQ(s.w[1], first.w[1]);

    kvquiet_tea_chain(&s, b2, &key);
    const kvquiet_tea_state second = encrypted(first.w[0] ^ 0xFF000000U, first.w[1] ^ 1U, key);
    EXPECT_EQ(s.w[0], second.w[0]);
    EXPECT_EQ(s.w[1], second.w[1]);
}

// Comparing a chained value with a block: zero exactly when every byte matches.
TEST(tea, xor_is_zero_only_for_an_equal_block) {
    kvquiet_tea_key key;
    kvquiet_tea_key_set(&key, 0, 0, 0, 0);
    const uint8_t block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    kvquiet_tea_state chained{{0, 0}};
    kvquiet_tea_chain(&chained, block, &key);
    uint8_t stored[8];
    kvquiet_tea_store(&chained, stored);

    kvquiet_tea_state s = chained;
    kvquiet_tea_xor(&s, stored);
    EXPECT_EQ(s.w[0], 0U);
    EXPECT_EQ(s.w[1], 0U);
    for (int i = 0; i < 8; ++i) {
        uint8_t other[8];
        std::memcpy(other, stored, 8);
        other[i] ^= 0x80;
        s = chained;
        kvquiet_tea_xor(&s, other);
        EXPECT_NE(s.w[0] | s.w[1], 0U) << "byte " << i;
    }
}
