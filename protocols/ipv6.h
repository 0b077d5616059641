// IPv6 fixed header (extension headers: ipv6_extension.h).
//
//  0    4        12              32       48       56      64
//  +----+--------+---------------+--------+--------+-------+
//  |ver | class  | flow label    |payload |next    |hop    |
//  |    |        |               |length  |header  |limit  |
//  +----+--------+---------------+--------+--------+-------+
//  8: source address (16)   24: destination address (16)   40: payload
#pragma once

#include "protocols/layer.h"

class CIpv6Layer : public CProtocolLayer {
  public:
    static constexpr int32_t kType = LAYER_IPV6;
    static constexpr int kHeaderSize = 40;
    CIpv6Layer() : CProtocolLayer(kType, "IPv6") {}
    void Decode(const unsigned char* data, int length) override;
    void AppendXml(std::string& out, int depth) const override;

    uint8_t m_nVersion = 0;
    uint8_t m_nTrafficClass = 0;
    uint32_t m_nFlowLabel = 0;  // 20 bits
    uint16_t m_nPayloadLen = 0;
    uint8_t m_nNextHeader = 0;
    uint8_t m_nHopLimit = 0;
    unsigned char m_srcAddr[16] = {};
    unsigned char m_dstAddr[16] = {};
};
