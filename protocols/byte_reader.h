// A cursor over captured bytes. Every decoder reads through one of these, so no
// byte at or beyond the captured end is ever touched, whatever a header claims.
// A read past the end yields zeros and marks the reader as overrun.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

class ByteReader {
public:
    // A negative or zero length gives an empty reader.
    ByteReader(const unsigned char* data, int length)
        : m_data(data), m_size(data != nullptr && length > 0 ? static_cast<size_t>(length) : 0) {}

    size_t Remaining() const { return m_size - m_pos; }
    size_t Position() const { return m_pos; }
    bool Has(size_t n) const { return n <= Remaining(); }
    bool Overrun() const { return m_overrun; }

    // The first unread byte (one past the last when nothing remains).
    const unsigned char* Current() const { return m_data != nullptr ? m_data + m_pos : nullptr; }

    uint8_t ReadU8() {
        if (!Has(1)) return Fail<uint8_t>();
        return m_data[m_pos++];
    }
    uint16_t ReadBe16() {
        if (!Has(2)) return Fail<uint16_t>();
        const uint16_t v = static_cast<uint16_t>((m_data[m_pos] << 8) | m_data[m_pos + 1]);
        m_pos += 2;
        return v;
    }
    uint32_t ReadBe32() {
        if (!Has(4)) return Fail<uint32_t>();
        const uint32_t v = (uint32_t{m_data[m_pos]} << 24) | (uint32_t{m_data[m_pos + 1]} << 16) |
                           (uint32_t{m_data[m_pos + 2]} << 8) | uint32_t{m_data[m_pos + 3]};
        m_pos += 4;
        return v;
    }
    // Copies n bytes; on a short read copies nothing, zero-fills `out` and marks the overrun.
    bool ReadBytes(void* out, size_t n) {
        if (!Has(n)) {
            std::memset(out, 0, n);
            m_pos = m_size;
            m_overrun = true;
            return false;
        }
        if (n != 0) std::memcpy(out, m_data + m_pos, n);
        m_pos += n;
        return true;
    }
    bool Skip(size_t n) {
        if (!Has(n)) {
            m_pos = m_size;
            m_overrun = true;
            return false;
        }
        m_pos += n;
        return true;
    }

private:
    template <class T>
    T Fail() {
        m_pos = m_size;
        m_overrun = true;
        return T{0};
    }

    const unsigned char* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_overrun = false;
};
