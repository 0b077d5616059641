#include "tools/capture_gen/generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "tests/gen/frame_view.h"

using namespace capture_gen;
using gen_test::Be16;
using gen_test::Be32;

namespace {

const CaptureKind kKinds[] = {CaptureKind::Tcp742, CaptureKind::Mix, CaptureKind::Http,
                              CaptureKind::Http6};

bool SameFrame(const GeneratedFrame& a, const GeneratedFrame& b) {
    return a.tsSec == b.tsSec && a.tsUsec == b.tsUsec && a.origLen == b.origLen &&
           a.frameClass == b.frameClass && a.data == b.data;
}

std::string PayloadText(const GeneratedFrame& f, const gen_test::TcpView& t) {
    const size_t at = t.tcp + (f.data[t.tcp + 12] >> 4) * 4u;
    return std::string(f.data.begin() + at, f.data.begin() + at + t.payload);
}

}  // namespace

TEST(GeneratorContract, SameSeedSameBytesOtherSeedOtherBytes) {
    for (CaptureKind kind : kKinds) {
        SCOPED_TRACE(std::string(CaptureKindName(kind)));
        const auto a = GenerateFrames(kind, 400, 7);
        const auto b = GenerateFrames(kind, 400, 7);
        const auto c = GenerateFrames(kind, 400, 8);
        ASSERT_EQ(a.size(), 400u);
        ASSERT_EQ(b.size(), 400u);
        size_t differing = 0;
        for (size_t i = 0; i < a.size(); ++i) {
            EXPECT_TRUE(SameFrame(a[i], b[i])) << "frame " << i;
            differing += a[i].data != c[i].data;
        }
        EXPECT_GT(differing, 300u);
    }
}

TEST(GeneratorContract, ProducesExactlyTheCountAndLongerCapturesExtendShorterOnes) {
    for (CaptureKind kind : kKinds) {
        SCOPED_TRACE(std::string(CaptureKindName(kind)));
        EXPECT_TRUE(GenerateFrames(kind, 0, 1).empty());
        FrameGenerator gen(kind, 3, 1);
        GeneratedFrame f;
        int n = 0;
        while (gen.Next(f)) ++n;
        EXPECT_EQ(n, 3);
        EXPECT_FALSE(gen.Next(f));
        EXPECT_EQ(gen.Produced(), 3u);

        const auto shortRun = GenerateFrames(kind, 50, 3);
        const auto longRun = GenerateFrames(kind, 1000, 3);
        ASSERT_EQ(longRun.size(), 1000u);
        for (size_t i = 0; i < shortRun.size(); ++i) {
            EXPECT_TRUE(SameFrame(shortRun[i], longRun[i])) << "frame " << i;
        }
    }
}

TEST(GeneratorContract, TimestampsStartFixedAndStrictlyIncreaseBySmallSteps) {
    for (CaptureKind kind : kKinds) {
        SCOPED_TRACE(std::string(CaptureKindName(kind)));
        const auto frames = GenerateFrames(kind, 3000, 11);
        EXPECT_EQ(frames[0].tsSec, kCaptureStartSec);
        EXPECT_EQ(frames[0].tsUsec, 0u);
        for (size_t i = 1; i < frames.size(); ++i) {
            ASSERT_LT(frames[i].tsUsec, 1000000u);
            const int64_t prev = int64_t{frames[i - 1].tsSec} * 1000000 + frames[i - 1].tsUsec;
            const int64_t now = int64_t{frames[i].tsSec} * 1000000 + frames[i].tsUsec;
            ASSERT_GT(now, prev) << "frame " << i;
            ASSERT_LE(now - prev, 1000000) << "frame " << i;
        }
    }
}

TEST(GenTcp742, FewConnectionsWithConsistentSequenceNumbers) {
    const auto frames = GenerateFrames(CaptureKind::Tcp742, 5000, 5);
    // Per direction of each connection: the next expected sequence number.
    std::map<std::tuple<uint32_t, uint16_t, uint32_t, uint16_t>, uint32_t> next;
    for (size_t i = 0; i < frames.size(); ++i) {
        const auto& f = frames[i];
        ASSERT_EQ(f.frameClass, FrameClass::Tcp4);
        ASSERT_EQ(f.data.size(), 14u + 20u + 20u + 742u) << "frame " << i;
        ASSERT_EQ(f.origLen, f.data.size());
        const auto t = gen_test::Tcp(f.data);
        ASSERT_TRUE(t.has_value());
        ASSERT_EQ(t->payload, 742u);
        EXPECT_NE(t->flags & 0x10, 0) << "every segment acknowledges";
        const auto key = std::make_tuple(t->src, t->sport, t->dst, t->dport);
        const auto reverse = std::make_tuple(t->dst, t->dport, t->src, t->sport);
        if (next.count(key) != 0) {
            EXPECT_EQ(t->seq, next[key]) << "frame " << i;
        }
        if (next.count(reverse) != 0) {
            EXPECT_EQ(t->ack, next[reverse]) << "frame " << i;
        }
        next[key] = t->seq + 742;
    }
    std::set<std::tuple<uint32_t, uint16_t, uint32_t, uint16_t>> connections;
    for (const auto& [k, v] : next) {
        const auto& [a, ap, b, bp] = k;
        connections.insert(a < b ? k : std::make_tuple(b, bp, a, ap));
    }
    EXPECT_GE(connections.size(), 3u);
    EXPECT_LE(connections.size(), 6u);
}

