// The BSD loopback header: the address family of the packet that follows, four
// bytes in the byte order of the host that wrote it (DLT_NULL) or always
// big-endian (DLT_LOOP).
#pragma once

#include "protocols/layer.h"

class CLoopbackLayer : public CProtocolLayer {
  public:
    static constexpr int32_t kType = LAYER_LOOPBACK;
    static constexpr int kHeaderSize = 4;
    CLoopbackLayer() : CProtocolLayer(kType, "Loopback") {}
    // The family in either byte order.
    void Decode(const unsigned char* data, int length) override;
    void AppendXml(std::string& out, int depth) const override;

    uint32_t m_nFamily = 0;

  protected:
    // Builds IPv4 or IPv6 for the family; others end the chain.
    void DecodeFamily(const unsigned char* data, int length);
};

// DLT_LOOP: the family big-endian only.
class CLoopLayer : public CLoopbackLayer {
  public:
    void Decode(const unsigned char* data, int length) override;
};
