#include "protocols/text_format.h"

#include <cstring>

namespace {

constexpr char kUpperHex[] = "0123456789ABCDEF";
constexpr char kLowerHex[] = "0123456789abcdef";

// Writes `value` in `base` with at least `precision` digits into the end of buf.
size_t Digits(char* end, uint64_t value, unsigned base, const char* alphabet, int precision) {
    char* p = end;
    do {
        *--p = alphabet[value % base];
        value /= base;
    } while (value != 0);
    while (end - p < precision) *--p = '0';
    return static_cast<size_t>(end - p);
}

class Step {
public:
    explicit Step(std::string& out) : m_out(out), m_room(kFormatLimit) {}
    void Put(const char* s, size_t n) {
        if (n > m_room) n = m_room;
        m_out.append(s, n);
        m_room -= n;
    }
    bool Full() const { return m_room == 0; }

private:
    std::string& m_out;
    size_t m_room;
};

}  // namespace

void HexText(std::string& out, const unsigned char* data, int length) {
    if (data == nullptr) return;
    out.clear();
    if (length <= 0) return;
    out.resize(static_cast<size_t>(length) * 2);
    char* p = out.data();
    for (int i = 0; i < length; ++i) {
        *p++ = kUpperHex[data[i] >> 4];
        *p++ = kUpperHex[data[i] & 0x0F];
    }
}

void PrintableText(std::string& out, const unsigned char* data, int length, const char* exclude) {
    if (data == nullptr) return;
    out.clear();
    if (length <= 0) return;
    bool keep[256] = {};
    for (int c = 0x21; c <= 0x7E; ++c) keep[c] = true;
    if (exclude != nullptr)
        for (const char* e = exclude; *e != '\0'; ++e) keep[static_cast<unsigned char>(*e)] = false;
    out.resize(static_cast<size_t>(length));
    char* p = out.data();
    for (int i = 0; i < length; ++i) p[i] = keep[data[i]] ? static_cast<char>(data[i]) : '.';
}

void ByteListText(std::string& out, const unsigned char* data, unsigned length, int mode) {
    if (data == nullptr) return;
    out.clear();
    char buf[8];
    for (unsigned i = 0; i < length; ++i) {
        if (i > 0) out.push_back(mode == 1 ? '.' : ':');
        char* end = buf + sizeof buf;
        const size_t n = mode == 1 ? Digits(end, data[i], 10, kUpperHex, 1)
                                   : Digits(end, data[i], 16, kUpperHex, 2);
        out.append(end - n, n);
    }
}

int FindInPayload(const unsigned char* data, const char* pattern, int length) {
    if (data == nullptr || pattern == nullptr) return -1;
    const size_t n = std::strlen(pattern);
    if (length < 0 || static_cast<size_t>(length) < n) return -2;
    if (n == 0) return 0;
    const size_t last = static_cast<size_t>(length) - n;
    const unsigned char first = static_cast<unsigned char>(pattern[0]);
    for (size_t i = 0; i <= last;) {
        const void* hit = std::memchr(data + i, first, last - i + 1);
        if (hit == nullptr) break;
        i = static_cast<size_t>(static_cast<const unsigned char*>(hit) - data);
        if (std::memcmp(data + i, pattern, n) == 0) return 0;
        ++i;
    }
    return -3;
}

void AppendFormat(std::string& out, std::string_view format, std::initializer_list<FormatArg> args) {
    Step step(out);
    const FormatArg* arg = args.begin();
    size_t i = 0;
    while (i < format.size() && !step.Full()) {
        const size_t pct = format.find('%', i);
        if (pct == std::string_view::npos) {
            step.Put(format.data() + i, format.size() - i);
            break;
        }
        step.Put(format.data() + i, pct - i);
        i = pct + 1;
        int precision = 1;
        if (i + 1 < format.size() && format[i] == '.') {
            precision = format[i + 1] - '0';
            i += 2;
        }
        if (i >= format.size()) break;
        const char conv = format[i++];
        if (conv == '%') {
            step.Put("%", 1);
            continue;
        }
        if (arg == args.end()) continue;
        const FormatArg& a = *arg++;
        char buf[24];
        char* end = buf + sizeof buf;
        switch (conv) {
            case 's':
                step.Put(a.s.data(), a.s.size());
                break;
            case 'u':
            case 'd': {
                if (a.kind == FormatArg::Signed && a.d < 0) {
                    step.Put("-", 1);
                    const size_t n = Digits(end, static_cast<uint64_t>(-a.d), 10, kUpperHex, precision);
                    step.Put(end - n, n);
                } else {
                    const uint64_t v = a.kind == FormatArg::Signed ? static_cast<uint64_t>(a.d) : a.u;
                    const size_t n = Digits(end, v, 10, kUpperHex, precision);
                    step.Put(end - n, n);
                }
                break;
            }
            case 'X':
            case 'x': {
                const uint64_t v = a.kind == FormatArg::Signed ? static_cast<uint32_t>(a.d) : a.u;
                const size_t n = Digits(end, v, 16, conv == 'X' ? kUpperHex : kLowerHex, precision);
                step.Put(end - n, n);
                break;
            }
            default:
                break;
        }
    }
}

std::string Format(std::string_view format, std::initializer_list<FormatArg> args) {
    std::string out;
    AppendFormat(out, format, args);
    return out;
}
