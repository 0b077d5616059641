// What the Details tree shows for one packet, built from the packet's XML
// document rather than from the layer objects: one entry per layer element,
// named after the element, holding one "label = value" text per field element.
// The label is the field's desc attribute, or its element name when it has none.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "intake/packet_store.h"
#include "protocols/layer.h"
#include "xml/field_places.h"

struct DetailItem {
    std::string text;                 // the layer's element name
    std::vector<std::string> fields;  // "label = value", in document order
    // Where the layer's bytes lie in the frame, and each field's, in the order
    // of `fields` (the layer's place for a field whose own is not known). No
    // places for a chain decoded without its frame.
    BytePlace place;
    std::vector<BytePlace> fieldPlaces;
};

// Parses `document` and walks its packet element. False, with `items` empty,
// when the document does not parse.
bool BuildDetailItems(const std::string& document, std::vector<DetailItem>& items);

// The items of the packet document of `root`.
bool DetailItemsOf(const CProtocolLayer* root, std::vector<DetailItem>& items);

// The items of the packet document of `root`, placed in `frame`, the captured
// bytes `root` was decoded from: the chain's layers are its layer elements, in
// order.
bool DetailItemsOf(const CProtocolLayer* root, std::span<const unsigned char> frame,
                   std::vector<DetailItem>& items);

// The same for a stored packet, placed in its kept frame when it has one.
bool DetailItemsOf(const StoredPacket& packet, std::vector<DetailItem>& items);
