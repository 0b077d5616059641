#include "capture/packet_intake.h"

#include <algorithm>
#include <utility>

#include "protocols/data.h"
#include "protocols/decode.h"
#include "protocols/text_format.h"

PacketIntake::PacketIntake(PacketStore& store, const SharedText& dataContains, RowObserver observer)
    : m_store(store), m_dataContainsText(dataContains), m_observer(std::move(observer)) {}

ChainSlab& PacketIntake::Reader::SlabFor(int caplen) {
    const size_t need = ChainBytesBound(caplen);
    if (m_slab == nullptr || m_slab->Remaining() < need) {
        // The old slab lives on as long as a stored chain in it is referenced.
        m_slab = std::make_shared<ChainSlab>(std::max(ChainSlab::kDefaultCapacity, need));
    }
    return *m_slab;
}

const std::string& PacketIntake::Reader::DataContains() {
    const uint64_t generation = m_intake.m_dataContainsText.Generation();
    if (generation != m_dataContainsGeneration || m_dataContains == nullptr) {
        m_dataContains = m_intake.m_dataContainsText.Load();
        m_dataContainsGeneration = generation;
    }
    return *m_dataContains;
}

bool PacketIntake::Reader::ProcessPacket(const unsigned char* frame, int caplen, uint32_t elapsedMs) {
    ChainSlab& slab = SlabFor(caplen);
    const size_t mark = slab.Used();
    const CProtocolLayer* root = DecodeFrameInto(slab, frame, caplen);
    if (root == nullptr) return false;

    const std::string& pattern = DataContains();
    if (!pattern.empty()) {
        const auto* data = FindLayerAs<CDataLayer>(root);
        if (data == nullptr || FindInPayload(data->m_pData, pattern.c_str(), data->m_nLength) != 0) {
            // Nothing refers to the discarded chain: its slab space is reused.
            slab.Rewind(mark);
            return false;
        }
    }

    StoredPacket packet{std::shared_ptr<const CProtocolLayer>(m_slab, root), elapsedMs};
    const size_t index = m_intake.m_store.Append(packet);
    BuildRow(packet, index, m_row);
    if (m_intake.m_observer) m_intake.m_observer(index, m_row);
    return true;
}
