// "Filter on this conversation": the display filter expression that shows a
// row's conversation both ways. TCP and UDP rows name both ends' addresses
// and ports; other rows with two addresses (IP, ARP) name the two hosts; a
// VLAN-tagged row adds `vlan and ` in front, as libpcap reads the inner
// headers only after it.
#pragma once

#include <string>

#include "protocols/layer.h"

// Empty when the row has no two addresses.
std::string ConversationFilter(const CProtocolLayer* root);
