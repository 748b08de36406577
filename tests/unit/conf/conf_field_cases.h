// One row per settable field of kvquiet_conf_struct: how to set it, the command index it must
// come out at and the exact command text. Shared by the command and the parse tests.
#ifndef CONF_FIELD_CASES_H
#define CONF_FIELD_CASES_H

#include "kvquiet_conf_struct.h"

#include <cstring>

struct conf_field_case {
    int32_t index;
    void (*set)(kvquiet_conf_struct &c);
    const char *command;
};

#define CASE_TEXT(idx, member, value, cmd)                                                         \
    {                                                                                              \
        idx, [](kvquiet_conf_struct &c) { std::strcpy(c.member, value); }, cmd                     \
    }
#define CASE_NUM(idx, member, value, cmd)                                                          \
    {                                                                                              \
        idx, [](kvquiet_conf_struct &c) { c.member = value; }, cmd                                 \
    }

// The values differ from field to field so that a row mapped to the wrong field shows.
inline const conf_field_case conf_field_cases[] = {
    CASE_TEXT(0, top_i, "10.1.2.3", "I10.1.2.3\r"),
    CASE_NUM(1, top_j, 11, "J11\r"),
    CASE_TEXT(2, top_m, "255.255.0.0", "M255.255.0.0\r"),
    CASE_TEXT(3, top_g, "10.1.2.254", "G10.1.2.254\r"),
    CASE_TEXT(4, top_w, "w-text", "Ww-text\r"),
    CASE_TEXT(5, top_n, "n-text", "Nn-text\r"),
    CASE_NUM(6, top_x, -77, "X-77\r"),
    CASE_TEXT(7, top_y, "1234567", "Y1234567\r"),
    CASE_TEXT(8, top_s, "192.0.2.10", "S192.0.2.10\r"),
    CASE_NUM(9, top_u, 9000, "U9000\r"),
    CASE_NUM(10, top_t, 10, "T10\r"),
    CASE_NUM(11, top_v, 1, "V1\r"),
    CASE_NUM(12, top_k, 12, "K12\r"),
    CASE_NUM(13, top_e, -13, "E-13\r"),
    CASE_NUM(14, amp_b, 115200, "&B115200\r"),
    CASE_NUM(15, amp_d, 7, "&D7\r"),
    CASE_NUM(16, amp_p, 3, "&P3\r"),
    CASE_NUM(17, amp_s, 2, "&S2\r"),
    CASE_NUM(18, amp_c, 4, "&C4\r"),
    CASE_NUM(19, amp_r, 19, "&R19\r"),
    CASE_NUM(20, amp_t, 2020, "&T2020\r"),
    CASE_NUM(21, amp_g, 2121, "&G2121\r"),
    CASE_NUM(22, amp_h, 22, "&H22\r"),
    CASE_NUM(23, pct_a, 5, "%A5\r"),
    CASE_TEXT(24, pct_k0, "key0", "%K0:key0\r"),
    CASE_TEXT(25, pct_k1, "key1", "%K1:key1\r"),
    CASE_TEXT(26, pct_k2, "abc", "%K2:abc\r"),
    CASE_TEXT(27, pct_k3, "123456789012345", "%K3:123456789012345\r"),
    CASE_NUM(28, pct_s, 28, "%S28\r"),
    CASE_NUM(29, hash_t, -2147483647 - 1, "#T-2147483648\r"),
    CASE_NUM(30, hash_a, 30, "#A30\r"),
    CASE_NUM(31, hash_b, 31, "#B31\r"),
    CASE_NUM(32, hash_c, 32, "#C32\r"),
    CASE_NUM(33, hash_d, 33, "#D33\r"),
    CASE_NUM(34, hash_x, 34, "#X34\r"),
    CASE_NUM(35, hash_y, 35, "#Y35\r"),
    CASE_NUM(36, hash_z, 2147483647, "#Z2147483647\r"),
    CASE_NUM(37, hash_w, 37, "#W37\r"),
    CASE_NUM(38, star_l, 38, "*L38\r"),
    CASE_NUM(39, star_p, 39, "*P39\r"),
    CASE_TEXT(40, star_s, "star-s", "*Sstar-s\r"),
    CASE_TEXT(41, star_m, "star-m", "*Mstar-m\r"),
    CASE_TEXT(42, star_x, "star-x", "*Xstar-x\r"),
    CASE_TEXT(43, star_y, "star-y", "*Ystar-y\r"),
    CASE_NUM(44, star_e, 44, "*E44\r"),
    CASE_NUM(45, top_a, 45, "A45\r"),
    CASE_NUM(46, amp_f, 2, "&F2\r"),
    CASE_NUM(47, star_a, 255, "*A255\r"),
    CASE_NUM(48, star_b, 254, "*B254\r"),
    CASE_NUM(49, star_c, 131072, "*C131072\r"),
    CASE_NUM(50, amp_v, 50, "&V50\r"),
    CASE_NUM(51, top_b, 42, "B42\r"),
    CASE_NUM(52, top_p, 0, "P0\r"),
};

#undef CASE_TEXT
#undef CASE_NUM

#endif // CONF_FIELD_CASES_H
