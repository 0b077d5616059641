// IPv6 extension headers between the fixed header and the upper layer.
//
//  Hop-by-hop (0), routing (43),          Fragment (44, 8 bytes)
//  destination options (60)               0      1      2           4
//  0      1      2                        +------+------+-----------+--------------+
//  +------+------+------------ ...        |next  |res.  |offset|res|M|identification|
//  |next  |length| options/data           +------+------+-----------+--------------+
//  +------+------+------------ ...
//  length: in 8-byte units, not counting the first 8 bytes.
#pragma once

#include "protocols/layer.h"

// Builds, as `outer`'s inner layers, what follows `consumed` bytes of `outer`
// at `data` when its next header is `nextHeader`: the extension headers (at
// most kMostExtensions), then ICMPv6, TCP or UDP, or the payload. The bytes of
// a fragment other than the first are payload.
void DecodeIpv6Next(CProtocolLayer& outer, const unsigned char* data, int length, int consumed,
                    uint8_t nextHeader);

class CIpv6OptionsLayer : public CProtocolLayer {
  public:
    static constexpr int32_t kType = LAYER_IPV6_OPTIONS;
    static constexpr int kHeaderSize = 2;
    CIpv6OptionsLayer() : CProtocolLayer(kType, "IPv6Options") {}
    // Fills the fields only; DecodeIpv6Next walks on.
    void Decode(const unsigned char* data, int length) override;
    void AppendXml(std::string& out, int depth) const override;

    // The header's whole length in bytes.
    int Length() const { return (m_nLength + 1) * 8; }

    uint8_t m_nNextHeader = 0;
    uint8_t m_nLength = 0;  // as stated: 8-byte units after the first 8
};

class CIpv6FragmentLayer : public CProtocolLayer {
  public:
    static constexpr int32_t kType = LAYER_IPV6_FRAGMENT;
    static constexpr int kHeaderSize = 8;
    CIpv6FragmentLayer() : CProtocolLayer(kType, "IPv6Fragment") {}
    void Decode(const unsigned char* data, int length) override;
    void AppendXml(std::string& out, int depth) const override;

    uint8_t m_nNextHeader = 0;
    uint8_t m_nMoreFragments = 0;
    uint16_t m_nFragmentOffset = 0;  // in 8-byte units
    uint32_t m_nIdentification = 0;
};

// Extension headers walked in one packet; what follows the last is payload.
inline constexpr int kMostExtensions = 8;
