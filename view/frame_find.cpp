#include "view/frame_find.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

unsigned char Fold(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

}  // namespace

std::optional<std::string> ParseHexBytes(std::string_view text) {
    std::string bytes;
    int high = -1;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == ':' || c == '\t' || c == '-') {
            if (high >= 0) return std::nullopt;
            continue;
        }
        if (high < 0 && c == '0' && i + 1 < text.size() &&
            (text[i + 1] == 'x' || text[i + 1] == 'X')) {
            ++i;
            continue;
        }
        const int digit = HexDigit(c);
        if (digit < 0) return std::nullopt;
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<char>(high << 4 | digit));
            high = -1;
        }
    }
    if (high >= 0 || bytes.empty()) return std::nullopt;
    return bytes;
}

bool FrameContains(const KeptFrame& frame, const FindPattern& pattern) {
    const auto* begin = frame.Bytes();
    const auto* end = begin + frame.capturedLength;
    const auto* first = reinterpret_cast<const unsigned char*>(pattern.bytes.data());
    const size_t size = pattern.bytes.size();
    if (size == 0 || size > frame.capturedLength) return false;
    if (pattern.caseSensitive) return memmem(begin, frame.capturedLength, first, size) != nullptr;
    // The pattern comes folded; the frame is folded byte by byte as it is compared.
    const unsigned char lead = Fold(first[0]);
    const unsigned char other = static_cast<unsigned char>(std::toupper(lead));
    for (const unsigned char* at = begin; at + size <= end; ++at) {
        if (*at != lead && *at != other) continue;
        size_t k = 1;
        while (k < size && Fold(at[k]) == Fold(first[k])) ++k;
        if (k == size) return true;
    }
    return false;
}

FindResult FindRow(const PacketStore& store, uint64_t generation, const ShownRows& shown,
                   std::optional<size_t> from, bool forward, const FindPattern& pattern,
                   const std::atomic<bool>* cancel) {
    FindResult result;
    const size_t size = shown.Size();
    if (size == 0) return result;
    const auto matches = [&](size_t p, const StoredPacket& entry) {
        if (entry.frame == nullptr || !FrameContains(*entry.frame, pattern)) return true;
        result.position = p;
        return false;
    };
    // Two stretches each way: past `from` to the end, then round to `from`.
    const size_t start = from.value_or(forward ? size - 1 : 0);
    if (forward) {
        if (!VisitShown(store, generation, shown, start + 1, size, matches, cancel))
            return {std::nullopt, false, false};
        if (result.position) return result;
        result.wrapped = from.has_value();
        if (!VisitShown(store, generation, shown, 0, start + 1, matches, cancel))
            return {std::nullopt, false, false};
        return result;
    }
    // Backward: one entry at a time from the end of each stretch, in chunks.
    constexpr size_t kStep = 4096;
    const auto backward = [&](size_t low, size_t high) {  // [low, high)
        for (size_t top = high; top > low;) {
            const size_t bottom = top - std::min(kStep, top - low);
            std::optional<size_t> last;
            const bool whole = VisitShown(
                store, generation, shown, bottom, top,
                [&](size_t p, const StoredPacket& entry) {
                    if (entry.frame != nullptr && FrameContains(*entry.frame, pattern)) last = p;
                    return true;
                },
                cancel);
            if (!whole) return false;
            if (last) {
                result.position = last;
                return true;
            }
            top = bottom;
        }
        return true;
    };
    const size_t startBack = from.value_or(size);
    if (!backward(0, startBack)) return {std::nullopt, false, false};
    if (result.position) return result;
    result.wrapped = from.has_value();
    if (!backward(startBack, size)) return {std::nullopt, false, false};
    return result;
}
