// The layer chain: every captured frame becomes a chain of decoded headers,
// outermost first, rooted at an Ethernet layer. Each layer keeps its header
// fields as plain numbers and byte arrays and can append itself to a text as
// one XML element; inner layers follow as siblings, never nested.
#pragma once

#include <cstdint>
#include <string>

#include "protocols/chain_pool.h"

enum LayerType : int32_t {
    LAYER_ETHERNET = 1,
    LAYER_PPPOE = 2,
    LAYER_PPP = 3,
    LAYER_IPV4 = 4,
    LAYER_IPV6 = 5,
    LAYER_ICMP = 6,
    LAYER_TCP = 7,
    LAYER_UDP = 8,
    LAYER_ARP = 9,
    LAYER_RARP = 10,
    LAYER_VLAN = 11,
    LAYER_ICMPV6 = 12,
    LAYER_IPV6_OPTIONS = 13,  // hop-by-hop, routing or destination options
    LAYER_IPV6_FRAGMENT = 14,
    LAYER_SLL = 15,       // Linux cooked capture
    LAYER_SLL2 = 16,      // Linux cooked capture, version 2
    LAYER_LOOPBACK = 17,  // BSD loopback: the address family
    LAYER_DATA = 255,
};

class CProtocolLayer {
  public:
    CProtocolLayer() = default;
    virtual ~CProtocolLayer() = default;
    CProtocolLayer(const CProtocolLayer&) = delete;
    CProtocolLayer& operator=(const CProtocolLayer&) = delete;

    // Fills the fields from `length` captured bytes at `data` and builds the
    // inner layer from the bytes after this header. `length` may be zero or
    // negative when an outer header claimed more than was captured; a null
    // `data` changes nothing.
    virtual void Decode(const unsigned char* data, int length);
    // Appends this layer's element to `out`, then, while `depth` > 0, the inner
    // layer's with depth - 1. Callers pass 255 on the root.
    virtual void AppendXml(std::string& out, int depth) const;

    // The inner layer, placed in the same slab as this one; null when none.
    CProtocolLayer* m_pNext = nullptr;
    // The layer's constant name ("Ethernet", "IPv4", ...).
    const char* m_szName = "";
    // Where the layer's header begins in the frame (0 for the root); its bytes
    // run to the next layer's offset, or to the captured end. With the type,
    // one word, so that a layer's own first small field fills the space after
    // it: 23 bits hold every offset of a frame libpcap delivers (256 KiB at most).
    uint32_t m_nOffset : 23 = 0;
    int32_t m_nType : 9 = 0;  // a LayerType

    // Creates T as this layer's inner layer and decodes it from what follows
    // `consumed` header bytes. Fails softly (no inner layer) when no decode is in
    // progress on this thread, its slab is full, or fewer bytes remain than T's
    // fixed header (T::kHeaderSize; 0 for the payload layer, which is made even
    // for an empty rest).
    template <class T>
    T* DecodeInner(const unsigned char* data, int length, int consumed);

  protected:
    CProtocolLayer(int32_t type, const char* name) : m_szName(name), m_nType(type) {}

    // Appends the inner layer's XML when there is one and depth allows.
    void AppendInner(std::string& out, int depth) const;
};

// The first layer of `type` along the chain, beginning with `root` itself.
const CProtocolLayer* FindLayer(const CProtocolLayer* root, int type);

// Typed form: FindLayerAs<CTcpLayer>(root).
template <class T>
const T* FindLayerAs(const CProtocolLayer* root) {
    return static_cast<const T*>(FindLayer(root, T::kType));
}

template <class T>
T* CProtocolLayer::DecodeInner(const unsigned char* data, int length, int consumed) {
    ChainBuilder* builder = ChainBuilder::Current();
    if (builder == nullptr || data == nullptr) return nullptr;
    if constexpr (T::kHeaderSize > 0) {
        if (int64_t{length} - consumed < T::kHeaderSize) return nullptr;
    }
    T* inner = builder->template New<T>();
    if (inner == nullptr) return nullptr;
    m_pNext = inner;
    // Never form a pointer past the captured end: a negative rest starts at the end.
    const int step = consumed < 0 ? 0 : (consumed <= length ? consumed : (length > 0 ? length : 0));
    inner->m_nOffset = m_nOffset + static_cast<uint32_t>(step);
    inner->Decode(data + step, length - consumed);
    return inner;
}
