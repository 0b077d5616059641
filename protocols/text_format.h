// Text formatters shared by the layers, the packet list and the Decode window,
// and the payload search of the "Data contains" test.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

// Replaces `out` with two uppercase hexadecimal digits per byte ("0AFF").
// A null `data` leaves `out` untouched; a length of 0 or less empties it.
void HexText(std::string& out, const unsigned char* data, int length);

// Replaces `out` with one character per byte: the byte itself when it is graphic
// (0x21 to 0x7E) and not in `exclude`, else ".".
void PrintableText(std::string& out, const unsigned char* data, int length, const char* exclude);

// Replaces `out` with the bytes joined by separators: mode 1 gives dotted decimal
// ("192.168.0.1"), any other mode colon-separated uppercase pairs ("00:0C:29").
void ByteListText(std::string& out, const unsigned char* data, unsigned length, int mode);

// 0 when `pattern` occurs in the `length` bytes at `data`; -1 for a null argument,
// -2 when the pattern is longer than `length`, -3 when it does not occur.
int FindInPayload(const unsigned char* data, const char* pattern, int length);

// One argument of AppendFormat.
struct FormatArg {
    FormatArg(unsigned v) : kind(Unsigned), u(v) {}
    FormatArg(unsigned long v) : kind(Unsigned), u(v) {}
    FormatArg(unsigned short v) : kind(Unsigned), u(v) {}
    FormatArg(unsigned char v) : kind(Unsigned), u(v) {}
    FormatArg(int v) : kind(Signed), d(v) {}
    FormatArg(const char* v) : kind(Text), s(v != nullptr ? v : "") {}
    FormatArg(const std::string& v) : kind(Text), s(v) {}
    FormatArg(std::string_view v) : kind(Text), s(v) {}

    enum Kind { Unsigned, Signed, Text } kind;
    uint64_t u = 0;
    int64_t d = 0;
    std::string_view s;
};

// One formatting step: appends `format` with its conversions filled in, cut after
// kFormatLimit characters. Understands %u, %d, %s, %.2X, %.4x, %X, %x and %%.
inline constexpr size_t kFormatLimit = 499;
void AppendFormat(std::string& out, std::string_view format, std::initializer_list<FormatArg> args);

// The text of one formatting step.
std::string Format(std::string_view format, std::initializer_list<FormatArg> args);
