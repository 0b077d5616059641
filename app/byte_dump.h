// The byte view's text: 16 bytes a line, each line the offset of its first
// byte in hexadecimal, the bytes in hexadecimal in two groups of eight, and
// the bytes as text, a dot for any byte that is not printable ASCII:
//
//   0010  45 00 00 54 ab cd 40 00  40 01 3c 7e 7f 00 00 01  E..T..@.@.<~....
//
// Every line but the last is as long as the others, the last padded up to its
// text column, so a byte's place in the text follows from its number alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

class ByteDump {
  public:
    static constexpr size_t kBytesPerLine = 16;

    // A run of characters of the text: [begin, end).
    struct Range {
        size_t begin = 0;
        size_t end = 0;
    };

    explicit ByteDump(std::span<const unsigned char> bytes = {});

    const std::string& Text() const { return m_text; }
    // The characters showing bytes [offset, offset + length), cut to the bytes
    // shown: on each line they cover, one range in the hexadecimal columns and
    // one in the text column.
    std::vector<Range> Ranges(uint32_t offset, uint32_t length) const;

  private:
    // Where the hexadecimal digits of the line's byte `i` begin.
    size_t HexColumn(size_t i) const { return m_nOffsetDigits + 2 + 3 * i + (i >= 8 ? 1 : 0); }
    size_t TextColumn() const { return HexColumn(kBytesPerLine - 1) + 4; }
    size_t LineStart(size_t line) const { return line * (TextColumn() + kBytesPerLine + 1); }

    size_t m_nLength = 0;
    size_t m_nOffsetDigits = 4;
    std::string m_text;
};
