#include "xml/xml_markup.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string_view>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsDelimiter(char c) {
    return IsBlank(c) || c == '<' || c == '>' || c == '=' || c == '\\' || c == '/' || c == '?' ||
           c == '!';
}

bool IsNameFollower(char c) {
    return c == ' ' || c == '=' || c == '/' || c == '[';
}

// Offsets are 32-bit; a few spare positions keep `offset + small` in range.
constexpr size_t kMaxDocument = INT32_MAX - 16;

// Appends the current locale's form of character `value`; false when it has none.
// Surrogates and values past the last Unicode character are no characters in any
// locale, even where the C library would still encode them.
bool AppendCharacter(long value, std::string& out) {
    if (value <= 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    char buf[MB_LEN_MAX];
    std::mbstate_t state{};
    const size_t n = std::wcrtomb(buf, static_cast<wchar_t>(value), &state);
    if (n == static_cast<size_t>(-1) || n == 0) return false;
    out.append(buf, n);
    return true;
}

}  // namespace

CXmlMarkup::CXmlMarkup() {
    Parse(nullptr);
}

CXmlMarkup::~CXmlMarkup() = default;

// ---------------------------------------------------------------------------
// Scanning

bool CXmlMarkup::SkipSpace(int32_t& pos) const {
    while (IsBlank(At(pos))) ++pos;
    return At(pos) != '\0';
}

bool CXmlMarkup::FindChar(int32_t& pos, char c) const {
    for (;;) {
        const char ch = At(pos);
        if (ch == '\0') return false;
        if (ch == c) return true;
        ++pos;
    }
}

int32_t CXmlMarkup::FindText(int32_t from, const char* pattern, int32_t limit) const {
    if (from < 0 || limit <= from || from >= Length()) return -1;
    const size_t patternLength = std::strlen(pattern);
    // Only matches that start before `limit`: the scan needs no byte beyond.
    const size_t end = std::min(static_cast<size_t>(limit) + patternLength - 1, m_strDoc.size());
    const size_t found = std::string_view(m_strDoc).substr(0, end).find(pattern, from);
    return found == std::string_view::npos ? -1 : static_cast<int32_t>(found);
}

bool CXmlMarkup::NextToken(MarkupToken& token) const {
    int32_t pos = token.nNext;
    token.bQuoted = false;
    if (!SkipSpace(pos)) {
        token.nStart = token.nEnd = token.nNext = Length();
        return false;
    }
    const char c = At(pos);
    if (c == '"' || c == '\'') {
        token.bQuoted = true;
        token.nStart = pos + 1;
        int32_t close = pos + 1;
        const bool found = FindChar(close, c);
        token.nEnd = close - 1;
        token.nNext = found ? close + 1 : Length();
        return true;
    }
    token.nStart = pos;
    while (At(pos) != '\0' && !IsDelimiter(At(pos))) ++pos;
    if (pos == token.nStart) {
        token.nEnd = pos;
        token.nNext = pos + 1;
    } else {
        token.nEnd = pos - 1;
        token.nNext = pos;
    }
    return true;
}

bool CXmlMarkup::TokenIs(const MarkupToken& token, const char* name) const {
    if (name == nullptr) return false;
    const std::string_view wanted(name);
    const int32_t n = token.nEnd - token.nStart + 1;
    if (n < 0 || static_cast<size_t>(n) > wanted.size()) return false;
    for (int32_t i = 0; i < n; ++i) {
        if (wanted[static_cast<size_t>(i)] != At(token.nStart + i)) return false;
    }
    return static_cast<size_t>(n) == wanted.size() ||
           IsNameFollower(wanted[static_cast<size_t>(n)]);
}

std::string CXmlMarkup::TokenText(const MarkupToken& token) const {
    if (token.nEnd < token.nStart || token.nStart < 0 || token.nEnd >= Length()) return {};
    return m_strDoc.substr(static_cast<size_t>(token.nStart),
                           static_cast<size_t>(token.nEnd - token.nStart + 1));
}