TEST(GenHttp, OneSessionWithHandshakeRequestThreeSegmentReplyAndTeardown) {
    const auto frames = GenerateFrames(CaptureKind::Http, kHttpSessionFrames, 1);
    ASSERT_EQ(frames.size(), 13u);
    const uint8_t S = 0x02, A = 0x10, P = 0x08, F = 0x01;
    const uint8_t flags[] = {S, S | A, A, P | A, A, A, A, A, P | A, A, F | A, F | A, A};
    const bool fromClient[] = {1, 0, 1, 1, 0, 0, 0, 1, 0, 1, 1, 0, 1};
    std::string request;
    std::string reply;
    int replySegments = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        const auto t = gen_test::Tcp(frames[i].data);
        ASSERT_TRUE(t.has_value());
        EXPECT_EQ(t->flags, flags[i]);
        EXPECT_EQ(t->sport, fromClient[i] ? 1042 : 80);
        EXPECT_EQ(t->src, fromClient[i] ? 0x0A000005u : 0xC0A80101u);
        if (t->payload == 0 && (t->flags & (S | F)) == 0) {
            // A pure acknowledgement: a 40-byte datagram in a 60-byte frame.
            EXPECT_EQ(frames[i].data.size(), 60u);
            EXPECT_EQ(Be16(frames[i].data, 16), 40);
        }
        if (t->payload != 0) {
            (fromClient[i] ? request : reply) += PayloadText(frames[i], *t);
            replySegments += !fromClient[i];
        }
    }
    EXPECT_EQ(replySegments, 3);
    EXPECT_TRUE(request.starts_with("GET /search?q=tap&lang=en&page=2 HTTP/1.1\r\n")) << request;
    EXPECT_TRUE(request.ends_with("\r\n\r\n"));
    const size_t bodyAt = reply.find("\r\n\r\n");
    ASSERT_NE(bodyAt, std::string::npos);
    const std::string body = reply.substr(bodyAt + 4);
    EXPECT_NE(reply.find("Content-Length: " + std::to_string(body.size()) + "\r\n"),
              std::string::npos);
    for (const char* special : {"<", ">", "\"", "&", "%s", "%d"}) {
        EXPECT_NE(body.find(special), std::string::npos) << special;
    }

    // The seed moves sequence numbers, never the texts or the endpoints.
    const auto other = GenerateFrames(CaptureKind::Http, kHttpSessionFrames, 2);
    const auto t1 = gen_test::Tcp(frames[3].data);
    const auto t2 = gen_test::Tcp(other[3].data);
    EXPECT_NE(t1->seq, t2->seq);
    EXPECT_EQ(PayloadText(frames[3], *t1), PayloadText(other[3], *t2));
}

TEST(GenHttp, MoreFramesThanOneSessionContinueOnTheNextClientPort) {
    const auto frames = GenerateFrames(CaptureKind::Http, 2 * kHttpSessionFrames + 2, 1);
    EXPECT_EQ(gen_test::Tcp(frames[kHttpSessionFrames - 1].data)->sport, 1042);
    const auto syn = gen_test::Tcp(frames[kHttpSessionFrames].data);
    EXPECT_EQ(syn->sport, 1043);
    EXPECT_EQ(syn->flags, 0x02);
    EXPECT_EQ(gen_test::Tcp(frames[2 * kHttpSessionFrames].data)->sport, 1044);
}

TEST(GenHttp6, TheSameSessionOverIpv6WithTheSameNumbers) {
    const auto v4 = GenerateFrames(CaptureKind::Http, kHttpSessionFrames, 5);
    const auto v6 = GenerateFrames(CaptureKind::Http6, kHttpSessionFrames, 5);
    ASSERT_EQ(v6.size(), v4.size());
    const uint8_t client[16] = {0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5};
    const uint8_t server[16] = {0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1};
    for (size_t i = 0; i < v6.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        const auto& f = v6[i].data;
        const auto t4 = gen_test::Tcp(v4[i].data);
        ASSERT_TRUE(t4.has_value());
        EXPECT_EQ(v6[i].frameClass, FrameClass::Tcp6);
        ASSERT_GE(f.size(), 74u);
        EXPECT_EQ(Be16(f, 12), 0x86DD);
        EXPECT_EQ(f[20], 6);  // TCP right after the fixed header
        const bool fromClient = t4->sport == 1042;
        EXPECT_TRUE(std::equal(f.begin() + 22, f.begin() + 38, fromClient ? client : server));
        EXPECT_TRUE(std::equal(f.begin() + 38, f.begin() + 54, fromClient ? server : client));
        // Ports, sequence and acknowledgement numbers and flags as over IPv4.
        EXPECT_TRUE(std::equal(f.begin() + 54, f.begin() + 66, v4[i].data.begin() + 34));
        EXPECT_EQ(f[67], t4->flags);
        const size_t offset = (f[66] >> 4) * 4u;
        EXPECT_EQ(Be16(f, 18), offset + t4->payload);  // the payload length
        EXPECT_EQ(f.size(), 54 + offset + t4->payload);
        EXPECT_EQ(std::string(f.begin() + 54 + offset, f.end()), PayloadText(v4[i], *t4));
    }
}

