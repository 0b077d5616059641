#include "app/byte_dump.h"

#include <algorithm>

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

void AppendHex(std::string& out, size_t value, size_t digits) {
    for (size_t d = digits; d-- > 0;) out += kHexDigits[(value >> (4 * d)) & 0xF];
}

}  // namespace

ByteDump::ByteDump(std::span<const unsigned char> bytes) : m_nLength(bytes.size()) {
    // Four offset digits, more for a frame whose last offset needs them.
    for (size_t last = m_nLength > 0 ? m_nLength - 1 : 0; (last >> (4 * m_nOffsetDigits)) != 0;)
        ++m_nOffsetDigits;
    const size_t lines = (m_nLength + kBytesPerLine - 1) / kBytesPerLine;
    m_text.reserve(lines * (TextColumn() + kBytesPerLine + 1));
    for (size_t line = 0; line < lines; ++line) {
        if (line > 0) m_text += '\n';
        const size_t first = line * kBytesPerLine;
        const std::span<const unsigned char> row =
            bytes.subspan(first, std::min(kBytesPerLine, m_nLength - first));
        const size_t start = m_text.size();
        AppendHex(m_text, first, m_nOffsetDigits);
        for (size_t i = 0; i < row.size(); ++i) {
            m_text.resize(start + HexColumn(i), ' ');
            AppendHex(m_text, row[i], 2);
        }
        m_text.resize(start + TextColumn(), ' ');
        for (const unsigned char byte : row)
            m_text += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
    }
}

std::vector<ByteDump::Range> ByteDump::Ranges(uint32_t offset, uint32_t length) const {
    std::vector<Range> ranges;
    const size_t begin = std::min<size_t>(offset, m_nLength);
    const size_t end = std::min<size_t>(size_t{offset} + length, m_nLength);
    for (size_t at = begin; at < end;) {
        const size_t line = at / kBytesPerLine;
        const size_t first = at % kBytesPerLine;
        const size_t last = std::min(end - line * kBytesPerLine, kBytesPerLine) - 1;
        const size_t start = LineStart(line);
        ranges.push_back({start + HexColumn(first), start + HexColumn(last) + 2});
        ranges.push_back({start + TextColumn() + first, start + TextColumn() + last + 1});
        at = (line + 1) * kBytesPerLine;
    }
    return ranges;
}
