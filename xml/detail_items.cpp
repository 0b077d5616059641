#include "xml/detail_items.h"

#include <algorithm>

#include "xml/packet_document.h"
#include "xml/xml_markup.h"

namespace {

// A layer's bytes run from its own offset to the next layer's, or to the
// captured end.
std::span<const unsigned char> LayerBytes(const CProtocolLayer& layer,
                                          std::span<const unsigned char> frame) {
    const size_t begin = std::min<size_t>(layer.m_nOffset, frame.size());
    size_t end = frame.size();
    if (layer.m_pNext != nullptr)
        end = std::clamp<size_t>(layer.m_pNext->m_nOffset, begin, frame.size());
    return frame.subspan(begin, end - begin);
}

// Walks the layer elements of `document`; with a `chain`, walks its layers
// beside them and places each item and field in `frame`.
bool Build(const std::string& document, std::vector<DetailItem>& items, const CProtocolLayer* chain,
           std::span<const unsigned char> frame) {
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
        std::span<const unsigned char> bytes;
        if (chain != nullptr) {
            bytes = LayerBytes(*chain, frame);
            layer.place = {static_cast<uint32_t>(bytes.data() - frame.data()),
                           static_cast<uint32_t>(bytes.size())};
        }
        while (markup.FindChildElement(nullptr)) {
            markup.EnterElement();
            std::string label = markup.AttributeValue("desc");
            if (label.empty()) label = markup.ElementName();
            label += " = ";
            label += markup.ElementText();
            layer.fields.push_back(std::move(label));
            if (chain != nullptr) {
                const std::optional<BytePlace> field =
                    FieldPlace(chain->m_nType, markup.ElementName(), bytes);
                layer.fieldPlaces.push_back(
                    field ? BytePlace{layer.place.offset + field->offset, field->length}
                          : layer.place);
            }
            markup.LeaveElement();
        }
        markup.LeaveElement();
        if (chain != nullptr) chain = chain->m_pNext;
    }
    return true;
}

}  // namespace

bool BuildDetailItems(const std::string& document, std::vector<DetailItem>& items) {
    return Build(document, items, nullptr, {});
}

bool DetailItemsOf(const CProtocolLayer* root, std::vector<DetailItem>& items) {
    return BuildDetailItems(PacketDocument(root), items);
}

bool DetailItemsOf(const CProtocolLayer* root, std::span<const unsigned char> frame,
                   std::vector<DetailItem>& items) {
    return Build(PacketDocument(root), items, root, frame);
}

bool DetailItemsOf(const StoredPacket& packet, std::vector<DetailItem>& items) {
    if (packet.frame == nullptr) return DetailItemsOf(packet.root.get(), items);
    return DetailItemsOf(packet.root.get(), {packet.frame->Bytes(), packet.frame->capturedLength},
                         items);
}
