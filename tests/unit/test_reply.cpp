// Reading the plotter's replies: text, field, numbers, version, judgements.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

#include "protocol/reply.h"

using namespace protocol;

TEST(ReplyTextTest, TakesTheReportedBytesUpToANulAndNeverBeyondTheBuffer) {
    char buffer[kReplyCapacity];
    std::string full(kReplyCapacity, 'a');
    full.copy(buffer, sizeof buffer);  // no NUL anywhere
    EXPECT_EQ(std::string(ReplyText(buffer, 256)), full);
    EXPECT_EQ(std::string(ReplyText(buffer, 300)), full) << "a count above the buffer is cut to it";
    EXPECT_EQ(std::string(ReplyText(buffer, INT_MAX)), full);
    EXPECT_EQ(std::string(ReplyText(buffer, 3)), "aaa");
    EXPECT_EQ(std::string(ReplyText(buffer, 0)), "");
    EXPECT_EQ(std::string(ReplyText(buffer, -5)), "");
    buffer[2] = '\0';
    EXPECT_EQ(std::string(ReplyText(buffer, 10)), "aa");
}

TEST(ReplyFieldTest, IsTheTrimmedTextBeforeTheFirstEtxAfterAtLeastOneByte) {
    const struct {
        const char* text;
        bool has;
        const char* field;
    } cases[] = {
        {"0\x03", true, "0"},
        {" \t\r\n\v\f-1 \t\r\n\v\f\x03", true, "-1"},
        {"12\x03" "34\x03", true, "12"},
        {"  \x03", true, ""},  // a field of blanks is an empty field, yet a field
        {"\x03" "0\x03", false, ""},
        {"0", false, ""},
        {"", false, ""},
    };
    for (const auto& c : cases) {
        CString field = "untouched";
        EXPECT_EQ(ReplyField(c.text, &field), c.has) << c.text;
        if (c.has) {
            EXPECT_EQ(std::string(field), c.field) << c.text;
        }
    }
}

TEST(ReadIntegerTest, ReadsAsAtoiReadsAndSaturates) {
    const struct {
        const char* text;
        int value;
    } cases[] = {
        {" \t\n\v\f\r-1", -1}, {"-1x", -1}, {"+4", 4}, {"abc", 0}, {"- 1", 0}, {"0x10", 0},
        {"4294967296", INT_MAX},  // would wrap to an accepted 0 if it were cut to 32 bits
    };
    for (const auto& c : cases) EXPECT_EQ(ReadInteger(c.text), c.value) << '"' << c.text << '"';
}

TEST(ReadDecimalTest, ReadsAsAtofReadsInTheCLocale) {
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"2.30", 2.30},      {"  2.30\x03", 2.30}, {"+2.5", 2.5},     {"-2.5", -2.5},
        {".5", 0.5},         {"5.", 5.0},          {"1e2", 100.0},    {"1E+2x", 100.0},
        {"1e", 1.0},         {"1e+", 1.0},         {"2,30", 2.0},     {"x2", 0.0},
        {"", 0.0},           {".", 0.0},           {"--1", 0.0},      {"+-1", 0.0},
        {"0x1p3", 8.0},      {"0X.8", 0.5},        {"0x", 0.0},       {"0xg", 0.0},
        {"1e-400", 0.0},     {"0.0000001e-400", 0.0},
        // Two signs end a hexadecimal number before its "p", as they end a decimal one before its "e".
        {"0x1p+-1", 1.0},    {"0XBP+-9999", 11.0}, {"1e+-1", 1.0},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(ReadDecimal(c.text), c.value) << '"' << c.text << '"';

    EXPECT_TRUE(std::isinf(ReadDecimal("inf")));
    EXPECT_TRUE(std::isinf(ReadDecimal("INFINITY")));
    EXPECT_LT(ReadDecimal("-inf"), 0);
    EXPECT_TRUE(std::isnan(ReadDecimal("nan")));
    EXPECT_TRUE(std::isnan(ReadDecimal("NaN(1)")));
    EXPECT_TRUE(std::isinf(ReadDecimal("1e400")));
    EXPECT_TRUE(std::isinf(ReadDecimal(("1" + std::string(400, '0')).c_str())));
    EXPECT_TRUE(std::isinf(ReadDecimal("0x1p99999")));
    EXPECT_EQ(ReadDecimal(("0." + std::string(400, '0') + "1").c_str()), 0.0);
}

TEST(VersionTextTest, CutsFieldThenCommaThenCapitalV) {
    const struct {
        const char* reply;
        const char* text;
    } cases[] = {
        {" XV 2.30 , 7 \x03", "2.30"},
        {",V2.10\x03", "2.10"},          // a comma first cuts nothing
        {"\x03V2.30\x03", "2.30\x03"},   // ETX first: no field, the whole text goes on
        {"v2.30\x03", "v2.30"},          // only a capital V counts
        {"V\x03", ""},
        {"ZV1VV2\x03", "1VV2"},
    };
    for (const auto& c : cases) EXPECT_EQ(std::string(VersionText(c.reply)), c.text) << c.reply;
}

TEST(ScaleVersionTest, AddsATenThousandthAndTruncates) {
    const struct {
        double x;
        bool fits;
        int version;
    } cases[] = {
        {2.30, true, 230},  // 2.30 x 100 alone truncates to 229
        {2.10, true, 210},  {0.01, true, 1},        {0.009, true, 0},
        {1.0, true, 100},   {0.0, true, 0},         {-1.0, true, -99},
        {21474836.47, true, 2147483647},            {21474836.48, false, 0},
        {99999999.0, false, 0},                     {-21474836.48, true, -2147483647},
        {-21474836.50, false, 0},
    };
    for (const auto& c : cases) {
        int v = 12345;
        EXPECT_EQ(ScaleVersion(c.x, &v), c.fits) << c.x;
        EXPECT_EQ(v, c.version) << c.x;
    }
    int v = 12345;
    EXPECT_FALSE(ScaleVersion(INFINITY, &v));
    EXPECT_EQ(v, 0);
    EXPECT_FALSE(ScaleVersion(-INFINITY, &v));
    EXPECT_FALSE(ScaleVersion(NAN, &v));
}

TEST(JudgementTest, StatusPassesWithOnlyBits4And128) {
    for (int s : {0, 4, 128, 132}) EXPECT_TRUE(StatusAccepted(s)) << s;
    for (int s : {1, 2, 8, 256, 255, -1, 0x84 | 0x100, INT_MIN, INT_MAX}) EXPECT_FALSE(StatusAccepted(s)) << s;
}

TEST(JudgementTest, ProgressIsBusyFinishedOrFailed) {
    EXPECT_EQ(ProgressResult(-1), kResultBusy);
    EXPECT_EQ(ProgressResult(0), kResultOk);
    for (int p : {1, 3, -2, 100, INT_MIN, INT_MAX}) EXPECT_EQ(ProgressResult(p), kResultUpdateFailed) << p;
}

TEST(ProgressFieldTest, OnlyAFieldBeginningWithANumberHoldsOne) {
    for (const char* yes : {"0", "-1", " -1 ", "+3", "\t7x", "-1x"}) EXPECT_TRUE(HoldsNumber(yes)) << yes;
    for (const char* no : {"", " ", "#?!", "x1", "-", "+ 1", "--1"}) EXPECT_FALSE(HoldsNumber(no)) << no;
}
