// A small, non-validating, read-only XML reader. One parse builds a table of
// element records holding only offsets into the document text (where each tag
// begins and ends, and the parent, first child and next sibling of each
// element); names, attribute values and texts are cut out of the text only
// when asked for. A cursor of three positions (parent, current element, child)
// walks the tree.
//
// Any text is accepted: a failed parse leaves a document without elements and
// a message in LastError(). Every read is bounds-checked against the document,
// and the parse keeps its own stack, so neither a truncated nor a deeply nested
// text can make it read past the end or exhaust the call stack.
//
// The document is taken as UTF-8 (or any single-byte code page): every byte
// that matters to the markup is plain ASCII, and a UTF-8 trail byte is never
// ASCII, so a plain byte scan never splits a character where it matters.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CXmlMarkup {
  public:
    CXmlMarkup();
    virtual ~CXmlMarkup();
    CXmlMarkup(const CXmlMarkup&) = default;
    CXmlMarkup& operator=(const CXmlMarkup&) = default;

    // Replaces the document with a copy of `text` (null counts as empty) and
    // parses it. True when a top-level element was parsed completely; only the
    // first top-level element is parsed. Resets the cursor in every case.
    bool Parse(const char* text);

    // Moves to the next element at the current level (the first one named
    // `name` when a name is given). False, and nothing moves, when none.
    bool FindElement(const char* name = nullptr);
    // Moves the child position to the next child of the current element (the
    // first one named `name` when a name is given); positions on the top-level
    // element first when there is no current element.
    bool FindChildElement(const char* name = nullptr);
    // The current child becomes the current element.
    bool EnterElement();
    // The parent becomes the current element.
    bool LeaveElement();

    // Tag name of the current element; empty when there is none.
    std::string ElementName() const;
    // Decoded text between the current element's tags; empty when it has child
    // elements or is an empty-element tag. A leading CDATA section is returned
    // raw.
    std::string ElementText() const;
    // Decoded value of the attribute `name="..."` (or '...') of the current
    // element; empty when absent.
    std::string AttributeValue(const char* name) const;
    // Message of the last failed parse.
    std::string LastError() const { return m_strError; }

    // One element record; offsets into m_strDoc, indices into m_elements.
    struct MarkupElement {
        int32_t nTagOpen = 0;   // '<' of the start tag
        int32_t nTagClose = 0;  // '>' of the start tag
        int32_t nEndOpen = 0;   // '<' of the end tag (nTagClose - 1 for <a/>)
        int32_t nEndClose = 0;  // '>' of the end tag (nTagClose for <a/>)
        int32_t iParent = 0;
        int32_t iFirstChild = 0;
        int32_t iNextSibling = 0;
    };

    // A token read inside a tag: first and last character (inclusive), where
    // the next search begins, and whether it was a quoted string.
    struct MarkupToken {
        int32_t nStart = 0;
        int32_t nEnd = 0;
        int32_t nNext = 0;
        bool bQuoted = false;
    };

    // What begins at an offset, as classified by ParseNode.
    enum MarkupNodeKind : int32_t {
        MNK_NONE = 0,
        MNK_ELEMENT = 1,
        MNK_TEXT = 2,
        MNK_WHITESPACE = 4,
        MNK_CDATA_SECTION = 8,
        MNK_PROCESSING_INSTRUCTION = 16,
        MNK_COMMENT = 32,
        MNK_DOCUMENT_TYPE = 64,
    };

  private:
    // The byte at `pos`, or 0 outside the document: every scan stops there.
    char At(int32_t pos) const {
        return pos >= 0 && pos < Length() ? m_strDoc[static_cast<size_t>(pos)] : '\0';
    }
    int32_t Length() const { return static_cast<int32_t>(m_strDoc.size()); }

    bool SkipSpace(int32_t& pos) const;
    bool FindChar(int32_t& pos, char c) const;
    // Offset of the first `pattern` at or after `from` that starts before
    // `limit`, or -1.
    int32_t FindText(int32_t from, const char* pattern, int32_t limit) const;
    bool NextToken(MarkupToken& token) const;
    bool TokenIs(const MarkupToken& token, const char* name) const;
    std::string TokenText(const MarkupToken& token) const;
    MarkupNodeKind ParseNode(MarkupToken& token) const;

    int32_t ParseElement(int32_t parent);
    int32_t ReadEndTag(int32_t n, const MarkupToken& name);
    int32_t NewRecord();
    // Records `message`, with the name's text for "%s"; returns -1.
    int32_t Fail(const char* message, const MarkupToken* name);

    int32_t FindElementFrom(int32_t parent, int32_t after, const char* name) const;
    bool FindAttribute(MarkupToken& token, const char* name) const;
    std::string DecodeText(int32_t first, int32_t last) const;

    std::string m_strDoc;
    std::string m_strError;
    std::vector<MarkupElement> m_elements;
    int32_t m_iParent = 0;
    int32_t m_iCurrent = 0;
    int32_t m_iChild = 0;
    int32_t m_iFree = 1;
    int32_t m_nNodeKind = 0;
};
