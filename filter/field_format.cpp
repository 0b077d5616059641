#include "filter/field_format.h"

#include <cstring>

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The characters isspace takes in the C locale.
bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

}  // namespace

bool ParseDottedIPv4(const char* text, uint32_t& address) {
    if (text == nullptr) return false;
    const size_t length = std::strlen(text);
    if (length < 1 || length > 15) return false;

    uint32_t value = 0;
    const char* p = text;
    for (int group = 0; group < 4; ++group) {
        if (group > 0) {
            if (*p != '.') return false;
            ++p;
        }
        unsigned number = 0;
        int digits = 0;
        while (IsDigit(*p) && digits < 3) {
            number = number * 10 + static_cast<unsigned>(*p - '0');
            ++p;
            ++digits;
        }
        if (digits == 0 || number > 255) return false;
        value = (value << 8) | number;
    }
    if (*p != '\0') return false;
    address = value;
    return true;
}

bool IsDottedIPv4(const char* text) {
    uint32_t ignored = 0;
    return ParseDottedIPv4(text, ignored);
}

bool IsDashedMac(const char* text) {
    if (text == nullptr || std::strlen(text) != 17) return false;
    for (int i = 0; i < 17; ++i) {
        const bool ok = (i % 3 == 2) ? text[i] == '-' : IsHexDigit(text[i]);
        if (!ok) return false;
    }
    return true;
}

int32_t PortNumber(const char* text) {
    if (text == nullptr) return 0;
    const char* p = text;
    while (IsBlank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    constexpr int32_t kCeiling = kMaxPort + 1;
    int32_t value = 0;
    for (; IsDigit(*p); ++p) {
        value = value * 10 + (*p - '0');
        if (value > kCeiling) value = kCeiling;
    }
    return negative ? -value : value;
}
