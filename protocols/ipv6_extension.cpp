// IPv6 extension headers: hop-by-hop, routing, fragment, destination options.
#include "protocols/ipv6_extension.h"

#include "protocols/byte_reader.h"
#include "protocols/data.h"
#include "protocols/icmp.h"
#include "protocols/icmpv6.h"
#include "protocols/tcp.h"
#include "protocols/text_format.h"
#include "protocols/udp.h"

namespace {

const char* OptionsName(uint8_t nextHeader) {
    switch (nextHeader) {
        case 0:
            return "IPv6HopByHop";
        case 43:
            return "IPv6Routing";
        default:
            return "IPv6DestOptions";
    }
}

}  // namespace

void DecodeIpv6Next(CProtocolLayer& outer, const unsigned char* data, int length, int consumed,
                    uint8_t nextHeader) {
    // Walked here, one layer each, so that no header decodes the next.
    CProtocolLayer* last = &outer;
    for (int walked = 0; walked < kMostExtensions; ++walked) {
        int size = 0;
        if (nextHeader == 0 || nextHeader == 43 || nextHeader == 60) {
            auto* options = last->DecodeInner<CIpv6OptionsLayer>(data, length, consumed);
            if (options == nullptr) break;
            options->m_szName = OptionsName(nextHeader);
            nextHeader = options->m_nNextHeader;
            size = options->Length();
            last = options;
        } else if (nextHeader == 44) {
            auto* fragment = last->DecodeInner<CIpv6FragmentLayer>(data, length, consumed);
            if (fragment == nullptr) break;
            nextHeader = fragment->m_nFragmentOffset == 0 ? fragment->m_nNextHeader : 59;
            size = CIpv6FragmentLayer::kHeaderSize;
            last = fragment;
        } else {
            break;
        }
        data += consumed;
        length -= consumed;
        consumed = size;
    }
    switch (nextHeader) {
        case 1:
            last->DecodeInner<CIcmpLayer>(data, length, consumed);
            break;
        case 6:
            last->DecodeInner<CTcpLayer>(data, length, consumed);
            break;
        case 17:
            last->DecodeInner<CUdpLayer>(data, length, consumed);
            break;
        case 58:
            last->DecodeInner<CIcmpv6Layer>(data, length, consumed);
            break;
        default:
            last->DecodeInner<CDataLayer>(data, length, consumed);
            break;
    }
}

void CIpv6OptionsLayer::Decode(const unsigned char* data, int length) {
    if (data == nullptr) return;
    ByteReader r(data, length);
    m_nNextHeader = r.ReadU8();
    m_nLength = r.ReadU8();
}

void CIpv6OptionsLayer::AppendXml(std::string& out, int depth) const {
    out += '<';
    out += m_szName;
    out += '>';
    AppendFormat(out, "<NextHeader desc=\"Next Header\">%u</NextHeader>", {m_nNextHeader});
    AppendFormat(out, "<Length desc=\"Header Length\">%u</Length>", {Length()});
    out += "</";
    out += m_szName;
    out += '>';
    AppendInner(out, depth);
}

void CIpv6FragmentLayer::Decode(const unsigned char* data, int length) {
    if (data == nullptr) return;
    ByteReader r(data, length);
    m_nNextHeader = r.ReadU8();
    r.Skip(1);
    const uint16_t field = r.ReadBe16();
    m_nFragmentOffset = field >> 3;
    m_nMoreFragments = field & 1;
    m_nIdentification = r.ReadBe32();
}

void CIpv6FragmentLayer::AppendXml(std::string& out, int depth) const {
    out += "<IPv6Fragment>";
    AppendFormat(out, "<NextHeader desc=\"Next Header\">%u</NextHeader>", {m_nNextHeader});
    AppendFormat(out, "<Offset desc=\"Fragment Offset\">%u</Offset>", {m_nFragmentOffset});
    AppendFormat(out, "<MoreFragments desc=\"More Fragments\">%u</MoreFragments>",
                 {m_nMoreFragments});
    AppendFormat(out, "<Identification>%u</Identification>", {m_nIdentification});
    out += "</IPv6Fragment>";
    AppendInner(out, depth);
}
