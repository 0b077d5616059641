// Byte-array frame fixtures and small helpers shared by the layer tests.
#pragma once

#include <expat.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "protocols/decode.h"
#include "protocols/layer.h"

namespace frames {

using Bytes = std::vector<unsigned char>;

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes Fill(size_t n, unsigned char value) {
    return Bytes(n, value);
}

inline Bytes Text(const char* s) {
    return Bytes(s, s + std::strlen(s));
}

// Destination 00:0C:29:1A:2B:3C, source 00:50:56:C0:00:08.
inline Bytes Ethernet(uint16_t etherType) {
    return {0x00,
            0x0C,
            0x29,
            0x1A,
            0x2B,
            0x3C,
            0x00,
            0x50,
            0x56,
            0xC0,
            0x00,
            0x08,
            static_cast<unsigned char>(etherType >> 8),
            static_cast<unsigned char>(etherType)};
}

// 172.16.10.99 -> 172.16.10.12, total length 60, id 7238, TTL 64, DF set.
inline Bytes Ipv4(uint8_t protocol = 6, uint8_t versionAndIhl = 0x45,
                  uint8_t flagsAndOffsetHigh = 0x40, uint8_t offsetLow = 0x00) {
    return {versionAndIhl, 0x00, 0x00,     0x3C, 0x1C, 0x46, flagsAndOffsetHigh,
            offsetLow,     0x40, protocol, 0xB1, 0xE6, 0xAC, 0x10,
            0x0A,          0x63, 0xAC,     0x10, 0x0A, 0x0C};
}

// fe80::20c:29ff:fe1a:2b3c -> ff02::1, payload length 32, hop limit 255.
inline Bytes Ipv6(uint8_t nextHeader) {
    Bytes h = {0x60, 0x00, 0x00, 0x00, 0x00, 0x20, nextHeader, 0xFF, 0xFE, 0x80, 0x00, 0x00,
               0x00, 0x00, 0x00, 0x00, 0x02, 0x0C, 0x29,       0xFF, 0xFE, 0x1A, 0x2B, 0x3C};
    const Bytes dst = {0xFF, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01};
    h.insert(h.end(), dst.begin(), dst.end());
    return h;
}

// 1025 -> 80, seq 1, ack 0, 20-byte header, window 8192, checksum 0xABCD.
inline Bytes Tcp(uint8_t flags = 0x02, uint8_t offsetByte = 0x50) {
    return {0x04, 0x01, 0x00,       0x50,  0x00, 0x00, 0x00, 0x01, 0x00, 0x00,
            0x00, 0x00, offsetByte, flags, 0x20, 0x00, 0xAB, 0xCD, 0x00, 0x00};
}

// 53 -> 33000.
inline Bytes Udp(uint16_t length) {
    return {0x00,
            0x35,
            0x80,
            0xE8,
            static_cast<unsigned char>(length >> 8),
            static_cast<unsigned char>(length),
            0x12,
            0x34};
}

// Decodes from a heap copy of exactly the frame's bytes, freed before returning,
// so the sanitizers catch both overreads and a chain that still points into it.
inline std::shared_ptr<const CProtocolLayer> Decode(const Bytes& frame, size_t caplen) {
    auto copy = std::make_unique<unsigned char[]>(caplen > 0 ? caplen : 1);
    if (caplen > 0) std::memcpy(copy.get(), frame.data(), caplen);
    return DecodeFrame(copy.get(), static_cast<int>(caplen));
}
inline std::shared_ptr<const CProtocolLayer> Decode(const Bytes& frame) {
    return Decode(frame, frame.size());
}

// The fragment of one layer, without its inner layers.
inline std::string Xml(const CProtocolLayer* layer) {
    std::string out;
    if (layer != nullptr) layer->AppendXml(out, 0);
    return out;
}
inline std::string ChainXml(const CProtocolLayer* root) {
    std::string out;
    if (root != nullptr) root->AppendXml(out, 255);
    return out;
}

inline std::vector<int> Types(const CProtocolLayer* root) {
    std::vector<int> types;
    for (const CProtocolLayer* l = root; l != nullptr; l = l->m_pNext) types.push_back(l->m_nType);
    return types;
}

template <class T>
const T& Layer(const std::shared_ptr<const CProtocolLayer>& root) {
    static const T none;
    const T* layer = FindLayerAs<T>(root.get());
    return layer != nullptr ? *layer : none;
}

// Empty when `text` is well-formed XML, else the parser's complaint.
inline std::string XmlError(const std::string& text) {
    XML_Parser parser = XML_ParserCreate(nullptr);
    std::string error;
    if (XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_ERROR) {
        error = std::string(XML_ErrorString(XML_GetErrorCode(parser))) + " at column " +
                std::to_string(XML_GetCurrentColumnNumber(parser));
    }
    XML_ParserFree(parser);
    return error;
}

}  // namespace frames
