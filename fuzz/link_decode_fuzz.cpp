// Feeds arbitrary bytes to the frame decoder as one captured frame of every
// link type besides Ethernet: the first byte picks the link type, the rest is
// the frame. Renders the chain as XML and walks it, so the sanitizers see every
// read, and checks that each layer lies inside the captured bytes.
#include <pcap/dlt.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "protocols/data.h"
#include "protocols/decode.h"
#include "protocols/layer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int kLinkTypes[] = {DLT_LINUX_SLL,  DLT_LINUX_SLL2, DLT_RAW,  DLT_IPV4,
                                     DLT_IPV6,       DLT_NULL,       DLT_LOOP, DLT_PPP,
                                     DLT_PPP_SERIAL, DLT_EN10MB};
    if (size < 1 || size > 65536) return 0;
    const int linkType = kLinkTypes[data[0] % std::size(kLinkTypes)];
    const int caplen = static_cast<int>(size - 1);
    const auto root = DecodeFrame(data + 1, caplen, linkType);
    if (root == nullptr) std::abort();  // a frame-sized slab always has room for the root

    std::string out;
    root->AppendXml(out, 255);
    for (const CProtocolLayer* layer = root.get(); layer != nullptr; layer = layer->m_pNext) {
        if (layer->m_nOffset > static_cast<uint32_t>(caplen)) std::abort();
        if (layer->m_pNext != nullptr && layer->m_pNext->m_nOffset < layer->m_nOffset) std::abort();
    }
    if (const auto* payload = FindLayerAs<CDataLayer>(root.get())) {
        if (payload->m_nLength < 0 || payload->m_nLength > caplen) std::abort();
        if (payload->m_nLength > 0 && payload->m_pData == nullptr) std::abort();
    }
    return 0;
}