CXmlMarkup::MarkupNodeKind CXmlMarkup::ParseNode(MarkupToken& token) const {
    const int32_t pos = token.nNext;
    token.nStart = pos;
    if (At(pos) != '<') {
        if (At(pos) == '\0') return MNK_NONE;
        int32_t next = pos;
        SkipSpace(next);
        if (At(next) == '\0' || At(next) == '<') {
            token.nNext = next;
            return MNK_WHITESPACE;
        }
        FindChar(next, '<');
        token.nNext = next;
        return MNK_TEXT;
    }

    const char c1 = At(pos + 1);
    const char c2 = c1 != '\0' ? At(pos + 2) : '\0';
    if (c1 == '\0' || c2 == '\0') return MNK_NONE;

    const char* terminator = nullptr;
    MarkupNodeKind kind = MNK_NONE;
    if (c1 == '?') {
        terminator = "?>";
        kind = MNK_PROCESSING_INSTRUCTION;
    } else if (c1 == '!' && c2 == '[') {
        terminator = "]]>";
        kind = MNK_CDATA_SECTION;
    } else if (c1 == '!' && c2 == '-') {
        terminator = "-->";
        kind = MNK_COMMENT;
    } else if (c1 == '!') {
        // A document type declaration ends at the first '>' outside quotes and
        // outside its bracketed internal subset.
        MarkupToken inner;
        inner.nNext = pos;
        int depth = 0;
        while (NextToken(inner)) {
            if (inner.bQuoted) continue;
            const char first = At(inner.nStart);
            if (first == '[') {
                ++depth;
            } else if (first == ']') {
                --depth;
            } else if (first == '>' && depth == 0) {
                token.nNext = inner.nNext;
                return MNK_DOCUMENT_TYPE;
            }
        }
        return MNK_NONE;
    } else {
        return c1 == '/' ? MNK_NONE : MNK_ELEMENT;
    }

    const int32_t found = FindText(pos, terminator, Length());
    if (found < 0) return MNK_NONE;
    token.nNext = found + static_cast<int32_t>(std::strlen(terminator));
    return kind;
}

// ---------------------------------------------------------------------------
// Parsing

bool CXmlMarkup::Parse(const char* text) {
    m_iFree = 1;
    m_iParent = m_iCurrent = m_iChild = 0;
    m_nNodeKind = 0;

    const size_t length = text != nullptr ? std::strlen(text) : 0;
    if (length > kMaxDocument) {
        m_strDoc.clear();
        m_strError = "Document too large";
    } else if (length == 0) {
        m_strDoc.clear();
    } else {
        m_strDoc.assign(text, length);
    }

    const size_t wanted = m_strDoc.size() / 64 + 8;
    if (m_elements.size() < wanted) m_elements.resize(wanted);

    m_elements[0] = MarkupElement{};
    if (!m_strDoc.empty()) {
        const int32_t top = ParseElement(0);
        if (top > 0) {
            // The document record keeps nothing but its child.
            m_elements[0] = MarkupElement{};
            m_elements[0].iFirstChild = top;
            return true;
        }
    }
    m_elements[0] = MarkupElement{};
    m_iFree = 1;
    return false;
}

int32_t CXmlMarkup::NewRecord() {
    const size_t count = m_elements.size();
    if (static_cast<size_t>(m_iFree) == count)
        m_elements.resize(count + std::max<size_t>(count / 2, 1));
    m_elements[static_cast<size_t>(m_iFree)] = MarkupElement{};
    return m_iFree++;
}

int32_t CXmlMarkup::Fail(const char* message, const MarkupToken* name) {
    m_strError = message;
    if (name != nullptr) {
        const std::string text = TokenText(*name);
        const size_t at = m_strError.find("%s");
        if (at != std::string::npos) m_strError.replace(at, 2, text);
    }
    return -1;
}

