#include "xml/detail_items.h"

#include "xml/packet_document.h"
#include "xml/xml_markup.h"

bool BuildDetailItems(const std::string& document, std::vector<DetailItem>& items) {
    items.clear();
    CXmlMarkup markup;
    if (!markup.Parse(document.c_str())) return false;

    // Positions on the top-level Packet element (which has no child of that
    // name), then on its first layer element.
    markup.FindChildElement("Packet");
    while (markup.FindChildElement(nullptr)) {
        markup.EnterElement();
        DetailItem& layer = items.emplace_back();
        layer.text = markup.ElementName();
        while (markup.FindChildElement(nullptr)) {
            markup.EnterElement();
            std::string label = markup.AttributeValue("desc");
            if (label.empty()) label = markup.ElementName();
            label += " = ";
            label += markup.ElementText();
            layer.fields.push_back(std::move(label));
            markup.LeaveElement();
        }
        markup.LeaveElement();
    }
    return true;
}

bool DetailItemsOf(const CProtocolLayer* root, std::vector<DetailItem>& items) {
    return BuildDetailItems(PacketDocument(root), items);
}
