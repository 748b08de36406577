// A configuration line longer than the reply buffer is cut; the piece the cut runs through is a
// fragment, and must leave its field as the line had not mentioned it rather than give it a
// wrong value.
#include "conf_test_support.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

using namespace conf_test;

namespace {

// Every field of the record set, texts to their capacity and numbers to ten digits: a line of
// some 600 characters.
kvquiet_conf_struct full_record() {
    kvquiet_conf_struct c = sim::conf_factory_config();
    for (char *text : {c.top_i, c.top_m, c.top_g, c.top_w, c.top_n, c.top_s, c.pct_k0, c.pct_k1,
                       c.pct_k2, c.pct_k3, c.star_s, c.star_m, c.star_x, c.star_y}) {
        std::memset(text, 'x', KVQUIET_CONF_TEXT_CAP - 1);
        text[KVQUIET_CONF_TEXT_CAP - 1] = '\0';
    }
    std::memset(c.top_y, 'y', KVQUIET_CONF_SHORT_TEXT_CAP - 1);
    c.top_y[KVQUIET_CONF_SHORT_TEXT_CAP - 1] = '\0';
    for (int32_t *number :
         {&c.top_a,  &c.top_j,  &c.top_x,  &c.top_u,  &c.top_b,  &c.top_p,  &c.amp_b,  &c.amp_t,
          &c.amp_g,  &c.hash_t, &c.hash_a, &c.hash_b, &c.hash_c, &c.hash_d, &c.hash_x, &c.hash_y,
          &c.hash_z, &c.hash_w, &c.star_p, &c.star_e, &c.star_a, &c.star_b, &c.star_c})
        *number = 2000000000;
    return c;
}

} // namespace

TEST(conf_line_end, a_line_cut_by_the_reply_buffer_takes_no_fragment_for_a_value) {
    ASSERT_EQ(kvquiet_conf_init(), 0);
    sim::ConfOptions options;
    options.config = full_record();
    const std::string line = sim::conf_line(options.config, options.firmware);
    // The buffer keeps the first 399 characters: the cut runs through "#Z2000000000".
    const size_t cut = KVQUIET_CONF_REPLY_CAP - 1;
    ASSERT_GT(line.size(), cut);
    const size_t piece = line.rfind(';', cut - 1) + 1;
    ASSERT_EQ(line.substr(piece, line.find(';', piece) - piece), "#Z2000000000");
    ASSERT_LT(cut - piece, std::strlen("#Z2000000000"));

    auto server = start_sim(options);
    Recorder rec;
    const kvquiet_conf_settings_struct settings = rec.settings();
    const int32_t slot = kvquiet_conf_open(server->address().c_str(), server->port(), &settings);
    ASSERT_GT(slot, 0) << slot0_code();
    // A read leaves the fields the line does not mention as the slot had them.
    kvquiet_conf_struct before{};
    ASSERT_EQ(kvquiet_conf_read_cache(slot, &before), 0);
    ASSERT_EQ(kvquiet_conf_read(slot), 0);
    EXPECT_EQ(rec.wait_end().what, "read");
    const kvquiet_conf_struct got = rec.last_read();
    // Before the cut, every field is there.
    EXPECT_STREQ(got.firmware, "3.1.4");
    EXPECT_EQ(got.amp_b, 2000000000);
    EXPECT_STREQ(got.pct_k3, "xxxxxxxxxxxxxxx");
    EXPECT_EQ(got.hash_y, 2000000000);
    // The piece the cut runs through counts as not come, like those after it: a fragment of a
    // number ("#Z20000", or "#Z200" without what was taken for a line end) is no number.
    EXPECT_EQ(got.hash_z, before.hash_z);
    EXPECT_NE(got.hash_z, 20000);
    EXPECT_NE(got.hash_z, 200);
    EXPECT_EQ(got.hash_w, before.hash_w);
    EXPECT_EQ(got.top_p, before.top_p);
    kvquiet_conf_close(slot);
    EXPECT_EQ(kvquiet_conf_uninit(), 0);
}
