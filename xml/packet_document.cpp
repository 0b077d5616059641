#include "xml/packet_document.h"

void AppendPacketElement(std::string& out, const CProtocolLayer* root) {
    out += "<Packet>";
    if (root != nullptr) root->AppendXml(out, 255);
    out += "</Packet>";
}

std::string PacketDocument(const CProtocolLayer* root) {
    std::string doc;
    doc.reserve(1024);
    doc += kXmlDeclaration;
    doc += kProductBanner;
    doc += kReleaseCredit;
    AppendPacketElement(doc, root);
    return doc;
}

std::string ClipboardText(const CProtocolLayer* root) {
    std::string text;
    text.reserve(1024);
    text += kReleaseCredit;
    AppendPacketElement(text, root);
    return text;
}