// Parses the next element inside `parent` with everything nested in it and
// returns its record, 0 when `parent`'s end tag comes first, -1 after an error.
// Open elements are kept on a stack of our own rather than the call stack, so
// the nesting depth is bounded only by the document's length.
int32_t CXmlMarkup::ParseElement(int32_t parent) {
    struct OpenElement {
        int32_t n;
        MarkupToken name;
        int32_t lastChild;
    };
    std::vector<OpenElement> open;

    for (;;) {
        const int32_t outer = open.empty() ? parent : open.back().n;

        // Start tag of the next element inside `outer`, skipping text and nodes.
        const int32_t n = NewRecord();
        m_elements[n].nTagOpen = m_elements[outer].nEndOpen;
        m_elements[n].iParent = outer;
        MarkupToken name;
        bool named = false;
        bool endTag = false;
        int32_t pos = m_elements[outer].nEndOpen;
        while (!named && !endTag) {
            if (!FindChar(pos, '<')) return Fail("Element tag not found", nullptr);
            m_elements[n].nTagOpen = m_elements[outer].nEndOpen = pos;
            MarkupToken token;
            token.nNext = pos + 1;
            if (!NextToken(token)) return Fail("Abrupt end within tag", nullptr);
            if (token.bQuoted) return Fail("Tag starts with quote", nullptr);
            const char first = At(token.nStart);
            if (first == '?' || first == '!') {
                MarkupToken node;
                node.nNext = pos;
                const MarkupNodeKind kind = ParseNode(node);
                // "< ?" or "< !" is no node; the '<' would be found again and
                // again, so it fails like an unterminated one.
                if (kind == MNK_NONE || kind == MNK_ELEMENT) return Fail("Invalid node", nullptr);
                pos = node.nNext;
            } else if (first == '/') {
                endTag = true;
            } else {
                name = token;
                named = true;
                pos = token.nNext;
                if (!FindChar(pos, '>')) return Fail("End of tag not found", nullptr);
            }
        }

        int32_t done = 0;
        if (endTag) {
            // `outer`'s end tag: the record goes back; nEndOpen holds the '<'.
            --m_iFree;
            if (open.empty()) return 0;
            if (ReadEndTag(outer, open.back().name) < 0) return -1;
            done = outer;
            open.pop_back();
        } else {
            MarkupElement& e = m_elements[n];
            e.nTagClose = pos;
            if (At(pos - 1) == '/') {
                e.nEndOpen = pos - 1;
                e.nEndClose = pos;
                done = n;
            } else {
                e.nEndOpen = pos + 1;
                open.push_back({n, name, 0});
                continue;
            }
        }

        if (open.empty()) return done;
        OpenElement& into = open.back();
        if (into.lastChild == 0) {
            m_elements[into.n].iFirstChild = done;
        } else {
            m_elements[into.lastChild].iNextSibling = done;
        }
        into.lastChild = done;
        m_elements[into.n].nEndOpen = m_elements[done].nEndClose + 1;
    }
}

int32_t CXmlMarkup::ReadEndTag(int32_t n, const MarkupToken& name) {
    MarkupToken token;
    token.nNext = m_elements[n].nEndOpen + 1;
    const std::string wanted = TokenText(name);
    int number = 0;
    while (NextToken(token)) {
        ++number;
        if (token.bQuoted) continue;
        if (number == 2 && !TokenIs(token, wanted.c_str())) {
            return Fail("End tag does not correspond to %s", &name);
        }
        if (At(token.nStart) == '>') {
            m_elements[n].nEndClose = token.nStart;
            return n;
        }
    }
    return Fail("End tag not completed for element %s", &name);
}

// ---------------------------------------------------------------------------
// Navigation

int32_t CXmlMarkup::FindElementFrom(int32_t parent, int32_t after, const char* name) const {
    int32_t candidate =
        after != 0 ? m_elements[after].iNextSibling : m_elements[parent].iFirstChild;
    if (name == nullptr || *name == '\0') return candidate;
    for (; candidate != 0; candidate = m_elements[candidate].iNextSibling) {
        MarkupToken token;
        token.nNext = m_elements[candidate].nTagOpen + 1;
        if (NextToken(token) && TokenIs(token, name)) return candidate;
    }
    return 0;
}

bool CXmlMarkup::FindElement(const char* name) {
    const int32_t found = FindElementFrom(m_iParent, m_iCurrent, name);
    if (found == 0) return false;
    m_iCurrent = found;
    m_iParent = m_elements[found].iParent;
    m_iChild = 0;
    m_nNodeKind = MNK_ELEMENT;
    return true;
}

bool CXmlMarkup::FindChildElement(const char* name) {
    if (m_iCurrent == 0) FindElement(nullptr);
    const int32_t found = FindElementFrom(m_iCurrent, m_iChild, name);
    if (found == 0) return false;
    m_iChild = found;
    m_iCurrent = m_elements[found].iParent;
    m_iParent = m_elements[m_iCurrent].iParent;
    m_nNodeKind = m_iCurrent != 0 ? MNK_ELEMENT : MNK_NONE;
    return true;
}

bool CXmlMarkup::EnterElement() {
    if (m_iCurrent == 0 || m_nNodeKind != MNK_ELEMENT) return false;
    m_iParent = m_iCurrent;
    m_iCurrent = m_iChild;
    m_iChild = 0;
    m_nNodeKind = m_iCurrent != 0 ? MNK_ELEMENT : MNK_NONE;
    return true;
}

