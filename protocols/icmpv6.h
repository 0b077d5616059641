// ICMPv6 header: type, code, checksum (4 bytes), and for an echo request or
// reply the identifier and sequence number after them. The rest is payload.
#pragma once

#include "protocols/layer.h"

class CIcmpv6Layer : public CProtocolLayer {
  public:
    static constexpr int32_t kType = LAYER_ICMPV6;
    static constexpr int kHeaderSize = 4;
    CIcmpv6Layer() : CProtocolLayer(kType, "ICMPv6") {}
    void Decode(const unsigned char* data, int length) override;
    void AppendXml(std::string& out, int depth) const override;

    bool IsEcho() const { return m_nIcmpType == 128 || m_nIcmpType == 129; }

    uint8_t m_nIcmpType = 0;
    uint8_t m_nCode = 0;
    uint16_t m_nChecksum = 0;
    uint16_t m_nIdentifier = 0;  // echo only
    uint16_t m_nSequence = 0;    // echo only
};
