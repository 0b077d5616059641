// Decoding a whole captured frame into a chain rooted at an Ethernet layer.
#pragma once

#include <memory>

#include "protocols/layer.h"

// Decodes one frame into `slab` and returns its root, or null when the slab has
// no room for even the root layer.
const CProtocolLayer* DecodeFrameInto(ChainSlab& slab, const unsigned char* frame, int caplen);

// Decodes one frame into a slab of its own; the result keeps that slab alive.
std::shared_ptr<const CProtocolLayer> DecodeFrame(const unsigned char* frame, int caplen);

// The most slab bytes a chain of a frame of `caplen` bytes can need.
size_t ChainBytesBound(int caplen);
