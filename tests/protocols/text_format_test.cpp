#include "protocols/text_format.h"

#include <gtest/gtest.h>

namespace {

const unsigned char kBytes[] = {0x0A, 0xFF, 'x', 'x', 'G', 'E', 'T'};

TEST(HexText, TwoUppercaseDigitsPerByte) {
    std::string out = "old";
    HexText(out, kBytes, 2);
    EXPECT_EQ(out, "0AFF");
    HexText(out, kBytes, 0);
    EXPECT_EQ(out, "");
    out = "kept";
    HexText(out, nullptr, 2);
    EXPECT_EQ(out, "kept");
}

TEST(PrintableText, ExcludedAndNonGraphicBytesBecomeFullStops) {
    const unsigned char text[] = {'a', ' ', 'b', '<', 'c', '&'};
    std::string out = "old";
    PrintableText(out, text, 6, "<\">");
    EXPECT_EQ(out, "a.b.c&");
    const unsigned char edges[] = {0x20, 0x21, 0x7E, 0x7F, 0x00, 0xFF};
    PrintableText(out, edges, 6, "");
    EXPECT_EQ(out, ".!~...");
    PrintableText(out, edges, -1, "");
    EXPECT_EQ(out, "");
}

TEST(ByteListText, DottedDecimalAndColonHex) {
    const unsigned char ip[] = {10, 0, 0, 1};
    const unsigned char mac[] = {0x00, 0x0C, 0x29, 0x1A, 0x2B, 0x3C};
    std::string out;
    ByteListText(out, ip, 4, 1);
    EXPECT_EQ(out, "10.0.0.1");
    ByteListText(out, mac, 6, 0);
    EXPECT_EQ(out, "00:0C:29:1A:2B:3C");
    ByteListText(out, ip, 1, 1);
    EXPECT_EQ(out, "10");
    ByteListText(out, mac + 1, 1, 7);
    EXPECT_EQ(out, "0C");
}

TEST(FindInPayload, Results) {
    const unsigned char* data = kBytes + 2;       // "xxGET"
    EXPECT_EQ(FindInPayload(data, "GET", 5), 0);  // ends exactly at the last byte
    EXPECT_EQ(FindInPayload(data, "GET", 4), -3);
    EXPECT_EQ(FindInPayload(data, "GET", 2), -2);
    EXPECT_EQ(FindInPayload(data, "get", 5), -3);
    EXPECT_EQ(FindInPayload(nullptr, "GET", 5), -1);
    EXPECT_EQ(FindInPayload(data, nullptr, 5), -1);
    const unsigned char zeros[] = {0, 'a', 0, 'b'};
    EXPECT_EQ(FindInPayload(zeros, "b", 4), 0);
}

TEST(AppendFormat, Conversions) {
    EXPECT_EQ(Format("0x%.4x 0x%.4x", {0x0800u, 0x86DDu}), "0x0800 0x86dd");
    EXPECT_EQ(Format("%.2X-%.2X", {0x0Au, 0xFFu}), "0A-FF");
    EXPECT_EQ(Format("%u|%d|%s", {4294967295u, -5, "txt"}), "4294967295|-5|txt");
}

TEST(AppendFormat, OneStepIsCutAfter499Characters) {
    const std::string longText(600, 'z');
    std::string out = "keep";
    AppendFormat(out, "<A>%s</A>", {longText});
    EXPECT_EQ(out.size(), 4u + 499u);
    EXPECT_EQ(out.substr(0, 7), "keep<A>");
    AppendFormat(out, "<B>%u</B>", {7u});
    EXPECT_EQ(out.substr(out.size() - 8), "<B>7</B>");
}

}  // namespace