bool CXmlMarkup::LeaveElement() {
    if (m_iParent == 0) return false;
    m_iChild = m_iCurrent;
    m_iCurrent = m_iParent;
    m_iParent = m_elements[m_iCurrent].iParent;
    m_nNodeKind = MNK_ELEMENT;
    return true;
}

// ---------------------------------------------------------------------------
// Reading values

std::string CXmlMarkup::ElementName() const {
    if (m_iCurrent == 0) return {};
    MarkupToken token;
    token.nNext = m_elements[m_iCurrent].nTagOpen + 1;
    if (!NextToken(token)) return {};
    return TokenText(token);
}

std::string CXmlMarkup::ElementText() const {
    if (m_iCurrent == 0) return {};
    const MarkupElement& e = m_elements[m_iCurrent];
    if (e.iFirstChild != 0 || e.nTagClose == e.nEndOpen + 1) return {};

    int32_t p = e.nTagClose + 1;
    SkipSpace(p);
    if (At(p) == '<' && p + 11 < e.nEndOpen && m_strDoc.compare(p, 9, "<![CDATA[") == 0) {
        const int32_t close = FindText(p + 9, "]]>", e.nEndOpen);
        if (close >= 0) return m_strDoc.substr(p + 9, close - (p + 9));
    }
    return DecodeText(e.nTagClose + 1, e.nEndOpen - 1);
}

std::string CXmlMarkup::AttributeValue(const char* name) const {
    if (m_iCurrent == 0 || m_nNodeKind != MNK_ELEMENT || name == nullptr) return {};
    MarkupToken token;
    token.nNext = m_elements[m_iCurrent].nTagOpen + 1;
    if (!FindAttribute(token, name)) return {};
    return DecodeText(token.nStart, token.nEnd);
}

// Only `name="value"` and `name='value'` are found (blanks around '=' allowed):
// the value is the quoted token two places after the name.
bool CXmlMarkup::FindAttribute(MarkupToken& token, const char* name) const {
    int number = -1;
    int matched = -1;
    while (NextToken(token)) {
        ++number;
        if (token.bQuoted) {
            if (matched >= 0 && number == matched + 2) return true;
            continue;
        }
        const char first = At(token.nStart);
        if (first == '>' || first == '/' || first == '?') return false;
        if (first == '=') continue;
        if (matched < 0 && number != 0 && TokenIs(token, name)) matched = number;
    }
    return false;
}

std::string CXmlMarkup::DecodeText(int32_t first, int32_t last) const {
    std::string out;
    if (first < 0) first = 0;
    if (last >= Length()) last = Length() - 1;
    if (last < first) return out;
    out.reserve(static_cast<size_t>(last - first + 1));

    static constexpr struct {
        const char* name;
        char character;
    } kEntities[] = {{"lt;", '<'}, {"amp;", '&'}, {"gt;", '>'}, {"apos;", '\''}, {"quot;", '"'}};

    int32_t i = first;
    while (i <= last) {
        const char c = At(i);
        if (c != '&') {
            out += c;
            ++i;
            continue;
        }
        int32_t resume = -1;
        if (At(i + 1) == '#') {
            int32_t digits = i + 2;
            int base = 10;
            if (At(digits) == 'x') {
                ++digits;
                base = 16;
            }
            // The ';' must close the reference within eight characters and
            // within the text: a reference never reaches into the next tag.
            for (int32_t j = digits; j < digits + 8 && j <= last; ++j) {
                if (At(j) != ';') continue;
                char number[8] = {};
                m_strDoc.copy(number, static_cast<size_t>(j - digits), static_cast<size_t>(digits));
                const long value = std::strtol(number, nullptr, base);
                if (value != 0 && AppendCharacter(value, out)) resume = j + 1;
                break;
            }
        } else {
            for (const auto& entity : kEntities) {
                const auto length = static_cast<int32_t>(std::strlen(entity.name));
                if (i + length <= last &&
                    m_strDoc.compare(static_cast<size_t>(i + 1), static_cast<size_t>(length),
                                     entity.name) == 0) {
                    out += entity.character;
                    resume = i + 1 + length;
                    break;
                }
            }
        }
        if (resume < 0) {
            out += '&';
            ++i;
        } else {
            i = resume;
        }
    }
    return out;
}
