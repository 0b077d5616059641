// UDP header (8 bytes): source port, destination port, length, checksum.
#pragma once

#include "protocols/layer.h"

class CUdpLayer : public CProtocolLayer {
public:
    static constexpr int32_t kType = LAYER_UDP;
    static constexpr int kHeaderSize = 8;
    CUdpLayer() : CProtocolLayer(kType, "UDP") {}
    void Decode(const unsigned char* data, int length) override;
    void AppendXml(std::string& out, int depth) const override;

    uint16_t m_nSrcPort = 0;
    uint16_t m_nDstPort = 0;
    uint16_t m_nLength = 0;
    uint16_t m_nChecksum = 0;
};
