// Packet intake: one captured frame becomes a chain, passes or fails the
// "Data contains" test, and is appended to the store; its row is then built
// from the entry and the index it landed at. Up to four readers take frames in
// at once; each has its own Reader, so decoding runs without any lock and only
// the append is serialised.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "capture/packet_row.h"
#include "capture/packet_store.h"
#include "filter/shared_text.h"
#include "protocols/chain_pool.h"

class PacketIntake {
public:
    // Called on the reader's thread with every kept frame's row; never waits
    // for a window.
    using RowObserver = std::function<void(size_t index, const PacketRow& row)>;

    PacketIntake(PacketStore& store, const SharedText& dataContains, RowObserver observer = {});

    PacketStore& Store() { return m_store; }

    // One reader's state: the slab its chains go to and its copy of the
    // "Data contains" text.
    class Reader {
    public:
        explicit Reader(PacketIntake& intake) : m_intake(intake) {}
        // Takes one frame in. `frame` stays the caller's; the chain keeps copies
        // of what it needs. Returns whether the frame was kept.
        bool ProcessPacket(const unsigned char* frame, int caplen, uint32_t elapsedMs);

    private:
        ChainSlab& SlabFor(int caplen);
        const std::string& DataContains();

        PacketIntake& m_intake;
        std::shared_ptr<ChainSlab> m_slab;
        std::shared_ptr<const std::string> m_dataContains;
        uint64_t m_dataContainsGeneration = ~uint64_t{0};
        PacketRow m_row;
    };

private:
    PacketStore& m_store;
    const SharedText& m_dataContainsText;
    RowObserver m_observer;
};
