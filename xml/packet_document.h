// The XML texts built from one packet: every rendering wraps the chain's layer
// elements in <Packet> and </Packet>.
#pragma once

#include <string>
#include <string_view>

#include "protocols/layer.h"

inline constexpr std::string_view kXmlDeclaration = R"(<?xml version="1.0" encoding="UTF-8"?>)";
inline constexpr std::string_view kProductBanner = "<!-- Tapwatch 1.1 packet capture log -->";
inline constexpr std::string_view kReleaseCredit =
    "<!-- Tapwatch release 2.0, written by the Tapwatch developers -->";

// Appends <Packet>, the chain's layer elements and </Packet>.
void AppendPacketElement(std::string& out, const CProtocolLayer* root);

// Declaration, banner, credit and the packet element: what the detail tree parses.
std::string PacketDocument(const CProtocolLayer* root);

// Credit and the packet element: what Copy puts on the clipboard.
std::string ClipboardText(const CProtocolLayer* root);
