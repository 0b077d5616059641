#include "intake/packet_intake.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "protocols/data.h"
#include "protocols/decode.h"
#include "protocols/text_format.h"

namespace {
// A reader prepares its next slab once its current one has less room left.
constexpr size_t kSpareThreshold = ChainSlab::kDefaultCapacity / 4;
}  // namespace

PacketIntake::PacketIntake(PacketStore& store, const SharedText& dataContains, RowObserver observer)
    : m_store(store), m_dataContainsText(dataContains), m_observer(std::move(observer)) {}

void PacketIntake::Restart(std::optional<FrameTime> start, uint64_t memoryLimit,
                           std::function<void()> onFull, int linkType) {
    std::scoped_lock lock(m_store.m_listLock);
    m_nLinkType = linkType;
    m_store.SetLinkType(linkType);
    m_nNextTicket.store(0);
    m_nLeftOut.store(0);
    m_nRows.store(0);
    m_nDropped.store(0);
    m_bFull.store(false);
    m_nNextCommit = 0;
    m_parked.clear();
    m_start = start;
    m_nMemoryLimit = memoryLimit;
    m_onFull = std::move(onFull);
}

IntakeCounters PacketIntake::Counters() const {
    IntakeCounters counters;
    counters.received = m_nNextTicket.load(std::memory_order_relaxed);
    counters.leftOut = m_nLeftOut.load(std::memory_order_relaxed);
    counters.rows = m_nRows.load(std::memory_order_relaxed);
    counters.dropped = m_nDropped.load(std::memory_order_relaxed);
    counters.storeBytes = m_store.Bytes();
    counters.full = Full();
    return counters;
}

void PacketIntake::Commit(uint64_t ticket, Finished finished) {
    std::scoped_lock lock(m_store.m_listLock);
    if (ticket != m_nNextCommit) {
        // Frames delivered before this one are still being decoded.
        const size_t slot = ticket - m_nNextCommit;
        try {
            if (m_parked.size() <= slot) m_parked.resize(slot + 1);
        } catch (const std::bad_alloc&) {
            DropForNoMemoryLocked();  // no room even to wait for its place
            return;
        }
        // Its slab is held from now on, so it counts at once: a reader held
        // up for long cannot let the others fill memory past the limit. (Should
        // the frame be dropped once the intake is full, its slab stays counted:
        // the capture is ending then.)
        if (finished.slab != nullptr) {
            m_store.CountSlabLocked(*finished.slab);
            if (m_store.Bytes() >= m_nMemoryLimit) SetFullLocked();
        }
        m_parked[slot] = std::move(finished);
        m_parked[slot].ready = true;
        return;
    }
    AppendLocked(finished);
    ++m_nNextCommit;
    if (!m_parked.empty()) m_parked.pop_front();  // this frame's own place
    while (!m_parked.empty() && m_parked.front().ready) {
        AppendLocked(m_parked.front());
        m_parked.pop_front();
        ++m_nNextCommit;
    }
}

void PacketIntake::SetFullLocked() {
    if (m_bFull.exchange(true)) return;
    if (m_onFull) m_onFull();
}

void PacketIntake::DropForNoMemoryLocked() {
    SetFullLocked();
    m_nDropped.fetch_add(1, std::memory_order_relaxed);
}

