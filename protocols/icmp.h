// ICMP header (4 bytes): type, code, checksum. The rest is payload.
#pragma once

#include "protocols/layer.h"

class CIcmpLayer : public CProtocolLayer {
public:
    static constexpr int32_t kType = LAYER_ICMP;
    static constexpr int kHeaderSize = 4;
    CIcmpLayer() : CProtocolLayer(kType, "ICMP") {}
    void Decode(const unsigned char* data, int length) override;
    void AppendXml(std::string& out, int depth) const override;

    uint32_t m_nIcmpType = 0;
    uint32_t m_nCode = 0;
    uint16_t m_nChecksum = 0;
};
