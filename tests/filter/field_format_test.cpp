#include "filter/field_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>

TEST(DottedIPv4, AcceptsFourGroupsUpTo255) {
    for (const char* text :
         {"192.168.1.1", "0.0.0.0", "255.255.255.255", "010.000.0.01", "1.2.3.4"})
        EXPECT_TRUE(IsDottedIPv4(text)) << text;
}

TEST(DottedIPv4, RejectsEverythingElse) {
    for (const char* text : {"", "192.168.1", "192.168.1.1.", "256.1.1.1", "1..2.3", "1.2.3.4x",
                             "1234.1.1.1", ".1.2.3", "1.2.3.4.5", " 1.2.3.4", "1.2.3.4 ",
                             "1.2.3.-4", "1.2.3.256", "a.b.c.d", "0001.2.3.4", "1.2.3."})
        EXPECT_FALSE(IsDottedIPv4(text)) << '"' << text << '"';
    EXPECT_FALSE(IsDottedIPv4(nullptr));
}

TEST(DottedIPv4, GivesTheAddressWithLeadingZerosAsDecimal) {
    uint32_t address = 0;
    ASSERT_TRUE(ParseDottedIPv4("010.0.0.255", address));
    EXPECT_EQ(address, 0x0A0000FFu);
    ASSERT_TRUE(ParseDottedIPv4("192.168.001.002", address));
    EXPECT_EQ(address, 0xC0A80102u);
}

TEST(DashedMac, AcceptsSixPairsOfEitherCase) {
    for (const char* text : {"00-0c-29-ab-cd-ef", "00-0C-29-AB-CD-EF", "aA-bB-cC-dD-eE-fF"})
        EXPECT_TRUE(IsDashedMac(text)) << text;
}

TEST(DashedMac, RejectsOtherForms) {
    for (const char* text :
         {"00:0c:29:ab:cd:ef", "0-0c-29-ab-cd-ef", "00-0c-29-ab-cd-ef-", "00-0c-29-ab-cd-eg",
          "000c-29-ab-cd-ef0", "00-0c-29-ab-cd-e", "", "00-0c-29-ab-cd-ef "})
        EXPECT_FALSE(IsDashedMac(text)) << '"' << text << '"';
    EXPECT_FALSE(IsDashedMac(nullptr));
}

TEST(PortNumber, ReadsLikeAtoi) {
    EXPECT_EQ(PortNumber("80"), 80);
    EXPECT_EQ(PortNumber("80x"), 80);
    EXPECT_EQ(PortNumber("abc"), 0);
    EXPECT_EQ(PortNumber(""), 0);
    EXPECT_EQ(PortNumber("  \t+443"), 443);
    EXPECT_EQ(PortNumber("-1"), -1);
    EXPECT_EQ(PortNumber("- 5"), 0);
    EXPECT_EQ(PortNumber("65535"), 65535);
    EXPECT_EQ(PortNumber("65536"), 65536);
}

TEST(PortNumber, AgreesWithAtoiOnRandomTexts) {
    std::mt19937 random(7);
    const std::string alphabet = " \t+-0123456789x.";
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const int length = static_cast<int>(random() % 9);
        for (int i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
        // Up to 8 characters: atoi cannot overflow, so it is a fair oracle for
        // every value a port can have; beyond that only the side of the range counts.
        const int expected = std::clamp(std::atoi(text.c_str()), -(kMaxPort + 1), kMaxPort + 1);
        EXPECT_EQ(PortNumber(text.c_str()), expected) << '"' << text << '"';
    }
}

TEST(PortNumber, HugeNumbersStayOutOfRangeInsteadOfWrapping) {
    // 2^32 + 80 would wrap to 80 in 32-bit arithmetic.
    EXPECT_GT(PortNumber("4294967376"), kMaxPort);
    EXPECT_LT(PortNumber("-4294967376"), 0);
    EXPECT_GT(PortNumber(std::string(400, '9').c_str()), kMaxPort);
}