void PacketIntake::AppendLocked(Finished& finished) {
    if (!m_start) m_start = finished.time;
    // Memory is short: the capture ends as at the limit, and no frame goes
    // uncounted.
    if (finished.noMemory) SetFullLocked();
    if (finished.packet.root == nullptr || Full()) {
        if (!finished.leftOut) m_nDropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    // A frame stamped before the start (it was in the kernel's buffer) reads 0.
    finished.packet.elapsedMs = ElapsedMs(*m_start, finished.time);
    size_t index = 0;
    try {
        index = m_store.AppendLocked(std::move(finished.packet), finished.slab);
    } catch (const std::bad_alloc&) {
        DropForNoMemoryLocked();
        return;
    }
    m_nRows.fetch_add(1, std::memory_order_relaxed);
    if (m_observer) {
        BuildRow(m_store.AtLocked(index), index, m_row);
        m_observer(index, m_row);
    }
    if (m_store.Bytes() >= m_nMemoryLimit) SetFullLocked();
}

PacketIntake::Reader::~Reader() {
    if (m_bTaken) {
        // Given up: its place is passed on without the frame.
        m_bBuffered = false;
        m_pFrame = nullptr;
        Finish();
    }
}

const std::string& PacketIntake::Reader::DataContains() {
    const uint64_t generation = m_intake.m_dataContainsText.Generation();
    if (generation != m_dataContainsGeneration || m_dataContains == nullptr) {
        m_dataContains = m_intake.m_dataContainsText.Load();
        m_dataContainsGeneration = generation;
    }
    return *m_dataContains;
}

void PacketIntake::Reader::TakePlace(const FrameInfo& info) {
    if (m_bTaken) Finish();  // a frame taken and not finished goes first
    m_bTaken = true;
    m_nTicket = m_intake.m_nNextTicket.fetch_add(1, std::memory_order_relaxed);
    m_info = info;
    m_pFrame = nullptr;
}

void PacketIntake::Reader::Take(const FrameInfo& info, const unsigned char* bytes) {
    TakePlace(info);
    // Only a copy into memory this reader uses all the time: the exclusion
    // that hands out the frames is held as briefly as can be. The frame is
    // kept, in fresh slab memory, by Finish.
    const size_t n = bytes != nullptr ? info.capturedLength : 0;
    try {
        if (m_buffer.size() < n) m_buffer.resize(n);
    } catch (const std::bad_alloc&) {
        m_bNoMemory = true;  // Finish passes the place on without the frame
        return;
    }
    if (n != 0) std::memcpy(m_buffer.data(), bytes, n);
    m_info.capturedLength = static_cast<uint32_t>(n);
    m_bBuffered = true;
}

bool PacketIntake::Reader::ProcessPacket(const FrameInfo& info, const unsigned char* bytes) {
    TakePlace(info);
    m_bBuffered = false;
    Keep(bytes);
    return Finish();
}

void PacketIntake::Reader::Keep(const unsigned char* bytes) {
    m_pFrame = nullptr;
    m_bNoMemory = false;
    // Once the store is full, frames are counted and no longer kept.
    if (m_intake.Full()) return;
    const size_t need = KeptFrameBytesBound(m_info.capturedLength);
    if (m_slab == nullptr || m_slab->Remaining() < need) {
        // The old slab lives on as long as a stored chain in it is referenced.
        std::shared_ptr<ChainSlab> slab = std::move(m_spare);
        if (slab == nullptr || slab->Remaining() < need) {
            try {
                slab = std::make_shared<ChainSlab>(std::max(ChainSlab::kDefaultCapacity, need));
            } catch (const std::bad_alloc&) {
                slab = nullptr;
            }
        }
        if (slab == nullptr || slab->Capacity() == 0) {  // no memory for the frame
            m_bNoMemory = true;
            return;
        }
        m_slab = std::move(slab);
    }
    m_nMark = m_slab->Used();
    m_pFrame = KeepFrame(*m_slab, m_info, bytes);
}

bool PacketIntake::Reader::Finish() {
    if (!m_bTaken) return false;
    m_bTaken = false;
    if (m_bBuffered) {
        m_bBuffered = false;
        Keep(m_buffer.data());
    }
    Finished finished;
    finished.time = m_info.time;
    finished.noMemory = m_bNoMemory;
    m_bNoMemory = false;
    const CProtocolLayer* root =
        m_pFrame != nullptr ? DecodeKeptFrame(*m_slab, *m_pFrame, m_intake.m_nLinkType) : nullptr;
    bool kept = root != nullptr;
    if (kept) {
        const std::string& pattern = DataContains();
        if (!pattern.empty()) {
            const auto* data = FindLayerAs<CDataLayer>(root);
            if (data == nullptr ||
                FindInPayload(data->m_pData, pattern.c_str(), data->m_nLength) != 0) {
                kept = false;
                finished.leftOut = true;
                m_intake.m_nLeftOut.fetch_add(1, std::memory_order_relaxed);
            }
        }
    }
    if (kept) {
        finished.packet =
            StoredPacket{std::shared_ptr<const CProtocolLayer>(m_slab, root), 0, m_pFrame};
        finished.slab = m_slab.get();
    } else if (m_pFrame != nullptr) {
        // Nothing refers to the frame or its chain: the slab space is reused.
        m_slab->Rewind(m_nMark);
    }
    m_pFrame = nullptr;
    m_intake.Commit(m_nTicket, std::move(finished));
    if (m_spare == nullptr && m_slab != nullptr && m_slab->Remaining() < kSpareThreshold &&
        !m_intake.Full()) {
        try {
            m_spare = std::make_shared<ChainSlab>(ChainSlab::kDefaultCapacity, true);
        } catch (const std::bad_alloc&) {
            // Keep makes one when it needs it, or finds there is no memory.
        }
    }
    return kept;
}
