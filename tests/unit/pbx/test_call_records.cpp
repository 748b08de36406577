#include "CallRecords.h"
#include "PbxResources.h"
#include "TimeStamp.h"

#include <QFile>

#include <gtest/gtest.h>

#include <map>

namespace {

struct SplitCase {
    const char *name;
    QByteArray input;
    QStringList lines;
};

TEST(pbx_split_record_lines, follows_the_line_end_rules) {
    const SplitCase cases[] = {
        {"empty input", "", {}},
        {"one line without end", "abc", {"abc"}},
        {"crlf between", "a\r\nb", {"a", "b"}},
        {"trailing crlf adds no line", "a\r\nb\r\n", {"a", "b"}},
        {"lone cr", "a\rb", {"a", "b"}},
        {"lone lf", "a\nb", {"a", "b"}},
        {"trailing lone cr", "a\r", {"a"}},
        {"trailing lone lf", "a\n", {"a"}},
        {"lf cr is two line ends", "a\n\rb", {"a", "", "b"}},
        {"only a line end", "\r\n", {""}},
        {"empty lines kept", "\r\n\r\nx", {"", "", "x"}},
        {"trailing blanks kept", "ab  \r\n  ", {"ab  ", "  "}},
        {"mixed", "1\r\n2\r3\n4", {"1", "2", "3", "4"}},
    };
    for (const SplitCase &c : cases)
        EXPECT_EQ(pbx::splitRecordLines(c.input), c.lines) << c.name;
}

TEST(pbx_split_record_lines, keeps_every_byte_value) {
    // The sender writes lines back with toLatin1(); no byte may be lost or changed on the way.
    QByteArray input;
    for (int b = 0; b < 256; ++b) {
        if (b != '\r' && b != '\n')
            input.append(static_cast<char>(b));
    }
    const QStringList lines = pbx::splitRecordLines(input);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines.front().toLatin1(), input);
}

TEST(pbx_call_records, resource_holds_the_sample_set) {
    const QStringList lines = pbx::loadCallRecords();
    ASSERT_EQ(lines.size(), 2878);

    std::map<QChar, int> kinds;
    int padded = 0;
    int shortLabel = 0;
    int marked = 0;
    int named = 0;
    for (const QString &line : lines) {
        if (line.size() == 220) {
            ++padded;
            EXPECT_TRUE(line.mid(118).trimmed().isEmpty()) << "padding is blanks";
        } else {
            ASSERT_EQ(line.size(), 118) << line.toStdString();
        }
        for (QChar c : line)
            ASSERT_TRUE(c.unicode() >= 0x20 && c.unicode() < 0x7f) << line.toStdString();
        if (line.startsWith(QLatin1String("LIN  = ")))
            ++shortLabel;
        else
            EXPECT_TRUE(line.startsWith(QLatin1String("LINE = "))) << line.toStdString();
        EXPECT_EQ(line.mid(14, 6), QLatin1String("STN = ")) << line.toStdString();
        const int trunk = line.mid(7, 4).toInt();
        const int station = line.mid(20, 3).toInt();
        EXPECT_TRUE(trunk >= 1 && trunk <= 32) << line.toStdString();
        EXPECT_TRUE(station >= 221 && station <= 262) << line.toStdString();
        EXPECT_LE(line.mid(29, 8), QLatin1String("00:35:00")) << line.toStdString();
        EXPECT_TRUE(line.mid(84).trimmed().isEmpty()) << "columns 85 on are blank";
        const QChar kind = line.at(38);
        ++kinds[kind];
        if (line.at(39) == QLatin1Char('*'))
            ++marked;
        if (kind == QLatin1Char('I')) {
            EXPECT_FALSE(line.mid(41, 4).trimmed().isEmpty()) << "incoming call has a ring time";
            if (!line.mid(59, 20).trimmed().isEmpty()) {
                ++named;
                EXPECT_EQ(line.at(46), QLatin1Char('C')) << line.toStdString();
            }
        }
    }
    EXPECT_EQ(kinds[QLatin1Char('I')], 1252);
    EXPECT_EQ(kinds[QLatin1Char('O')], 770);
    EXPECT_EQ(kinds[QLatin1Char('T')], 855);
    EXPECT_EQ(kinds[QLatin1Char(' ')], 1);
    EXPECT_EQ(kinds.size(), 4u);
    EXPECT_EQ(padded, 1);
    EXPECT_EQ(shortLabel, 1);
    EXPECT_EQ(marked, 2);
    EXPECT_EQ(named, 700);
}

TEST(pbx_call_records, resource_is_the_exact_file) {
    pbx::initResources();
    QFile file(QStringLiteral(":/CRECORDS_TXT"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    EXPECT_EQ(data.size(), 345460);
    EXPECT_FALSE(data.endsWith('\n'));
    EXPECT_EQ(data.count("\r\n"), 2877);
    EXPECT_EQ(data.count('\r'), 2877) << "no lone CR";
    EXPECT_EQ(data.count('\n'), 2877) << "no lone LF";
}

TEST(pbx_call_records, clock_glyphs_are_two_16_pixel_images_side_by_side) {
    pbx::initResources();
    for (const char *name : {":/CLOCK_BMP", ":/CLOCK1_BMP"}) {
        QFile file(QString::fromLatin1(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name;
        const QByteArray png = file.readAll();
        ASSERT_GE(png.size(), 24) << name;
        EXPECT_TRUE(png.startsWith("\x89PNG\r\n\x1a\n")) << name;
        // IHDR: width and height, big-endian, right after the chunk's length and type.
        EXPECT_EQ(png.mid(16, 8), QByteArray("\0\0\0\x20\0\0\0\x10", 8)) << name;
    }
}

TEST(pbx_time_stamp, is_day_month_year_and_24_hour_time) {
    const struct {
        QDateTime when;
        const char *stamp;
    } cases[] = {
        {QDateTime(QDate(2024, 3, 7), QTime(9, 5, 3)), "07/03/24   09:05:03   "},
        {QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59)), "31/12/99   23:59:59   "},
        {QDateTime(QDate(2000, 1, 1), QTime(0, 0, 0)), "01/01/00   00:00:00   "},
        {QDateTime(), "00/00/00   00:00:00   "},
    };
    for (const auto &c : cases) {
        const QString stamp = pbx::timeStampPrefix(c.when);
        EXPECT_EQ(stamp, QLatin1String(c.stamp));
        EXPECT_EQ(stamp.size(), 22);
    }
}

} // namespace
