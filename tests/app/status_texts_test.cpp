// The status bar's texts: which fields show in which state, and their exact
// wording for each source, elapsed time and filter.
#include "app/status_texts.h"

#include <gtest/gtest.h>

namespace {

StatusInput Idle(uint64_t rows = 0) {
    StatusInput input;
    input.rows = rows;
    return input;
}

StatusInput Capturing(uint64_t rows, uint64_t dropped, uint64_t seconds) {
    StatusInput input;
    input.rows = rows;
    input.hasStatistics = true;
    input.statistics.dropped = dropped;
    input.statistics.leftOut = 17;
    input.source = {SourceKind::Interface, "lo"};
    input.running = true;
    input.elapsedSeconds = seconds;
    return input;
}

}  // namespace

TEST(StatusTexts, BeforeAnyCaptureOnlyRowsAndFilterShow) {
    const StatusTexts texts = BuildStatusTexts(Idle());
    EXPECT_EQ(texts.packets, "0 packets");
    EXPECT_EQ(texts.dropped, "");
    EXPECT_EQ(texts.leftOut, "");
    EXPECT_EQ(texts.source, "");
    EXPECT_EQ(texts.elapsed, "");
    EXPECT_EQ(texts.filter, "No filter");
}

TEST(StatusTexts, WhileCapturingEveryCounterAndTheSourceShow) {
    StatusInput input = Capturing(1234567, 0, 75);
    StatusTexts texts = BuildStatusTexts(input);
    EXPECT_EQ(texts.packets, "1234567 packets");
    EXPECT_EQ(texts.dropped, "0 dropped");
    EXPECT_EQ(texts.leftOut, "") << "shown only while \"Data contains\" is set";
    EXPECT_EQ(texts.source, "Interface: lo");
    EXPECT_EQ(texts.elapsed, "Elapsed: 1:15");

    input.dataContainsSet = true;
    input.statistics.dropped = 4294967296;  // past 32 bits
    texts = BuildStatusTexts(input);
    EXPECT_EQ(texts.dropped, "4294967296 dropped");
    EXPECT_EQ(texts.leftOut, "17 left out");
}

TEST(StatusTexts, AfterACaptureCountersStayAndElapsedGoes) {
    StatusInput input = Capturing(3, 2, 9);
    input.running = false;
    const StatusTexts texts = BuildStatusTexts(input);
    EXPECT_EQ(texts.packets, "3 packets");
    EXPECT_EQ(texts.dropped, "2 dropped");
    EXPECT_EQ(texts.source, "Interface: lo");
    EXPECT_EQ(texts.elapsed, "");
}

TEST(StatusTexts, ElapsedIsMinutesAndTwoDigitSeconds) {
    const struct {
        uint64_t seconds;
        const char* text;
    } cases[] = {
        {0, "Elapsed: 0:00"},     {5, "Elapsed: 0:05"},      {59, "Elapsed: 0:59"},
        {60, "Elapsed: 1:00"},    {61, "Elapsed: 1:01"},     {599, "Elapsed: 9:59"},
        {3600, "Elapsed: 60:00"}, {6059, "Elapsed: 100:59"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BuildStatusTexts(Capturing(0, 0, c.seconds)).elapsed, c.text) << c.seconds;
    }
}

TEST(StatusTexts, EachSourceKindHasItsWording) {
    StatusInput input = Idle(1);
    const struct {
        ShownSource source;
        const char* text;
    } cases[] = {
        {{SourceKind::Interface, "enp3s0"}, "Interface: enp3s0"},
        {{SourceKind::File, "/tmp/web traffic.pcapng"}, "File: /tmp/web traffic.pcapng"},
        {{SourceKind::File, "big.pcap", 0}, "File: big.pcap (stopped after 0 packets)"},
        {{SourceKind::File, "big.pcap", 4294967296},
         "File: big.pcap (stopped after 4294967296 packets)"},
        {{SourceKind::StandardInput, ""}, "Stream: standard input"},
        {{SourceKind::Fifo, "/run/tap.fifo"}, "Stream: /run/tap.fifo"},
        {{SourceKind::None, "ignored"}, ""},
    };
    for (const auto& c : cases) {
        input.source = c.source;
        EXPECT_EQ(BuildStatusTexts(input).source, c.text);
    }
}

TEST(StatusTexts, FilterIsShownExactlyAsCompiled) {
    StatusInput input = Idle();
    input.filter = "src host 10.0.0.1 and tcp and dst port 80";
    EXPECT_EQ(BuildStatusTexts(input).filter, "Filter: src host 10.0.0.1 and tcp and dst port 80");
    // Nothing trimmed or rewritten: the text is the one handed to the compiler.
    input.filter = " (udp)  ";
    EXPECT_EQ(BuildStatusTexts(input).filter, "Filter:  (udp)  ");
    input.filter.clear();
    EXPECT_EQ(BuildStatusTexts(input).filter, "No filter");
}
