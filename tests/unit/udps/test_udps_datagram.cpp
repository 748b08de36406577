// The discovery datagrams: search request, answer decoding (with the extension list and its
// bounds), signature check, and the exact bytes of setup datagrams.
#include "kvudps_internal.h"
#include "kvudps_keys.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

const kvquiet_tea_key kSearchKey = udps::default_search_key();

uint32_t be32(const uint8_t *b) {
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

// The signature computed step by step from the TEA primitives: five blocks chained from zero.
Bytes expected_signature(const uint8_t *record, const kvquiet_tea_key &key) {
    kvquiet_tea_state s{{0, 0}};
    for (int block = 0; block < 5; ++block) {
        s.w[0] ^= be32(record + 8 * block);
        s.w[1] ^= be32(record + 8 * block + 4);
        kvquiet_tea_encrypt(&s, &key);
    }
    Bytes out(8);
    kvquiet_tea_store(&s, out.data());
    return out;
}

// A signed answer: hardware address 0A:1B:2C:3D:4E:5F, ip 192.168.1.42, mask 255.255.255.0,
// addr3-5 10.0.0.3-5, the given version and type bytes, mode 0xA5, spare 0x77, port 8080,
// echo block 1-8; then `tail` (an extension list, say).
Bytes answer(uint8_t version, uint8_t type_byte, const Bytes &tail = {}) {
    Bytes d = {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F, 192,  168,  1, 42, 255, 255,
               255,  0,    10,   0,    0,    3,    10,   0,    0, 4,  0,   0,
               10,   0,    0,    5,    0xA5, 0x77, 0x1F, 0x90, 1, 2,  3,   4,
               5,    6,    7,    8,    0,    0,    0,    0,    0, 0,  0,   0};
    d[22] = version;
    d[23] = type_byte;
    udps::sign(d.data(), kSearchKey, d.data() + 40);
    d.insert(d.end(), tail.begin(), tail.end());
    return d;
}

Bytes text_entry(uint8_t type, const std::string &text) {
    Bytes e(2 + text.size());
    e[0] = type;
    e[1] = static_cast<uint8_t>(text.size());
    std::memcpy(e.data() + 2, text.data(), text.size());
    return e;
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

kvudps_module_struct decode(const Bytes &d) {
    kvudps_module_struct r;
    uint8_t raw[6];
    // An exactly sized copy, so that the sanitizers catch any read past the datagram.
    std::vector<uint8_t> exact(d);
    udps::decode_answer(exact.data(), exact.size(), r, raw);
    EXPECT_EQ(std::memcmp(raw, d.data(), 6), 0);
    return r;
}

constexpr uint8_t T31 = 31 << 3;

} // namespace

TEST(udps_request, is_48_unsigned_bytes_of_broadcast_address_text_and_domain) {
    uint8_t r[48];
    udps::build_search_request(r);
    const Bytes ff(6, 0xFF);
    EXPECT_EQ(std::memcmp(r, ff.data(), 6), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(r) + 6, 29), "IIIIMMMMFFFFWWWWUC12345678(c)");
    EXPECT_EQ(std::string(reinterpret_cast<char *>(r) + 35, 13), KVUDPS_DOMAIN_NAME);
    EXPECT_EQ(std::strlen(KVUDPS_DOMAIN_NAME), 13u);
    EXPECT_FALSE(udps::check(r, sizeof r, kSearchKey));
}

