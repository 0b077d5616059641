// Find: the next row shown whose whole frame (its captured bytes, every
// header included) holds a text or a byte string, forward or backward from
// the current row and round past the end.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <string_view>

#include "view/shown_rows.h"

struct FindPattern {
    std::string bytes;
    bool caseSensitive = true;  // ASCII letters only; hexadecimal bytes always match exactly
};

// "de ad be ef", "deadbeef", "de:ad:be:ef" or "0xde 0xad": the bytes; nothing
// for anything else (an odd digit count, a non-hexadecimal character).
std::optional<std::string> ParseHexBytes(std::string_view text);

bool FrameContains(const KeptFrame& frame, const FindPattern& pattern);

struct FindResult {
    std::optional<size_t> position;  // among the rows shown; nothing when no row holds it
    bool wrapped = false;            // went round past the last (or first) row
    bool complete = true;            // false when the store left its generation or on cancel
};

// Searches the rows of `shown` after `from` (before it, backward), round to
// `from` itself; with no `from`, from the first (last) row.
FindResult FindRow(const PacketStore& store, uint64_t generation, const ShownRows& shown,
                   std::optional<size_t> from, bool forward, const FindPattern& pattern,
                   const std::atomic<bool>* cancel = nullptr);
