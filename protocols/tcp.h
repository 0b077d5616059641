// TCP header. The decoder always consumes 20 bytes: options, when the header
// has them, are the first bytes of the payload layer.
//
//  0        2        4                8                12   13     14       16       18       20
//  +--------+--------+----------------+----------------+----+------+--------+--------+--------+
//  |src port|dst port| sequence       | acknowledgement|off |flags |window  |checksum|urgent  |
//  +--------+--------+----------------+----------------+----+------+--------+--------+--------+
#pragma once

#include "protocols/layer.h"

class CTcpLayer : public CProtocolLayer {
public:
    static constexpr int32_t kType = LAYER_TCP;
    static constexpr int kHeaderSize = 20;
    CTcpLayer() : CProtocolLayer(kType, "TCP") {}
    void Decode(const unsigned char* data, int length) override;
    void AppendXml(std::string& out, int depth) const override;

    uint16_t m_nSrcPort = 0;
    uint16_t m_nDstPort = 0;
    uint32_t m_nSeqNum = 0;
    uint32_t m_nAckNum = 0;
    uint8_t m_nDataOffset = 0;  // header length in bytes as stated; shown only
    uint8_t m_bFin = 0;
    uint8_t m_bSyn = 0;
    uint8_t m_bRst = 0;
    uint8_t m_bPsh = 0;
    uint8_t m_bAck = 0;
    uint8_t m_bUrg = 0;
    uint16_t m_nWindow = 0;
    uint16_t m_nChecksum = 0;
    uint16_t m_nUrgent = 0;
    uint16_t m_nHeaderUsed = 0;  // header bytes consumed before the payload: 20
};