TEST(udps_decode, fixed_fields) {
    const kvudps_module_struct r = decode(answer(0x2A, 0x4B));
    EXPECT_STREQ(r.mac, "0A:1B:2C:3D:4E:5F");
    EXPECT_STREQ(r.ip, "192.168.1.42");
    EXPECT_STREQ(r.mask, "255.255.255.0");
    EXPECT_STREQ(r.addr3, "10.0.0.3");
    EXPECT_STREQ(r.addr4, "10.0.0.4");
    EXPECT_STREQ(r.addr5, "10.0.0.5");
    EXPECT_EQ(r.port, 8080);
    EXPECT_EQ(r.raw_mode, 0xA5);
    EXPECT_EQ(r.raw_spare, 0x77);
    EXPECT_EQ(r.raw_version, 0x2A);
    EXPECT_EQ(r.raw_type, 0x4B);
    // 0xA5: bits 0, 2, 5 (and 7, which no flag shows).
    const uint8_t bits[6] = {r.mode_bit0, r.mode_bit1, r.mode_bit2,
                             r.mode_bit3, r.mode_bit4, r.mode_bit5};
    const uint8_t want[6] = {1, 0, 1, 0, 0, 1};
    EXPECT_EQ(std::memcmp(bits, want, 6), 0);
    const uint8_t echo[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(std::memcmp(r.echo_block, echo, 8), 0);
    EXPECT_EQ(std::memcmp(r.signature, answer(0x2A, 0x4B).data() + 40, 8), 0);
    EXPECT_STREQ(r.name, "");
}

struct DecodeCase {
    const char *what;
    uint8_t version, type_byte;
    Bytes tail;
    uint16_t type;
    std::string firmware;
    std::string type_name;
    std::string name;
    uint8_t has_name;
    uint8_t features; // feature0 in bit 0 ... feature5 in bit 5
    uint16_t port2, feature_value;
};

void PrintTo(const DecodeCase &c, std::ostream *os) {
    *os << c.what;
}

class udps_decode_table : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(udps_decode_table, gives_type_version_names_and_flags) {
    const DecodeCase &c = GetParam();
    const kvudps_module_struct r = decode(answer(c.version, c.type_byte, c.tail));
    EXPECT_EQ(r.type, c.type);
    EXPECT_EQ(std::string(r.firmware), c.firmware);
    EXPECT_EQ(std::string(r.type_name), c.type_name);
    EXPECT_EQ(std::string(r.name), c.name);
    EXPECT_EQ(r.has_name, c.has_name);
    const uint8_t features =
        static_cast<uint8_t>(r.feature0 | r.feature1 << 1 | r.feature2 << 2 | r.feature3 << 3 |
                             r.feature4 << 4 | r.feature5 << 5);
    EXPECT_EQ(features, c.features);
    EXPECT_EQ(r.port2, c.port2);
    EXPECT_EQ(r.feature_value, c.feature_value);
}

const std::string k150(150, 'n');
const std::string k120(120, 't');

INSTANTIATE_TEST_SUITE_P(
    cases, udps_decode_table,
    ::testing::Values(
        DecodeCase{"quillon", 0x2A, 0x4B, {}, 9, "3.2.10", "Quillon", "", 0, 0x38, 0, 99},
        DecodeCase{"bytes past 48 ignored without extension list", 0x2A, 0x4B,
                   text_entry(2, "ignored"), 9, "3.2.10", "Quillon", "", 0, 0x38, 0, 99},
        DecodeCase{"type 0", 0x00, 0x00, {}, 0, "0.0.0", "Unspecified device", "", 0, 0x38, 0, 99},
        DecodeCase{"type 1", 0x00, 0x08, {}, 1, "0.0.0", "Development version", "", 0, 0x20, 0, 99},
        DecodeCase{
            "named model 2", 0x11, 0x12, {}, 2, "2.1.1", "Serial Server S2", "", 1, 0x26, 8080, 99},
        DecodeCase{"type 5 has port2 but no name",
                   0x00,
                   0x28,
                   {},
                   5,
                   "0.0.0",
                   "I/O Controller C1",
                   "",
                   0,
                   0x22,
                   8080,
                   99},
        DecodeCase{"type 27 is reserved",
                   0xFF,
                   0xDF,
                   {},
                   27,
                   "7.15.15",
                   "Reserved for future devices",
                   "",
                   0,
                   0x20,
                   0,
                   99},
        DecodeCase{"entry 4 sets the type, the name stays reserved",
                   0x2A,
                   T31 | 3,
                   {4, 2, 0x00, 0x09, 0xFF},
                   9,
                   "3.2.10",
                   "Reserved for future devices",
                   "",
                   0,
                   0,
                   0,
                   0},
        DecodeCase{"unknown entry skipped by its length", 0x00, T31,
                   cat({{7, 3, 0xAA, 0xBB, 0xCC}, text_entry(2, "Boiler room"), {0xFF}}), 31,
                   "0.0.0", "Reserved for future devices", "Boiler room", 1, 0, 0, 0},
        DecodeCase{"every entry", 0x10, T31,
                   cat({{1, 1, 0x3F},
                        text_entry(3, "Custom Box"),
                        {5, 2, 0x01, 0xBB, 6, 2, 0x01, 0x02},
                        text_entry(2, "Lobby"),
                        {0xFF, 2, 1, 'X'}}),
                   31, "0.1.0", "Custom Box", "Lobby", 1, 0x3F, 443, 258},
        DecodeCase{"number values read from their first bytes",
                   0x00,
                   T31,
                   {1, 3, 0x02, 0xEE, 0xEE, 5, 4, 0x12, 0x34, 0x56, 0x78, 0xFF},
                   31,
                   "0.0.0",
                   "Reserved for future devices",
                   "",
                   0,
                   0x02,
                   0x1234,
                   0},
        // Values longer than their fields are cut, never overflow.
        DecodeCase{"long name cut to 99", 0x00, T31, cat({text_entry(2, k150), {0xFF}}), 31,
                   "0.0.0", "Reserved for future devices", std::string(99, 'n'), 1, 0, 0, 0},
        DecodeCase{"long type name cut to 100", 0x00, T31, cat({text_entry(3, k120), {0xFF}}), 31,
                   "0.0.0", std::string(100, 't'), "", 0, 0, 0, 0},
        // The walk ends with the received bytes, marker or not.
        DecodeCase{"no end marker", 0x00, T31, text_entry(2, "Hall"), 31, "0.0.0",
                   "Reserved for future devices", "Hall", 1, 0, 0, 0},
        DecodeCase{"text cut by the end of the datagram",
                   0x00,
                   T31,
                   {2, 9, 'H', 'a'},
                   31,
                   "0.0.0",
                   "Reserved for future devices",
                   "Ha",
                   1,
                   0,
                   0,
                   0},
        DecodeCase{"number cut by the end of the datagram",
                   0x00,
                   T31,
                   {4, 2, 0x00},
                   31,
                   "0.0.0",
                   "Reserved for future devices",
                   "",
                   0,
                   0,
                   0,
                   0},
        DecodeCase{"entry type without its length byte",
                   0x00,
                   T31,
                   {2},
                   31,
                   "0.0.0",
                   "Reserved for future devices",
                   "",
                   0,
                   0,
                   0,
                   0},
        DecodeCase{"empty list",
                   0x00,
                   T31,
                   {},
                   31,
                   "0.0.0",
                   "Reserved for future devices",
                   "",
                   0,
                   0,
                   0,
                   0}),
    [](const ::testing::TestParamInfo<DecodeCase> &param) {
        std::string name;
        for (const char *p = param.param.what; *p != '\0'; ++p)
            name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    });

TEST(udps_decode, walk_of_a_full_receive_buffer_stays_inside) {
    // A 512-byte datagram whose last entry claims more than is left.
    Bytes tail = cat({text_entry(7, std::string(200, 'x')), text_entry(8, std::string(200, 'y'))});
    tail.push_back(2);
    tail.push_back(255);
    tail.resize(512 - 48, 'z');
    const kvudps_module_struct r = decode(answer(0, T31, tail));
    EXPECT_EQ(r.has_name, 1);
    EXPECT_EQ(std::strlen(r.name), 512 - 48 - 404 - 2u);
}

TEST(udps_type_table, names_are_distinct_and_reserved_above_26) {
    std::set<std::string> names;
    for (uint16_t t = 0; t <= 26; ++t)
        names.insert(udps::type_name(t));
    EXPECT_EQ(names.size(), 27u);
    EXPECT_EQ(names.count("Reserved for future devices"), 0u);
    EXPECT_STREQ(udps::type_name(9), "Quillon");
    for (int t : {27, 31, 300})
        EXPECT_STREQ(udps::type_name(static_cast<uint16_t>(t)), "Reserved for future devices") << t;
    std::set<int> named;
    for (uint16_t t = 0; t < 32; ++t) {
        if (udps::type_has_name(t))
            named.insert(t);
    }
    EXPECT_EQ(named,
              (std::set<int>{2, 3, 4, 6, 10, 11, 12, 13, 14, 15, 16, 17, 21, 22, 23, 24, 25}));
    EXPECT_TRUE(udps::type_has_name(256 + 3)); // by the low eight bits
}

TEST(udps_check, signature_covers_bytes_0_to_39_only) {
    const Bytes good = answer(0x2A, 0x4B, {1, 1, 0x01, 0xFF});
    EXPECT_EQ(Bytes(good.begin() + 40, good.begin() + 48),
              expected_signature(good.data(), kSearchKey));
    EXPECT_TRUE(udps::check(good.data(), good.size(), kSearchKey));
    for (size_t bit = 0; bit < 40 * 8; ++bit) {
        Bytes bad = good;
        bad[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        EXPECT_FALSE(udps::check(bad.data(), bad.size(), kSearchKey)) << "bit " << bit;
    }
    for (size_t i = 40; i < 48; ++i) {
        Bytes bad = good;
        bad[i] ^= 0x80;
        EXPECT_FALSE(udps::check(bad.data(), bad.size(), kSearchKey)) << "byte " << i;
    }
    Bytes tail_changed = good;
    tail_changed[48] = 2;
    tail_changed.push_back(0x42);
    EXPECT_TRUE(udps::check(tail_changed.data(), tail_changed.size(), kSearchKey));
    EXPECT_FALSE(udps::check(good.data(), 47, kSearchKey));
    kvquiet_tea_key other = kSearchKey;
    other.k[3] ^= 1;
    EXPECT_FALSE(udps::check(good.data(), good.size(), other));
}

namespace {

struct SetupFixture {
    kvudps_module_struct found;
    uint8_t raw_mac[6];
    kvudps_module_struct request{};

    explicit SetupFixture(uint8_t type_byte, const Bytes &tail = {}) {
        const Bytes a = answer(0x2A, type_byte, tail);
        udps::decode_answer(a.data(), a.size(), found, raw_mac);
        found.raw_mode = 0xC8; // bits 3, 6 and 7 must travel unchanged
        std::strcpy(request.mac, found.mac);
        std::strcpy(request.ip, "10.1.2.3");
        std::strcpy(request.mask, "255.255.0.0");
        std::strcpy(request.addr3, "10.1.0.1");
        std::strcpy(request.addr4, "10.1.0.2");
        std::strcpy(request.addr5, "10.1.0.3");
        request.port = 0x1234;
        request.mode_bit0 = 1;
        request.mode_bit2 = 1;
        request.mode_bit3 = 0; // not requested: the received bit 3 stays
        request.mode_bit5 = 1;
    }

    Bytes build(const kvquiet_tea_key &setup_key) const {
        uint8_t out[udps::kSetupMax];
        const size_t n = udps::build_setup(found, raw_mac, request, kSearchKey, setup_key, out);
        return Bytes(out, out + n);
    }
};

const kvquiet_tea_key kZeroKey{{0, 0, 0, 0}, 0};

} // namespace

TEST(udps_setup_datagram, exact_bytes_without_extension_list) {
    SetupFixture f(0x4B);
    const Bytes d = f.build(kZeroKey);
    ASSERT_EQ(d.size(), 48u);
    const Bytes head = {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F, 10, 1, 2,    3,    255, 255, 0, 0,
                        10,   1,    0,    1,    10,   1,    0,  2, 0x2A, 0x4B, 10,  1,   0, 3,
                        0xED, 0x77, 0x12, 0x34, 1,    2,    3,  4, 5,    6,    7,   8};
    EXPECT_EQ(Bytes(d.begin(), d.begin() + 40), head);
    EXPECT_EQ(Bytes(d.begin() + 40, d.end()), expected_signature(d.data(), kSearchKey));
}

TEST(udps_setup_datagram, type_31_carries_the_name_entry) {
    SetupFixture f(T31 | 2, {0xFF});
    std::strcpy(f.request.name, "Hello");
    const Bytes d = f.build(kZeroKey);
    ASSERT_EQ(d.size(), 56u);
    EXPECT_EQ(Bytes(d.begin() + 48, d.end()), (Bytes{0x02, 0x05, 'H', 'e', 'l', 'l', 'o', 0xFF}));
    EXPECT_TRUE(udps::check(d.data(), d.size(), kSearchKey));

    std::strcpy(f.request.name, "");
    EXPECT_EQ(f.build(kZeroKey).size(), 51u);
    // A name field without its terminator gives at most 99 characters.
    std::memset(f.request.name, 'q', sizeof f.request.name);
    const Bytes longest = f.build(kZeroKey);
    ASSERT_EQ(longest.size(), 48u + 99 + 3);
    EXPECT_EQ(longest[49], 99);
}

TEST(udps_setup_datagram, feature0_devices_get_the_setup_key) {
    SetupFixture f(T31, {1, 1, 0x01, 0xFF});
    ASSERT_EQ(f.found.feature0, 1);
    // A setup key never given: all zero, delta included.
    const Bytes zero = f.build(kZeroKey);
    EXPECT_EQ(Bytes(zero.begin() + 40, zero.begin() + 48),
              expected_signature(zero.data(), kZeroKey));
    EXPECT_FALSE(udps::check(zero.data(), zero.size(), kSearchKey));

    kvquiet_tea_key setup;
    kvquiet_tea_key_set(&setup, 11, 22, 33, 44);
    const Bytes keyed = f.build(setup);
    EXPECT_TRUE(udps::check(keyed.data(), keyed.size(), setup));
    EXPECT_FALSE(udps::check(keyed.data(), keyed.size(), kZeroKey));
}

TEST(udps_setup_datagram, text_that_is_no_address_gives_all_ones) {
    SetupFixture f(0x4B);
    std::strcpy(f.request.ip, "300.1.2.3");
    std::strcpy(f.request.mask, "");
    std::strcpy(f.request.addr5, "1.2.3");
    const Bytes d = f.build(kZeroKey);
    for (size_t at : {6u, 10u, 24u})
        EXPECT_EQ(Bytes(d.begin() + at, d.begin() + at + 4), Bytes(4, 0xFF)) << at;
    EXPECT_EQ(Bytes(d.begin() + 14, d.begin() + 18), (Bytes{10, 1, 0, 1}));
}
