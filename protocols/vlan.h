// An IEEE 802.1Q or 802.1ad (QinQ) tag: one layer per tag, between the link
// header and the network layer.
//
//  0    3   4            16             32
//  +----+---+------------+--------------+
//  |prio|DEI|  VLAN ID   |  EtherType   |
//  +----+---+------------+--------------+
#pragma once

#include "protocols/layer.h"

class CVlanLayer : public CProtocolLayer {
  public:
    static constexpr int32_t kType = LAYER_VLAN;
    static constexpr int kHeaderSize = 4;
    // Tags walked in one frame; a type after the last of them ends the chain.
    static constexpr int kMostTags = 16;
    CVlanLayer() : CProtocolLayer(kType, "VLAN") {}
    // Fills the fields only: the link header that met the tag walks on.
    void Decode(const unsigned char* data, int length) override;
    void AppendXml(std::string& out, int depth) const override;

    static bool IsTag(uint32_t etherType) { return etherType == 0x8100 || etherType == 0x88A8; }

    uint16_t m_nVlanId = 0;
    uint8_t m_nPriority = 0;
    uint8_t m_nDropEligible = 0;
    uint32_t m_nEtherType = 0;  // what the tag carries
};