TEST(GenMix, CoversEveryFrameClassWithWellFormedHeaders) {
    const auto frames = GenerateFrames(CaptureKind::Mix, 30000, 1);
    size_t perClass[kFrameClassCount] = {};
    size_t paddedAcks = 0, laterFragments = 0, firstFragments = 0, withOptions = 0;
    size_t icmpv6 = 0, hopByHop = 0, runts = 0, requestsWithAmpersand = 0, shortFrames = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        const auto& f = frames[i];
        ++perClass[static_cast<size_t>(f.frameClass)];
        if (f.frameClass == FrameClass::Truncated) {
            EXPECT_LT(f.data.size(), f.origLen);
            EXPECT_GE(f.data.size(), 1u);
            runts += f.data.size() < 14;
            continue;
        }
        EXPECT_EQ(f.data.size(), f.origLen);
        EXPECT_GE(f.data.size(), 60u);
        shortFrames += f.data.size() < 60;
        if (Be16(f.data, 12) == 0x86DD) {
            icmpv6 += f.data[20] == 58;
            hopByHop += f.data[20] == 0;
        }
        const auto ip = gen_test::Ipv4Offset(f.data);
        if (!ip) continue;
        const size_t ihl = (f.data[*ip] & 0x0F) * 4u;
        EXPECT_EQ(f.data[*ip] >> 4, 4);
        EXPECT_EQ(gen_test::OnesSum(f.data, *ip, ihl), 0xFFFF) << "IPv4 header checksum";
        EXPECT_LE(*ip + Be16(f.data, *ip + 2), f.data.size()) << "total length fits";
        withOptions += ihl == 24;
        const uint16_t frag = Be16(f.data, *ip + 6);
        laterFragments += (frag & 0x1FFF) != 0;
        firstFragments += (frag & 0x1FFF) == 0 && (frag & 0x2000) != 0;
        if (const auto t = gen_test::Tcp(f.data)) {
            if (t->payload == 0 && f.data.size() == 60 && *ip == 14 && t->flags == 0x10 &&
                Be16(f.data, 16) == 40) {
                ++paddedAcks;
            }
            if (t->payload != 0) {
                const std::string text = PayloadText(f, *t);
                requestsWithAmpersand +=
                    text.starts_with("GET /") && text.find('&') < text.find(" HTTP/1.1\r\n");
            }
        }
    }
    for (size_t c = 0; c < kFrameClassCount; ++c) {
        EXPECT_GT(perClass[c], 0u) << FrameClassName(static_cast<FrameClass>(c));
    }
    EXPECT_GT(perClass[static_cast<size_t>(FrameClass::Tcp4)], frames.size() / 2);
    EXPECT_EQ(shortFrames, 0u);
    EXPECT_GT(paddedAcks, 1000u);
    EXPECT_GT(laterFragments, 0u);
    EXPECT_GT(firstFragments, 0u);
    EXPECT_GT(withOptions, 0u);
    EXPECT_GT(icmpv6, 0u);
    EXPECT_GT(hopByHop, 0u);
    EXPECT_GT(runts, 0u);
    EXPECT_GT(requestsWithAmpersand, 0u);
}

TEST(GenMix, HalfAMillionFramesHoldThousandsOfDistinctTcpSessions) {
    // The session table keys sessions by their two endpoints, so every
    // handshake must open a new pair of endpoints.
    FrameGenerator gen(CaptureKind::Mix, 500000, 1);
    GeneratedFrame f;
    std::set<std::tuple<uint32_t, uint16_t, uint32_t, uint16_t>> opened;
    size_t syns = 0;
    while (gen.Next(f)) {
        if (f.frameClass != FrameClass::Tcp4 && f.frameClass != FrameClass::PppoeSession) continue;
        const auto t = gen_test::Tcp(f.data);
        if (!t || t->flags != 0x02) continue;
        ++syns;
        opened.insert({t->src, t->sport, t->dst, t->dport});
    }
    EXPECT_EQ(gen.Produced(), 500000u);
    EXPECT_GE(syns, 5000u);
    EXPECT_EQ(opened.size(), syns) << "a handshake reused the endpoints of an earlier session";
}
