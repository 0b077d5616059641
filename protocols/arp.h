// ARP and RARP messages (one layout, two EtherTypes: 0x0806 and 0x8035).
//
//  0        2        4    5    6        8
//  +--------+--------+----+----+--------+-----------+-----------+-----------+-----------+
//  |hardware|protocol| h  | p  | opcode | sender hw | sender    | target hw | target    |
//  | type   | type   |    |    |        | (h bytes) | proto (p) | (h bytes) | proto (p) |
//  +--------+--------+----+----+--------+-----------+-----------+-----------+-----------+
#pragma once

#include "protocols/layer.h"

// The fields both message layers share; the address arrays live in the chain's slab.
struct ArpFields {
    uint16_t m_nProtocolType = 0;
    uint16_t m_nHardwareType = 0;
    uint8_t m_nHardwareLen = 0;
    uint8_t m_nProtocolLen = 0;
    uint16_t m_nOpcode = 0;
    const unsigned char* m_pSenderHw = nullptr;
    const unsigned char* m_pTargetHw = nullptr;
    const unsigned char* m_pSenderProto = nullptr;
    const unsigned char* m_pTargetProto = nullptr;
};

class CArpLayer : public CProtocolLayer, public ArpFields {
public:
    static constexpr int32_t kType = LAYER_ARP;
    static constexpr int kHeaderSize = 8;
    CArpLayer() : CProtocolLayer(kType, "ARP") {}
    void Decode(const unsigned char* data, int length) override;
    void AppendXml(std::string& out, int depth) const override;
};

class CRarpLayer : public CProtocolLayer, public ArpFields {
public:
    static constexpr int32_t kType = LAYER_RARP;
    static constexpr int kHeaderSize = 8;
    CRarpLayer() : CProtocolLayer(kType, "RARP") {}
    void Decode(const unsigned char* data, int length) override;
    void AppendXml(std::string& out, int depth) const override;
};
