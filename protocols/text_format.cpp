#include "protocols/text_format.h"

#include <array>
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

}  // namespace

void HexText(std::string& out, const unsigned char* data, int length) {
    if (data == nullptr) return;
    out.clear();
    if (length <= 0) return;
    static const auto pairs = [] {
        std::array<char, 512> t{};
        for (int b = 0; b < 256; ++b) {
            t[2 * b] = kUpperHex[b >> 4];
            t[2 * b + 1] = kUpperHex[b & 0x0F];
        }
        return t;
    }();
    out.resize(static_cast<size_t>(length) * 2);
    char* p = out.data();
    for (int i = 0; i < length; ++i, p += 2) std::memcpy(p, &pairs[2 * data[i]], 2);
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
    // The step is built in a scratch area on the stack and appended in one
    // piece; every copy into it stops at the limit, which is the 499-character cut.
    char buf[kFormatLimit];
    char* p = buf;
    char* const limit = buf + kFormatLimit;
    auto put = [&](const char* s, size_t n) {
        const size_t room = static_cast<size_t>(limit - p);
        if (n > room) n = room;
        std::memcpy(p, s, n);
        p += n;
    };
    const char* f = format.data();
    const char* const fend = f + format.size();
    const FormatArg* arg = args.begin();
    while (f < fend && p < limit) {
        if (*f != '%') {
            *p++ = *f++;
            continue;
        }
        ++f;
        int precision = 1;
        if (fend - f >= 2 && *f == '.') {
            precision = f[1] - '0';
            f += 2;
        }
        if (f >= fend) break;
        const char conv = *f++;
        if (conv == '%') {
            *p++ = '%';
            continue;
        }
        if (arg == args.end()) continue;
        const FormatArg& a = *arg++;
        char num[24];
        char* const nend = num + sizeof num;
        switch (conv) {
            case 's':
                put(a.s.data(), a.s.size());
                break;
            case 'u':
            case 'd': {
                if (a.kind == FormatArg::Signed && a.d < 0) {
                    put("-", 1);
                    const size_t n = Digits(nend, static_cast<uint64_t>(-a.d), 10, kUpperHex, precision);
                    put(nend - n, n);
                } else {
                    const uint64_t v = a.kind == FormatArg::Signed ? static_cast<uint64_t>(a.d) : a.u;
                    const size_t n = Digits(nend, v, 10, kUpperHex, precision);
                    put(nend - n, n);
                }
                break;
            }
            case 'X':
            case 'x': {
                const uint64_t v = a.kind == FormatArg::Signed ? static_cast<uint32_t>(a.d) : a.u;
                const size_t n = Digits(nend, v, 16, conv == 'X' ? kUpperHex : kLowerHex, precision);
                put(nend - n, n);
                break;
            }
            default:
                break;
        }
    }
    out.append(buf, static_cast<size_t>(p - buf));
}

std::string Format(std::string_view format, std::initializer_list<FormatArg> args) {
    std::string out;
    AppendFormat(out, format, args);
    return out;
}
