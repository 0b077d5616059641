// Feeds arbitrary bytes to the frame decoder as one captured frame, renders the
// chain as XML and looks up every layer type, so the sanitizers see every read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "protocols/data.h"
#include "protocols/decode.h"
#include "protocols/layer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65535) return 0;  // the capture's snap length
    const auto root = DecodeFrame(data, static_cast<int>(size));
    if (root == nullptr) std::abort();  // a frame-sized slab always has room for the root

    std::string out;
    root->AppendXml(out, 255);

    static const int kTypes[] = {LAYER_ETHERNET, LAYER_PPPOE, LAYER_PPP, LAYER_IPV4,
                                 LAYER_IPV6,     LAYER_ICMP,  LAYER_TCP, LAYER_UDP,
                                 LAYER_ARP,      LAYER_RARP,  LAYER_DATA};
    size_t found = 0;
    for (const int type : kTypes) found += FindLayer(root.get(), type) != nullptr ? 1 : 0;
    if (found == 0 || found > 6) std::abort();  // the root is always there; chains are short

    // The payload is a copy of captured bytes, never more than were captured.
    if (const auto* payload = FindLayerAs<CDataLayer>(root.get())) {
        if (payload->m_nLength < 0 || static_cast<size_t>(payload->m_nLength) > size) std::abort();
        if (payload->m_nLength > 0 && payload->m_pData == nullptr) std::abort();
    }
    return 0;
}
