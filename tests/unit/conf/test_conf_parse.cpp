// Reading the device's configuration reply into a record.
#include "conf_field_cases.h"
#include "kvquiet_conf_struct.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

kvquiet_conf_struct cleared() {
    kvquiet_conf_struct c;
    std::memset(&c, 0, sizeof c);
    kvquiet_conf_clr(&c);
    return c;
}

std::vector<std::string> commands(const kvquiet_conf_struct &c) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < KVQUIET_CONF_CMD_COUNT; ++i) {
        char buf[KVQUIET_CONF_CMD_MAX];
        if (kvquiet_conf_cmd_build(&c, buf, i) == 0) {
            out.emplace_back(buf);
        }
    }
    return out;
}

// The record's settable fields, read back through the command builder.
std::vector<std::string> parse_cleared(const std::string &pieces) {
    kvquiet_conf_struct c = cleared();
    const std::string reply = "QUILLON WEB51=3.1.4;" + pieces;
    EXPECT_EQ(kvquiet_conf_reply_parse(reply.c_str(), &c), 0) << reply;
    return commands(c);
}

struct piece_case {
    const char *pieces;
    std::vector<std::string> expected; // commands of the resulting record, write order
};

} // namespace

TEST(conf_reply_parse, pieces_set_their_fields) {
    const piece_case cases[] = {
        {"&B19200;&P3;S10.0.0.5;U9000", {"S10.0.0.5\r", "U9000\r", "&B19200\r", "&P3\r"}},
        {"%K1:x", {"%K1:x\r", "%K2:x\r", "%K3:x\r"}},
        {"%K0:a;%K1:b;%K2:c;%K3:d", {"%K0:a\r", "%K1:b\r", "%K2:c\r", "%K3:d\r"}},
        {"%K3:d;%K0:a", {"%K0:a\r", "%K1:a\r", "%K2:a\r", "%K3:a\r"}},
        // Names of no field, stray group characters and empty pieces are ignored.
        {"Q7;&Z1;;&;%;%K;%K9:z;%Kx;b9600;#", {}},
        // Numbers convert like atol; 8-bit fields keep the low 8 bits.
        {"&D8x", {"&D8\r"}},
        {"&Dx", {"&D0\r"}},
        {"&D", {"&D0\r"}},
        {"&D264", {"&D8\r"}},
        {"&D128", {"&D-128\r"}},
        {"&D255", {}}, // the byte 255 is the unset marker
        {"A \t-42abc;B+7;P", {"A-42\r", "B7\r", "P0\r"}},
        {"J2147483647;X-2147483648", {"J2147483647\r", "X-2147483648\r"}},
        // Out of range numbers saturate at the 32-bit limits instead of overflowing.
        {"J99999999999999999999;X-99999999999999999999", {"J2147483647\r", "X-2147483648\r"}},
        {"T99999999999999999999", {}}, // saturated 2147483647 keeps the byte 255
        // Texts are taken as they stand, cut to the field's capacity.
        {"Mab c", {"Mab c\r"}},
        {"S1234567890abcdefghij", {"S1234567890abcde\r"}},
        {"Y123456789", {"Y1234567\r"}},
        {"%K2:1234567890abcdefghij", {"%K2:1234567890abcde\r", "%K3:1234567890abcde\r"}},
    };
    for (const piece_case &pc : cases) {
        EXPECT_EQ(parse_cleared(pc.pieces), pc.expected) << pc.pieces;
    }
}

// "%K" pieces too short to hold a value give the empty text (unset) to the keys they name.
TEST(conf_reply_parse, short_key_piece_clears_keys_without_overreading) {
    for (const char *piece : {"%K2", "%K2:"}) {
        kvquiet_conf_struct c = cleared();
        for (char *k : {c.pct_k0, c.pct_k1, c.pct_k2, c.pct_k3}) {
            std::strcpy(k, "old");
        }
        const std::string reply = std::string("X WEB51=1;") + piece + ";%A1";
        ASSERT_EQ(kvquiet_conf_reply_parse(reply.c_str(), &c), 0);
        EXPECT_EQ(commands(c), (std::vector<std::string>{"%A1\r", "%K0:old\r", "%K1:old\r"}))
            << piece;
    }
}

