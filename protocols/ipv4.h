// IPv4 header.
//
// clang-format off
//  0       1       2               4               6               8       9      10              12
//  +---+---+-------+---------------+---------------+---+-----------+-------+------+---------------+
//  |ver|ihl| tos   | total length  | identification|flg| frag off  | ttl   |proto | checksum      |
//  +---+---+-------+---------------+---------------+---+-----------+-------+------+---------------+
//  12: source address (4)   16: destination address (4)   20: options (ihl * 4 - 20)
// clang-format on
#pragma once

#include "protocols/layer.h"

class CIpv4Layer : public CProtocolLayer {
public:
    static constexpr int32_t kType = LAYER_IPV4;
    static constexpr int kHeaderSize = 20;
    CIpv4Layer() : CProtocolLayer(kType, "IPv4") {}
    void Decode(const unsigned char* data, int length) override;
    void AppendXml(std::string& out, int depth) const override;

    uint8_t m_nVersion = 0;
    uint8_t m_nHeaderLen = 0;  // in bytes: the low nibble of byte 0 times 4
    uint8_t m_nTos = 0;
    uint16_t m_nTotalLen = 0;
    uint16_t m_nId = 0;
    uint16_t m_nFragOffset = 0;  // 13 bits, in units of 8 bytes
    uint8_t m_nTtl = 0;
    uint8_t m_nProtocol = 0;
    uint16_t m_nChecksum = 0;
    unsigned char m_srcAddr[4] = {};
    unsigned char m_dstAddr[4] = {};
};
