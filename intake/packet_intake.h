// Packet intake: one captured frame is kept in a slab, decoded into a chain,
// passes or fails the "Data contains" test, and is appended to the store in
// the order in which the frames were delivered. Up to four readers take frames
// in at once: each takes a frame and its place in that order inside the
// exclusion that delivers frames (the capture's read lock), decodes it outside
// any lock, and appends it in its place. A reader that finishes before the
// frames delivered ahead of its own parks its result; whichever reader fills
// the gap appends the parked ones after its own. Nobody waits for anybody.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/shared_text.h"
#include "intake/packet_row.h"
#include "intake/packet_store.h"
#include "protocols/chain_pool.h"
#include "protocols/kept_frame.h"

// What the intake has done since its last Restart.
// Every frame taken in is a row, left out or dropped: received = rows +
// leftOut + dropped.
struct IntakeCounters {
    uint64_t received = 0;    // frames taken in
    uint64_t leftOut = 0;     // left out by "Data contains"
    uint64_t rows = 0;        // appended to the store
    uint64_t dropped = 0;     // not kept: no memory for them, or the store was full
    uint64_t storeBytes = 0;  // memory the store holds
    bool full = false;        // the memory limit was reached
};

class PacketIntake {
  public:
    // Called with every appended frame's row, in store order, inside the
    // store's list lock: it must not wait for anything (a window, a write).
    using RowObserver = std::function<void(size_t index, const PacketRow& row)>;
    static constexpr uint64_t kNoMemoryLimit = std::numeric_limits<uint64_t>::max();

    PacketIntake(PacketStore& store, const SharedText& dataContains, RowObserver observer = {});

    PacketStore& Store() { return m_store; }

    // With no reader running, before a capture's first frame: the frames'
    // order starts again and the counters return to zero. Time cells count from
    // `start` (in the frames' clock), or from the first frame taken in when it
    // is not given. Once the store, with the frames waiting for their place,
    // holds `memoryLimit` bytes, or once no memory can be had for a frame, the
    // intake stores nothing more and calls `onFull` once (inside the list lock,
    // on the reader that found it full; it must not wait). The frames are of
    // `linkType`, which the store takes on.
    void Restart(std::optional<FrameTime> start, uint64_t memoryLimit = kNoMemoryLimit,
                 std::function<void()> onFull = {}, int linkType = kEthernetLinkType);

    // Any thread.
    IntakeCounters Counters() const;
    bool Full() const { return m_bFull.load(std::memory_order_relaxed); }

    // One reader's state: the slab its frames and chains go to, its copy of
    // the "Data contains" text and the frame it has taken.
    class Reader {
      public:
        explicit Reader(PacketIntake& intake) : m_intake(intake) {}
        // A frame taken and never finished is given up, so the frames after
        // it are not held back.
        ~Reader();
        Reader(const Reader&) = delete;
        Reader& operator=(const Reader&) = delete;

        // Inside the exclusion that delivers the frames in order: copies the
        // frame and gives it the next place in the store's order. `bytes`
        // need stay valid only during the call.
        void Take(const FrameInfo& info, const unsigned char* bytes);
        // Outside it: keeps the taken frame in this reader's slab, decodes
        // it, applies "Data contains" and appends the frame in its place. Returns whether the frame
        // passed (it is stored unless the store is full).
        bool Finish();

        // Both, for a reader that has the frames to itself: the frame is kept
        // straight from `bytes`.
        bool ProcessPacket(const FrameInfo& info, const unsigned char* bytes);

      private:
        const std::string& DataContains();
        // Gives the frame described by `info` the next place in the order.
        void TakePlace(const FrameInfo& info);
        // Copies the frame into the slab (m_pFrame; null when it cannot be
        // kept, and m_bNoMemory when no slab could be had for it).
        void Keep(const unsigned char* bytes);

        PacketIntake& m_intake;
        std::shared_ptr<ChainSlab> m_slab;
        // The next slab, made resident outside the read exclusion before the
        // current one runs out, so that Take never waits on page faults.
        std::shared_ptr<ChainSlab> m_spare;
        std::shared_ptr<const std::string> m_dataContains;
        uint64_t m_dataContainsGeneration = ~uint64_t{0};
        // The frame taken and not yet finished.
        bool m_bTaken = false;
        uint64_t m_nTicket = 0;
        FrameInfo m_info;
        // The taken frame's bytes wait here until Finish keeps them.
        std::vector<unsigned char> m_buffer;
        bool m_bBuffered = false;
        const KeptFrame* m_pFrame = nullptr;
        bool m_bNoMemory = false;
        size_t m_nMark = 0;
    };

  private:
    // A finished frame waiting for its place.
    struct Finished {
        bool ready = false;
        bool leftOut = false;   // by "Data contains"
        bool noMemory = false;  // no slab could be had for the frame
        FrameTime time;
        StoredPacket packet;  // no root: the frame was not kept
        ChainSlab* slab = nullptr;
    };

    void Commit(uint64_t ticket, Finished finished);
    void AppendLocked(Finished& finished);
    // Stores nothing more and tells `onFull`, the first time only.
    void SetFullLocked();
    // A finished frame there was no memory to keep: the intake ends as at the
    // limit and the frame counts as dropped.
    void DropForNoMemoryLocked();

    PacketStore& m_store;
    const SharedText& m_dataContainsText;
    RowObserver m_observer;

    std::atomic<uint64_t> m_nNextTicket{0};
    std::atomic<uint64_t> m_nLeftOut{0};
    std::atomic<uint64_t> m_nRows{0};
    std::atomic<uint64_t> m_nDropped{0};
    std::atomic<bool> m_bFull{false};

    // Under the store's m_listLock.
    uint64_t m_nNextCommit = 0;
    // m_parked[i] holds the frame of place m_nNextCommit + i once it is ready.
    // Readers go on while one of them is held up, so the gap has no bound of
    // its own; the slabs of the parked frames count against the memory limit.
    std::deque<Finished> m_parked;
    std::optional<FrameTime> m_start;
    uint64_t m_nMemoryLimit = kNoMemoryLimit;
    // Written by Restart only, with no reader running.
    int m_nLinkType = kEthernetLinkType;
    std::function<void()> m_onFull;
    PacketRow m_row;
};
