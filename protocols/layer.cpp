#include "protocols/layer.h"

void CProtocolLayer::Decode(const unsigned char*, int) {}

void CProtocolLayer::AppendXml(std::string&, int) const {}

void CProtocolLayer::AppendInner(std::string& out, int depth) const {
    if (depth > 0 && m_pNext != nullptr) m_pNext->AppendXml(out, depth - 1);
}

const CProtocolLayer* FindLayer(const CProtocolLayer* root, int type) {
    const CProtocolLayer* layer = root;
    while (layer != nullptr && layer->m_nType != type) layer = layer->m_pNext;
    return layer;
}
