#include "kv_error.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

TEST(kv_error_table, codes_match_positions_and_texts_fit) {
    for (int i = 0; i < KV_ERROR_COUNT; ++i) {
        EXPECT_EQ(kv_error_table[i].code, i);
        EXPECT_LT(std::strlen(kv_error_table[i].message), static_cast<size_t>(KV_ERROR_TEXT_MAX));
    }
    EXPECT_EQ(KV_ERROR_COUNT, 89);
}

TEST(kv_error_i2s, gives_the_exact_texts) {
    struct Row {
        int32_t code;
        const char *text;
    };
    const Row rows[] = {
        {0, "NULL"},
        {1, "Action not finish"},
        {19, "Timeout"},
        {28, "Socket connect failure"},
        {41, "Count modules = KV*_MODULES_MAX"},
        {46, "HTTP not found"},
        {47, "HTTP: Bad Request"},
        {63, "HTTP: Requested Range Not Satisfiable"},
        {70, "HTTP Version Not Supported"},
        {71, "HTTP unknown"},
        {76, "Checksum is failure"},
        {77, "Memory for page not alloc"},
        {79, "TEA authorization failure"},
        {80, "Modul use more somewhere"},
        {81, "Length > LENGTH_MAX"},
        {88, "Socket linger setup failed"},
    };
    for (const Row &row : rows) {
        char buffer[KV_ERROR_TEXT_MAX];
        EXPECT_STREQ(kv_error_i2s(row.code, buffer), row.text) << "code " << row.code;
    }
}

TEST(kv_error_i2s, outside_the_table_gives_a_defined_text) {
    for (int32_t code : {-1, 89, 200, INT32_MIN, INT32_MAX}) {
        char buffer[KV_ERROR_TEXT_MAX];
        EXPECT_STREQ(kv_error_i2s(code, buffer), "Unknown error code") << code;
    }
}

TEST(kv_error_fill, records_code_message_and_errno) {
    kv_error_struct record{};
    errno = ENOENT;
    kv_error_fill(&record, KV_ERR_TIMEOUT);
    EXPECT_EQ(record.err_code, 19);
    EXPECT_STREQ(record.err_code_str, "Timeout");
    EXPECT_EQ(record.err_no, ENOENT);
    char expected[KV_ERROR_STR_SIZE];
    EXPECT_STREQ(record.err_no_str, kv_error_errno_text(ENOENT, expected, sizeof expected));
    EXPECT_EQ(errno, ENOENT) << "recording must not disturb errno";
}

TEST(kv_error_fill, undefined_code_keeps_its_number_with_null_text) {
    kv_error_struct record{};
    kv_error_fill(&record, 200);
    EXPECT_EQ(record.err_code, 200);
    EXPECT_STREQ(record.err_code_str, "NULL");
}

TEST(kv_error_format, prints_the_one_line_report) {
    kv_error_struct record{};
    record.err_no = 111;
    record.err_code = 28;
    std::strcpy(record.err_code_str, "Socket connect failure");
    std::strcpy(record.err_no_str, "Connection refused");
    char line[300];
    const int n = kv_error_format(&record, line, sizeof line);
    EXPECT_STREQ(line, "Socket connect failure (28): Connection refused (111)\n");
    EXPECT_EQ(n, static_cast<int>(std::strlen(line)));

    char small[10];
    kv_error_format(&record, small, sizeof small);
    EXPECT_EQ(std::strlen(small), sizeof small - 1) << "cut to fit, always terminated";
}
