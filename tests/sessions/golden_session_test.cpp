// A small HTTP-like session rendered in every header style and both data
// formats, run by run, through the window's logic: packets in capture order,
// payloads without their TCP options.
#include <gtest/gtest.h>

#include <sstream>

#include "sessions/decode_logic.h"
#include "tests/sessions/fake_decode_view.h"
#include "tests/sessions/packet_builder.h"

namespace {

using namespace test_packets;

const HostAddress kClient{10, 0, 0, 5};
const HostAddress kServer{192, 168, 1, 1};

// Options as Linux sends them: MSS, SACK permitted, timestamps and window
// scale on the handshake, timestamps alone on every later segment.
std::vector<unsigned char> SynOptions() {
    std::vector<unsigned char> o = {0x02, 0x04, 0x05, 0xB4, 0x04, 0x02};
    const auto stamps = Timestamps(0x0A0D0A0D, 0);  // CR LF in the stamps
    o.insert(o.end(), stamps.begin() + 2, stamps.end());
    o.insert(o.end(), {0x01, 0x03, 0x03, 0x07});
    return o;
}

PacketRef Client(uint32_t seq, uint32_t ack, uint8_t flags, uint16_t id, std::string payload = {},
                 int pad = 0) {
    Tcp t{kClient, kServer, 1042, 80, seq, ack, flags, id, std::move(payload), pad, 0, {}, -1};
    // The one segment without options is the padded bare acknowledgement.
    t.options = flags & SYN ? SynOptions()
                : pad != 0  ? std::vector<unsigned char>{}
                            : Timestamps(0x1A2B3C4D, 0x6E7F0A0D);
    return TcpPacket(t);
}

PacketRef Server(uint32_t seq, uint32_t ack, uint8_t flags, uint16_t id, std::string payload = {}) {
    Tcp t{kServer, kClient, 80, 1042, seq, ack, flags, id, std::move(payload), 0, 0, {}, -1};
    t.options = flags & SYN ? SynOptions() : Timestamps(0x6E7F0A0D, 0x1A2B3C4D);
    return TcpPacket(t);
}

// In capture order: the request overtook its bare acknowledgement and the
// body overtook the header segment, and so they are rendered.
PacketSnapshot HttpCapture() {
    return {
        Client(1000, 0, SYN, 1),
        Server(5000, 1001, SYN | ACK, 100),
        UdpPacket(kClient, kServer, 1042, 80),
        Client(1001, 5001, PSH | ACK, 3, "GET / HTTP/1.0\r\nHost: web\r\n\r\n"),
        Client(1001, 5001, ACK, 2, {}, 6),  // a minimum frame: 6 fill bytes
        TcpPacket(Tcp{kClient, kServer, 1043, 80, 1, 1, ACK, 9, "other", 0, 0, {}, -1}),
        Server(5001, 1030, PSH | ACK, 101, "HTTP/1.0 200 OK\r\n"),
        Server(5039, 1030, PSH | ACK, 103, "hi\t!"),
        Server(5018, 1030, PSH | ACK, 102, "Content-Length: 4\r\n\r\n"),
        Server(5043, 1030, FIN | ACK, 104),
        Client(1030, 5044, FIN | ACK, 4),
        Server(5044, 1031, ACK, 105),
    };
}

// Payload texts in rendering order, per format. Segments without data (the
// handshake, the bare acknowledgements, padded or not, and the teardown)
// have none.
const std::vector<std::string> kAsciiPayloads = {"GET / HTTP/1.0\r\nHost: web\r\n\r\n",
                                                 "HTTP/1.0 200 OK\r\n", "hi.!",
                                                 "Content-Length: 4\r\n\r\n"};
const std::vector<std::string> kHexPayloads = {
    "474554202F20485454502F312E300D0A486F73743A207765620D0A0D0A",
    "485454502F312E3020323030204F4B0D0A", "68690921", "436F6E74656E742D4C656E6774683A20340D0A0D0A"};

// One line per packet; runs separated by "|", each "colour:text" with k black
// bold, n number colour bold, 1 and 2 the two sides (not bold). "~" is CR LF
// and "$" the packet's payload text.
const char* const kSynAck[] = {
    "k:[0] |k:Source 10.0.0.5 :1042|k: (SYN:|n:1000|k: ACK:|n:0|k:)|k:~|k:~",
    "k:[1] |k:Source 192.168.1.1 :80|k: (SYN:|n:5000|k: ACK:|n:1001|k:)|k:~|k:~",
    "k:[2] |k:Source 10.0.0.5 :1042|k: (SYN:|n:1001|k: ACK:|n:5001|k:)|k:~|1:$~|k:~",
    "k:[3] |k:Source 10.0.0.5 :1042|k: (SYN:|n:1001|k: ACK:|n:5001|k:)|k:~|k:~",
    "k:[4] |k:Source 192.168.1.1 :80|k: (SYN:|n:5001|k: ACK:|n:1030|k:)|k:~|2:$~|k:~",
    "k:[5] |k:Source 192.168.1.1 :80|k: (SYN:|n:5039|k: ACK:|n:1030|k:)|k:~|2:$~|k:~",
    "k:[6] |k:Source 192.168.1.1 :80|k: (SYN:|n:5018|k: ACK:|n:1030|k:)|k:~|2:$~|k:~",
    "k:[7] |k:Source 192.168.1.1 :80|k: (SYN:|n:5043|k: ACK:|n:1030|k:)|k:~|k:~",
    "k:[8] |k:Source 10.0.0.5 :1042|k: (SYN:|n:1030|k: ACK:|n:5044|k:)|k:~|k:~",
    "k:[9] |k:Source 192.168.1.1 :80|k: (SYN:|n:5044|k: ACK:|n:1031|k:)|k:~|k:~",
};
const char* const kSynAckFlags[] = {
    "k:[0] |k:Source 10.0.0.5 :1042|k: (SYN:|n:1000|k: ACK:|n:0|k:)|k: [ SYN ]|k:~|k:~",
    "k:[1] |k:Source 192.168.1.1 :80|k: (SYN:|n:5000|k: ACK:|n:1001|k:)|k: [ SYN ACK ]|k:~|k:~",
    "k:[2] |k:Source 10.0.0.5 :1042|k: (SYN:|n:1001|k: ACK:|n:5001|k:)|k: [ PSH ACK ]|k:~|1:$~|k:~",
    "k:[3] |k:Source 10.0.0.5 :1042|k: (SYN:|n:1001|k: ACK:|n:5001|k:)|k: [ ACK ]|k:~|k:~",
    "k:[4] |k:Source 192.168.1.1 :80|k: (SYN:|n:5001|k: ACK:|n:1030|k:)|k: [ PSH ACK "
    "]|k:~|2:$~|k:~",
    "k:[5] |k:Source 192.168.1.1 :80|k: (SYN:|n:5039|k: ACK:|n:1030|k:)|k: [ PSH ACK "
    "]|k:~|2:$~|k:~",
    "k:[6] |k:Source 192.168.1.1 :80|k: (SYN:|n:5018|k: ACK:|n:1030|k:)|k: [ PSH ACK "
    "]|k:~|2:$~|k:~",
    "k:[7] |k:Source 192.168.1.1 :80|k: (SYN:|n:5043|k: ACK:|n:1030|k:)|k: [ FIN ACK ]|k:~|k:~",
    "k:[8] |k:Source 10.0.0.5 :1042|k: (SYN:|n:1030|k: ACK:|n:5044|k:)|k: [ FIN ACK ]|k:~|k:~",
    "k:[9] |k:Source 192.168.1.1 :80|k: (SYN:|n:5044|k: ACK:|n:1031|k:)|k: [ ACK ]|k:~|k:~",
};
const char* const kSimple[] = {
    "k:[0] |k:Source 10.0.0.5 :1042|k:~|k:~",       "k:[1] |k:Source 192.168.1.1 :80|k:~|k:~",
    "k:[2] |k:Source 10.0.0.5 :1042|k:~|1:$~|k:~",  "k:[3] |k:Source 10.0.0.5 :1042|k:~|k:~",
    "k:[4] |k:Source 192.168.1.1 :80|k:~|2:$~|k:~", "k:[5] |k:Source 192.168.1.1 :80|k:~|2:$~|k:~",
    "k:[6] |k:Source 192.168.1.1 :80|k:~|2:$~|k:~", "k:[7] |k:Source 192.168.1.1 :80|k:~|k:~",
    "k:[8] |k:Source 10.0.0.5 :1042|k:~|k:~",       "k:[9] |k:Source 192.168.1.1 :80|k:~|k:~",
};
const char* const kNoHeader[] = {"1:$~", "2:$~", "2:$~", "2:$~"};

std::vector<StyledRun> Expand(const std::vector<const char*>& lines,
                              const std::vector<std::string>& payloads) {
    std::vector<StyledRun> runs;
    size_t next = 0;
    for (const char* line : lines) {
        std::stringstream in(line);
        std::string item;
        while (std::getline(in, item, '|')) {
            std::string text;
            for (char c : item.substr(2)) {
                if (c == '~')
                    text += "\r\n";
                else if (c == '$')
                    text += payloads.at(next++);
                else
                    text += c;
            }
            const char colour = item[0];
            const RunColour rgb = colour == 'n'   ? NumberColour
                                  : colour == '1' ? FirstSideColour
                                  : colour == '2' ? SecondSideColour
                                                  : BlackColour;
            runs.emplace_back(text, rgb, colour == 'k' || colour == 'n');
        }
    }
    EXPECT_EQ(next, payloads.size());
    return runs;
}

template <size_t N>
std::vector<const char*> Lines(const char* const (&a)[N]) {
    return {a, a + N};
}

TEST(GoldenSession, EveryHeaderStyleInBothFormats) {
    const std::vector<std::vector<const char*>> styles = {Lines(kSynAck), Lines(kSynAckFlags),
                                                          Lines(kSimple), Lines(kNoHeader)};
    FakeDecodeView view;
    CDecodeLogic logic(view, HttpCapture(), nullptr);
    logic.Initialise(-1);
    ASSERT_EQ(view.rows,
              (std::vector<std::string>{"1042 -> 192.168.1.1[80]", "1043 -> 192.168.1.1[80]"}));
    EXPECT_EQ(view.caption, "Reassembled TCP session (10 packets)");
    for (int format : {0, 1}) {
        logic.OnDataFormat(format);
        for (int style = 0; style < 4; ++style) {
            logic.OnHeaderStyle(style);
            const auto& payloads = format == 0 ? kAsciiPayloads : kHexPayloads;
            EXPECT_EQ(view.stream, Expand(styles[style], payloads))
                << "format " << format << " style " << style;
        }
    }
    EXPECT_EQ(view.caption, "Reassembled TCP session (10 packets)");
    EXPECT_EQ(view.Text(EndpointBox::Upper), "10.0.0.5 : 1042");
    EXPECT_EQ(view.Text(EndpointBox::Lower), "192.168.1.1 : 80");
}

}  // namespace
