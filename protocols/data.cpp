// The payload layer: one copy of the bytes in the chain's slab.
#include "protocols/data.h"

#include <cstring>

#include "protocols/byte_reader.h"
#include "protocols/text_format.h"

void CDataLayer::Decode(const unsigned char* data, int length) {
    if (data == nullptr) return;
    ByteReader r(data, length);
    const size_t n = r.Remaining();
    ChainBuilder* builder = ChainBuilder::Current();
    const unsigned char* copy =
        n != 0 && builder != nullptr ? builder->CopyBytes(r.Current(), n) : nullptr;
    // Without room for the copy the payload stays empty rather than half kept.
    if (copy != nullptr) {
        m_pData = copy;
        m_nLength = static_cast<int32_t>(n);
    }
}

namespace {

// Appends `text` with each '&' written as "&amp;", so payload text never breaks
// the XML around it.
void AppendEscapingAmpersands(std::string& out, const std::string& text) {
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const void* amp = std::memchr(p, '&', static_cast<size_t>(end - p));
        const char* stop = amp != nullptr ? static_cast<const char*>(amp) : end;
        out.append(p, static_cast<size_t>(stop - p));
        if (stop == end) break;
        out += "&amp;";
        p = stop + 1;
    }
}

}  // namespace

void CDataLayer::AppendXml(std::string& out, int depth) const {
    // One scratch text per thread: the payload texts cost no allocation once warm.
    thread_local std::string text;
    text.clear();
    out += "<Data><Hexa desc=\"Hex data\">";
    HexText(text, m_pData, m_nLength);
    out += text;
    out += "</Hexa><Raw desc=\"Raw data\">";
    text.clear();
    PrintableText(text, m_pData, m_nLength, "<\">");
    AppendEscapingAmpersands(out, text);
    out += "</Raw></Data>";
    AppendInner(out, depth);
}
