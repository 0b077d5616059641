// The payload: bytes no decoder interprets, kept as a copy in the chain's slab
// and rendered twice, as hexadecimal and as printable text.
#pragma once

#include "protocols/layer.h"

class CDataLayer : public CProtocolLayer {
public:
    static constexpr int32_t kType = LAYER_DATA;
    static constexpr int kHeaderSize = 0;  // no fixed header
    CDataLayer() : CProtocolLayer(kType, "Data") {}
    void Decode(const unsigned char* data, int length) override;
    void AppendXml(std::string& out, int depth) const override;

    // The length first: it fills the space the base class leaves at its end.
    int32_t m_nLength = 0;
    const unsigned char* m_pData = nullptr;  // null for an empty payload
};