// The firmware text follows the first "=" found from the seventh character of the first
// piece on, so the "=" of a marker at the very start is skipped.
TEST(conf_reply_parse, firmware_from_first_piece) {
    struct {
        const char *reply;
        const char *firmware;
    } cases[] = {
        {"QUILLON WEB51=3.1.4;&B9600", "3.1.4"},
        {"WEB51=3.1.4", "old"},
        {"WEB51=X=3.1.4;V1", "3.1.4"},
        {"ab=cd WEB51=2.0", "2.0"},
        {"QUILLON WEB51=", ""},
        {"QUILLON WEB51=1234567890abcdefghijk", "1234567890abcdefg"},
    };
    for (const auto &fc : cases) {
        kvquiet_conf_struct c = cleared();
        std::strcpy(c.firmware, "old");
        ASSERT_EQ(kvquiet_conf_reply_parse(fc.reply, &c), 0) << fc.reply;
        EXPECT_STREQ(c.firmware, fc.firmware) << fc.reply;
    }
}

TEST(conf_reply_parse, rejects_reply_without_marker_and_changes_nothing) {
    kvquiet_conf_struct before = cleared();
    std::strcpy(before.firmware, "1.0");
    before.amp_b = 1200;
    std::strcpy(before.top_s, "192.0.2.1");
    for (const char *reply :
         {"", "QUILLON WEB5=1;&B9600", "QUILLON;&B9600;WEB51=2", "web51=1;V1", ";WEB51=1;&B9600"}) {
        kvquiet_conf_struct c = before;
        EXPECT_EQ(kvquiet_conf_reply_parse(reply, &c), -1) << reply;
        EXPECT_EQ(std::memcmp(&c, &before, sizeof c), 0) << reply;
    }
    kvquiet_conf_struct c = before;
    EXPECT_EQ(kvquiet_conf_reply_parse(nullptr, &c), -1);
    EXPECT_EQ(kvquiet_conf_reply_parse("X WEB51=1", nullptr), -1);
}

TEST(conf_reply_parse, updates_in_place) {
    kvquiet_conf_struct c = cleared();
    c.amp_b = 1200;
    c.top_p = 273;
    ASSERT_EQ(kvquiet_conf_reply_parse("X WEB51=1;&B9600;V1", &c), 0);
    EXPECT_EQ(commands(c), (std::vector<std::string>{"V1\r", "&B9600\r", "P273\r"}));
}

// Every command the builder makes reads back into the same field: builder and parser agree.
TEST(conf_reply_parse, reads_back_every_built_command) {
    kvquiet_conf_struct full = cleared();
    for (const conf_field_case &fc : conf_field_cases) {
        fc.set(full);
    }
    std::string reply = "QUILLON WEB51=9.9";
    for (const std::string &cmd : commands(full)) {
        reply += ";" + cmd.substr(0, cmd.size() - 1);
    }
    std::strcpy(full.firmware, "9.9");
    kvquiet_conf_struct c = cleared();
    ASSERT_EQ(kvquiet_conf_reply_parse(reply.c_str(), &c), 0);
    EXPECT_EQ(commands(c), commands(full));
    EXPECT_EQ(std::memcmp(&c, &full, sizeof c), 0);
}

// Pieces far longer than any field are cut, numbers saturate, and nothing is read past the
// terminator.
TEST(conf_reply_parse, huge_pieces) {
    const size_t big = 100 * 1024;
    const std::string reply = "QUILLON WEB51=" + std::string(big, 'f') + ";S" +
                              std::string(big, '1') + ";%K0:" + std::string(big, 'z') + ";&B" +
                              std::string(big, '9') + ";" + std::string(big, ';') + "&D" +
                              std::string(big, ' ') + "7";
    kvquiet_conf_struct c = cleared();
    ASSERT_EQ(kvquiet_conf_reply_parse(reply.c_str(), &c), 0);
    EXPECT_EQ(std::string(c.firmware), std::string(17, 'f'));
    EXPECT_EQ(std::string(c.top_s), std::string(15, '1'));
    for (const char *k : {c.pct_k0, c.pct_k1, c.pct_k2, c.pct_k3}) {
        EXPECT_EQ(std::string(k), std::string(15, 'z'));
    }
    EXPECT_EQ(c.amp_b, INT32_MAX);
    EXPECT_EQ(c.amp_d, 7);
}
