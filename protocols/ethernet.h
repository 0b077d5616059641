// Ethernet II, and PPP over Ethernet in its data stage.
//
//  Ethernet II                       PPPoE (6 bytes)              PPP (2 bytes)
//  0      6      12   14             0     1    2       4     6   0        2
//  +------+------+----+              +-----+----+-------+-----+   +--------+
//  | dst  | src  |type|              |ver/ |code|session|len  |   |protocol|
//  +------+------+----+              |type |    |id     |     |   +--------+
//                                    +-----+----+-------+-----+
#pragma once

#include "protocols/layer.h"

class CEthernetLayer : public CProtocolLayer {
  public:
    static constexpr int32_t kType = LAYER_ETHERNET;
    static constexpr int kHeaderSize = 14;
    CEthernetLayer() : CProtocolLayer(kType, "Ethernet") {}
    void Decode(const unsigned char* data, int length) override;
    void AppendXml(std::string& out, int depth) const override;

    unsigned char m_srcMac[6] = {};
    unsigned char m_dstMac[6] = {};
    uint32_t m_nEtherType = 0;  // or, on an IEEE 802.3 frame, its length field
};

class CPppoeLayer : public CProtocolLayer {
  public:
    static constexpr int32_t kType = LAYER_PPPOE;
    static constexpr int kHeaderSize = 6;
    CPppoeLayer() : CProtocolLayer(kType, "PPPoE") {}
    void Decode(const unsigned char* data, int length) override;
    void AppendXml(std::string& out, int depth) const override;

    uint32_t m_nProtocol = 0;  // version/type byte (high) and code byte (low)
};

class CPppLayer : public CProtocolLayer {
  public:
    static constexpr int32_t kType = LAYER_PPP;
    static constexpr int kHeaderSize = 2;
    CPppLayer() : CProtocolLayer(kType, "PPP") {}
    void Decode(const unsigned char* data, int length) override;
    void AppendXml(std::string& out, int depth) const override;

    uint32_t m_nProtocol = 0;

  protected:
    // Builds the layer the protocol number names from what follows `consumed` bytes.
    void DecodeCarried(const unsigned char* data, int length, int consumed);
};

// PPP as the link itself (a PPP interface, a serial line): the same element as
// PPP inside PPPoE, after the HDLC-like address and control bytes (ff 03) when
// the frame has them, with a protocol field compressed to one byte when its
// first byte is odd.
class CPppLinkLayer : public CPppLayer {
  public:
    static constexpr int kHeaderSize = 1;
    void Decode(const unsigned char* data, int length) override;
};

// Builds, as `outer`'s inner layer, the layer an EtherType names from what
// follows `consumed` bytes of `outer`'s header at `data`: IPv4, IPv6, ARP, RARP,
// PPPoE, or the 802.1Q and 802.1ad tags before them. Any other type ends the
// chain. Shared by every link header that carries an EtherType.
void DecodeEtherType(CProtocolLayer& outer, const unsigned char* data, int length, int consumed,
                     uint32_t etherType);
