// The values of the Filter editor's fields, as its data exchange copies them
// between the controls and the form. Texts are kept as typed, without trimming.
#pragma once

#include <cstdint>
#include <string>

// Entries of the "Protocol :" list, in list order.
enum FilterProtocol : int32_t {
    PROTOCOL_NONE = -1,  // no entry selected yet
    PROTOCOL_ANY = 0,
    PROTOCOL_TCP = 1,
    PROTOCOL_UDP = 2,
    PROTOCOL_ICMP = 3,
};

struct FilterFields {
    std::string m_strDataContains;        // "Data contains :" (1009)
    std::string m_strDestIP;              // "Dest IP :" (1008)
    std::string m_strDestMac;             // "Dest MAC :" (1011)
    std::string m_strDestPort;            // "Dest Port :" (1006)
    int32_t m_bTracking = 0;              // "IP Tracking" (1040), 0 or 1
    int32_t m_bMonitoring = 0;            // "IP Monitoring" (1041), 0 or 1
    std::string m_strSourceIP;            // "Source IP :" (1007)
    std::string m_strSourceMac;           // "Source MAC :" (1010)
    std::string m_strSourcePort;          // "Source Port :" (1005)
    std::string m_strGatewayIP;           // "Gateway IP :" (1013)
    int32_t m_nProtocol = PROTOCOL_NONE;  // "Protocol :" list index (1012)

    bool operator==(const FilterFields&) const = default;
};
