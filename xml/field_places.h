// Where the fields of the packet documents lie in the frame: for each layer
// type, the bytes each field element is read from, counted from the layer's
// first byte. The byte view highlights them when a field of the Details tree
// is selected; a field not listed here highlights its whole layer.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// A run of bytes in a frame.
struct BytePlace {
    uint32_t offset = 0;
    uint32_t length = 0;  // 0: no bytes

    friend bool operator==(const BytePlace&, const BytePlace&) = default;
};

// The place of the field written as `element` in a layer of `layerType`,
// relative to the layer's first byte and cut to the layer's captured bytes
// `layer`; nullopt when the field's place is not known or none of its bytes
// were captured. The layer's bytes are read for places that follow lengths
// the header states (ARP's addresses, a cooked header's address).
std::optional<BytePlace> FieldPlace(int layerType, std::string_view element,
                                    std::span<const unsigned char> layer);
