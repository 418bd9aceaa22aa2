// Decoding a firmware file's upper-cased name into model key and version.
#include <gtest/gtest.h>

#include <climits>

#include "package/firmware_name.h"

TEST(FirmwareNameTest, KeyAndVersionFollowTheFirstUnderscoreAndTheFirstV) {
    const struct {
        const char* name;  // upper-cased, without folder and extension
        bool hasKey;
        const char* key;
        int version;
    } cases[] = {
        {"KM500_V300", true, "KM500", 300},
        {" \tKM500 _V300", true, "KM500", 300},  // the key is trimmed
        {" _V300", true, "", 300},               // a key of blanks trims to nothing
        {"KM500", false, "", 0},                 // no "_": no key; no "V": the whole name is read
        {"250_A", true, "250", 250},
        {"_V300", false, "", 300},               // "_" first: no key, yet a version
        {"KM500_V3.00", true, "KM500", 3},       // the digits end at the point
        {"KM500_V300_B", true, "KM500", 300},
        {"KM500_V", true, "KM500", 0},
        {"KM500_VX300", true, "KM500", 0},
        {"KM500_V 300 ", true, "KM500", 300},    // the version text is trimmed
        {"DEV_V300", true, "DEV", 0},            // the first "V" is the one inside the key
        {"KM500_V-20", true, "KM500", -20},
        {"", false, "", 0},
    };
    for (const auto& c : cases) {
        const FirmwareName d = DecodeFirmwareName(c.name);
        EXPECT_EQ(d.hasKey, c.hasKey) << c.name;
        if (c.hasKey) {
            EXPECT_EQ(d.key, c.key) << c.name;
        }
        EXPECT_EQ(d.version, c.version) << c.name;
    }
}

TEST(FirmwareNameTest, LeadingIntegerReadsLikeAtoiAndSaturates) {
    const struct {
        const char* text;
        int value;
    } cases[] = {
        {"007", 7},          {"12a3", 12},        {"+20", 20},
        {"-20", -20},        {"", 0},             {"-", 0},
        {"--1", 0},          {"X300", 0},         {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},   {"-2147483648", INT_MIN},   {"-2147483649", INT_MIN},
        {"99999999999999999999", INT_MAX},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadLeadingInteger(c.text), c.value) << '"' << c.text << '"';
}
