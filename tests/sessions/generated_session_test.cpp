// The generated HTTP-like session (tapwatch-gen's http and http6 kinds) through
// the Decode window's logic: its rendering in every header style and data
// format against the golden texts that tapwatch-log's --follow must also
// write, and its packets in capture order whatever their sequence numbers add
// up to.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "protocols/decode.h"
#include "protocols/text_format.h"
#include "sessions/decode_logic.h"
#include "tests/sessions/fake_decode_view.h"
#include "tools/capture_gen/generator.h"

namespace {

using capture_gen::CaptureKind;

// The golden texts are of this seed, whose two initial sequence numbers add
// up past 2^32.
constexpr uint32_t kGoldenSeed = 4;

std::string Golden(const std::string& name) {
    std::ifstream in(std::string(TAPWATCH_SOURCE_DIR) + "/tests/sessions/golden/" + name,
                     std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Generated {
    std::vector<capture_gen::GeneratedFrame> frames;
    PacketSnapshot packets;
};

Generated Generate(CaptureKind kind, uint32_t seed) {
    Generated g;
    g.frames = capture_gen::GenerateFrames(kind, capture_gen::kHttpSessionFrames, seed);
    for (const auto& f : g.frames)
        g.packets.push_back(DecodeFrame(f.data.data(), static_cast<int>(f.data.size())));
    return g;
}

// What the stream area shows: the caption, then the runs' text.
std::string Shown(const FakeDecodeView& view) {
    std::string text = view.caption;
    text += '\n';
    bool pendingCr = false;
    for (const StyledRun& run : view.stream) AppendShownText(text, run.text, pendingCr);
    return text;
}

// The numbers of a TCP header read straight from the frame bytes.
struct Wire {
    uint16_t sport;
    uint32_t seq, ack;
};

Wire WireOf(const capture_gen::GeneratedFrame& f) {
    const auto& b = f.data;
    const size_t tcp = b[12] == 0x86 ? 14 + 40 : 14 + (b[14] & 0x0F) * 4u;
    auto be = [&b](size_t at, int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) v = (v << 8) | b[at + i];
        return v;
    };
    return {static_cast<uint16_t>(be(tcp, 2)), be(tcp + 4, 4), be(tcp + 8, 4)};
}

TEST(GeneratedSession, MatchesTheGoldenTextsInEveryStyleAndFormat) {
    for (const auto& [kind, family] :
         {std::pair{CaptureKind::Http, "http4"}, std::pair{CaptureKind::Http6, "http6"}}) {
        FakeDecodeView view;
        CDecodeLogic logic(view, Generate(kind, kGoldenSeed).packets, nullptr);
        logic.Initialise(-1);
        ASSERT_EQ(view.rows.size(), 1u) << family;
        for (int format : {0, 1}) {
            logic.OnDataFormat(format);
            for (int style = 0; style < 4; ++style) {
                logic.OnHeaderStyle(style);
                const std::string name = std::string(family) + "_style" + std::to_string(style) +
                                         (format == 0 ? "_ascii.txt" : "_hex.txt");
                EXPECT_EQ(Shown(view), Golden(name)) << name;
                // Colours and bold, which the texts leave out: the client's
                // data in the first side's colour, the server's in the second's.
                int payloads = 0;
                for (const StyledRun& run : view.stream) {
                    if (run.bold) continue;
                    ++payloads;
                    const bool request = payloads == 1;
                    EXPECT_EQ(run.Colour(), request ? FirstSideColour : SecondSideColour) << name;
                }
                EXPECT_EQ(payloads, 4) << name;  // the request and three reply segments
            }
        }
    }
}

TEST(GeneratedSession, PacketsInCaptureOrderWhenTheInitialNumbersWrapAndWhenNot) {
    // Seed 4: 3215497318 + 3305884020 passes 2^32; seed 1 stays below it.
    for (const uint32_t seed : {kGoldenSeed, 1u}) {
        for (const CaptureKind kind : {CaptureKind::Http, CaptureKind::Http6}) {
            const Generated g = Generate(kind, seed);
            const Wire syn = WireOf(g.frames[0]);
            const Wire synAck = WireOf(g.frames[1]);
            ASSERT_EQ(uint64_t{syn.seq} + synAck.seq > 0xFFFFFFFFu, seed == kGoldenSeed);

            FakeDecodeView view;
            CDecodeLogic logic(view, g.packets, nullptr);
            logic.Initialise(-1);
            for (int style = 0; style < 3; ++style) {
                logic.OnHeaderStyle(style);
                // Every packet's number run is followed by its source run; the
                // sequence numbers follow in styles 0 and 1.
                std::vector<std::string> numbers, seqs;
                for (size_t r = 0; r + 1 < view.stream.size(); ++r) {
                    const std::string& text = view.stream[r].text;
                    if (text.starts_with("[") && text.ends_with("] ")) numbers.push_back(text);
                    if (text == " (SYN:") seqs.push_back(view.stream[r + 1].text);
                }
                ASSERT_EQ(numbers.size(), g.frames.size()) << "style " << style;
                for (size_t i = 0; i < g.frames.size(); ++i) {
                    EXPECT_EQ(numbers[i], Format("[%d] ", {static_cast<int>(i)}));
                    if (style < 2) {
                        EXPECT_EQ(seqs.at(i), std::to_string(WireOf(g.frames[i]).seq));
                    }
                }
            }
            // No header: the request comes before the reply.
            logic.OnHeaderStyle(3);
            ASSERT_EQ(view.stream.size(), 4u);
            EXPECT_TRUE(view.stream[0].text.starts_with("GET /search"));
            EXPECT_TRUE(view.stream[1].text.starts_with("HTTP/1.1 200 OK"));
            EXPECT_TRUE(view.stream[3].text.ends_with("</body></html>\r\n\r\n"));
            // The SYN opens the stream and the last acknowledgement ends it.
            EXPECT_EQ(logic.StreamPackets().front(), g.packets.front().get());
            EXPECT_EQ(logic.StreamPackets().back(), g.packets.back().get());
        }
    }
}

}  // namespace
