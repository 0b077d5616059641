// The headers libpcap puts before each frame where an interface has no link
// header of its own to give, as on the "any" device.
//
//  SLL (16 bytes)                           SLL2 (20 bytes)
//  0       2        4       6        14  16   0        2        4          8
//  +-------+--------+-------+--------+---+    +--------+--------+----------+
//  |packet |address |address|address |pro|    |protocol|reserved|interface |
//  |type   |type    |length |(8)     |to.|    +--------+--------+----------+
//  +-------+--------+-------+--------+---+    8: address type (2)  10: packet
//                                             type (1)  11: address length (1)
//                                             12: address (8)
#pragma once

#include "protocols/layer.h"

// The fields both versions have.
class CCookedLayer : public CProtocolLayer {
  public:
    void AppendXml(std::string& out, int depth) const override;

    uint32_t m_nInterface = 0;  // SLL2 only: the interface's index
    uint16_t m_nPacketType =
        0;  // 0 to us, 1 broadcast, 2 multicast, 3 to another host, 4 sent by us
    uint16_t m_nAddressType = 0;    // ARPHRD_ value of the interface
    uint16_t m_nAddressLength = 0;  // as the header states it
    uint16_t m_nProtocol = 0;       // an EtherType, or a Linux protocol number below 0x0600
    unsigned char m_address[8] = {};

  protected:
    CCookedLayer(int32_t type, const char* name) : CProtocolLayer(type, name) {}
};

class CSllLayer : public CCookedLayer {
  public:
    static constexpr int32_t kType = LAYER_SLL;
    static constexpr int kHeaderSize = 16;
    CSllLayer() : CCookedLayer(kType, "SLL") {}
    void Decode(const unsigned char* data, int length) override;
};

class CSll2Layer : public CCookedLayer {
  public:
    static constexpr int32_t kType = LAYER_SLL2;
    static constexpr int kHeaderSize = 20;
    CSll2Layer() : CCookedLayer(kType, "SLL2") {}
    void Decode(const unsigned char* data, int length) override;
};
