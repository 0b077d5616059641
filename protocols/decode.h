// Decoding a whole captured frame into a chain. The capture's link type names
// the root layer: Ethernet, a cooked or loopback header, PPP, or for raw IP the
// network layer itself.
#pragma once

#include <memory>
#include <string>

#include "protocols/layer.h"

// The link type of a capture (libpcap's DLT_ values) whose frames are Ethernet.
inline constexpr int kEthernetLinkType = 1;

// Whether frames of `linkType` are decoded (other link types are refused).
bool DecodesLinkType(int linkType);

// Decodes one frame into `slab` and returns its root, or null when the slab has
// no room for even the root layer.
const CProtocolLayer* DecodeFrameInto(ChainSlab& slab, const unsigned char* frame, int caplen,
                                      int linkType = kEthernetLinkType);

// Decodes one frame into a slab of its own; the result keeps that slab alive.
std::shared_ptr<const CProtocolLayer> DecodeFrame(const unsigned char* frame, int caplen,
                                                  int linkType = kEthernetLinkType);

// Inside a decode in progress (a ChainBuilder on this thread): makes and decodes
// the root layer of `linkType`; null when the slab has no room or the link type
// is not decoded.
CProtocolLayer* DecodeRoot(const unsigned char* frame, int caplen, int linkType);

// The most slab bytes a chain of a frame of `caplen` bytes can need.
size_t ChainBytesBound(int caplen);
