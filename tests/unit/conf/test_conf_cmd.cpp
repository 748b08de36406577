// Resetting a record and building its commands.
#include "conf_field_cases.h"
#include "kvquiet_conf_struct.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

kvquiet_conf_struct cleared() {
    kvquiet_conf_struct c;
    std::memset(&c, 0x5A, sizeof c);
    std::strcpy(c.firmware, "fw");
    kvquiet_conf_clr(&c);
    return c;
}

// Every command the record yields, in write order.
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

} // namespace

TEST(conf_clr, unsets_every_field_but_firmware) {
    kvquiet_conf_struct c = cleared();
    EXPECT_STREQ(c.firmware, "fw");
    for (int32_t i = 0; i < KVQUIET_CONF_CMD_COUNT; ++i) {
        char buf[KVQUIET_CONF_CMD_MAX];
        std::memset(buf, 'x', sizeof buf);
        EXPECT_EQ(kvquiet_conf_cmd_build(&c, buf, i), -1) << "index " << i;
        EXPECT_STREQ(buf, "") << "index " << i;
    }
    EXPECT_EQ(kvquiet_conf_clr(nullptr), -1);
}

// Setting one field must yield exactly one command, at that field's index, with its exact
// text: a fault in the order, the names or the formats shows here.
TEST(conf_cmd_build, each_field_has_its_index_and_format) {
    ASSERT_EQ(std::size(conf_field_cases), size_t{KVQUIET_CONF_CMD_COUNT});
    for (const conf_field_case &fc : conf_field_cases) {
        kvquiet_conf_struct c = cleared();
        fc.set(c);
        for (int32_t i = 0; i < KVQUIET_CONF_CMD_COUNT; ++i) {
            char buf[KVQUIET_CONF_CMD_MAX];
            const int rc = kvquiet_conf_cmd_build(&c, buf, i);
            if (i == fc.index) {
                EXPECT_EQ(rc, 0) << fc.command;
                EXPECT_STREQ(buf, fc.command);
            } else {
                EXPECT_EQ(rc, -1) << fc.command << " also at index " << i;
            }
        }
    }
}

TEST(conf_cmd_build, two_fields_give_two_commands_in_order) {
    kvquiet_conf_struct c = cleared();
    c.top_p = 273;
    c.amp_b = 9600;
    EXPECT_EQ(commands(c), (std::vector<std::string>{"&B9600\r", "P273\r"}));
}

TEST(conf_cmd_build, unset_markers) {
    kvquiet_conf_struct c = cleared();
    c.top_t = static_cast<int8_t>(255); // the byte 255 is the 8-bit unset value
    c.top_v = static_cast<int8_t>(128); // sign-extended on the wire
    c.amp_d = 0;
    c.top_p = 0; // only -1 is unset
    c.top_i[0] = '\0';
    EXPECT_EQ(commands(c), (std::vector<std::string>{"V-128\r", "&D0\r", "P0\r"}));
}

// A text filled to the brim without a terminator is sent cut to its capacity less one, and
// the command still fits the documented room (ASan guards the exact-size buffer).
TEST(conf_cmd_build, unterminated_text_is_cut_to_capacity) {
    kvquiet_conf_struct c = cleared();
    std::memset(c.pct_k3, 'k', sizeof c.pct_k3);
    std::memset(c.top_y, 'y', sizeof c.top_y);
    char buf[KVQUIET_CONF_CMD_MAX];
    ASSERT_EQ(kvquiet_conf_cmd_build(&c, buf, 27), 0);
    EXPECT_EQ(std::string(buf), "%K3:" + std::string(15, 'k') + "\r");
    ASSERT_EQ(kvquiet_conf_cmd_build(&c, buf, 7), 0);
    EXPECT_EQ(std::string(buf), "Y" + std::string(7, 'y') + "\r");
}

TEST(conf_cmd_build, bad_arguments) {
    kvquiet_conf_struct c = cleared();
    c.amp_b = 9600;
    for (int32_t index : {-1, KVQUIET_CONF_CMD_COUNT, INT32_MIN, INT32_MAX}) {
        char buf[KVQUIET_CONF_CMD_MAX] = "stale";
        EXPECT_EQ(kvquiet_conf_cmd_build(&c, buf, index), -1) << index;
        EXPECT_STREQ(buf, "") << index;
    }
    char buf[KVQUIET_CONF_CMD_MAX] = "stale";
    EXPECT_EQ(kvquiet_conf_cmd_build(nullptr, buf, 14), -1);
    EXPECT_EQ(kvquiet_conf_cmd_build(&c, nullptr, 14), -1);
}
