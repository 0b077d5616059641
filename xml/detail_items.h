// What the Details tree shows for one packet, built from the packet's XML
// document rather than from the layer objects: one entry per layer element,
// named after the element, holding one "label = value" text per field element.
// The label is the field's desc attribute, or its element name when it has none.
#pragma once

#include <string>
#include <vector>

#include "protocols/layer.h"

struct DetailItem {
    std::string text;                 // the layer's element name
    std::vector<std::string> fields;  // "label = value", in document order
};

// Parses `document` and walks its packet element. False, with `items` empty,
// when the document does not parse.
bool BuildDetailItems(const std::string& document, std::vector<DetailItem>& items);

// The items of the packet document of `root`.
bool DetailItemsOf(const CProtocolLayer* root, std::vector<DetailItem>& items);
