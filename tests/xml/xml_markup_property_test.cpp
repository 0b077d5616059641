// Random documents of the shape the packet documents have, read by CXmlMarkup
// and by libexpat: both must see the same elements, names, texts and
// attributes. The shape: nested elements, `desc`/`dest` (and a few other)
// attributes in double quotes, text without markup characters or carriage
// returns, entity and character references, CDATA sections as a whole leaf
// content, comments and processing instructions between elements.
#include <expat.h>
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/xml/locale_scope.h"
#include "xml/xml_markup.h"

namespace {

struct Node {
    std::string name;
    std::map<std::string, std::string> attributes;
    std::string text;
    std::vector<std::unique_ptr<Node>> children;
};

// ---------------------------------------------------------------------------
// The oracle

struct ExpatBuild {
    std::unique_ptr<Node> root;
    std::vector<Node*> open;
};

void OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto* build = static_cast<ExpatBuild*>(data);
    auto node = std::make_unique<Node>();
    node->name = name;
    for (int i = 0; attributes[i] != nullptr; i += 2)
        node->attributes[attributes[i]] = attributes[i + 1];
    Node* raw = node.get();
    if (build->open.empty()) {
        build->root = std::move(node);
    } else {
        build->open.back()->children.push_back(std::move(node));
    }
    build->open.push_back(raw);
}

void OnEnd(void* data, const XML_Char*) {
    static_cast<ExpatBuild*>(data)->open.pop_back();
}

void OnText(void* data, const XML_Char* text, int length) {
    auto* build = static_cast<ExpatBuild*>(data);
    if (!build->open.empty()) build->open.back()->text.append(text, static_cast<size_t>(length));
}

std::unique_ptr<Node> ExpatTree(const std::string& doc, std::string& error) {
    ExpatBuild build;
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &build);
    XML_SetElementHandler(parser, OnStart, OnEnd);
    XML_SetCharacterDataHandler(parser, OnText);
    if (XML_Parse(parser, doc.data(), static_cast<int>(doc.size()), 1) != XML_STATUS_OK) {
        error = XML_ErrorString(XML_GetErrorCode(parser));
        build.root.reset();
    }
    XML_ParserFree(parser);
    return std::move(build.root);
}

// ---------------------------------------------------------------------------
// The generator

class DocumentGenerator {
  public:
    explicit DocumentGenerator(uint32_t seed) : m_random(seed) {}

    std::string Document() {
        std::string doc =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!-- Tapwatch 1.1 --><!-- release -->";
        if (Chance(3)) doc += "\n";
        m_count = 0;
        Element(doc, 0, Chance(2) ? "Packet" : Name());
        if (Chance(3)) doc += "\n";
        return doc;
    }

  private:
    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }
    bool Chance(int oneIn) { return Below(oneIn) == 0; }

    std::string Name() {
        static const char* const kNames[] = {"Ethernet", "IPv4", "TCP", "Data", "SeqNum", "Dest",
                                             "a",        "ab",   "b",   "x.y",  "n-1",    "_u:v"};
        if (!Chance(4)) return kNames[Below(static_cast<int>(std::size(kNames)))];
        static const char kFirst[] = "abcXYZ_";
        static const char kRest[] = "abcXYZ_019.-";
        std::string name(1, kFirst[Below(sizeof kFirst - 1)]);
        for (int i = Below(6); i > 0; --i) name += kRest[Below(sizeof kRest - 1)];
        return name;
    }

    static void Utf8(std::string& out, uint32_t c) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }

    // A character that XML allows, from every range of it.
    uint32_t XmlCharacter() {
        switch (Below(6)) {
            case 0:
                return "\t\n\r"[Below(3)];
            case 1:
                return static_cast<uint32_t>(0x20 + Below(0x5F));
            case 2:
                return static_cast<uint32_t>(0xA0 + Below(0x700));
            case 3:
                return static_cast<uint32_t>(0x800 + Below(0xD800 - 0x800));
            case 4:
                return static_cast<uint32_t>(0xE000 + Below(0xFFFE - 0xE000));
            default:
                return static_cast<uint32_t>(0x10000 + Below(0x100000));
        }
    }

    void Reference(std::string& out) {
        static const char* const kEntities[] = {"&lt;", "&amp;", "&gt;", "&apos;", "&quot;"};
        if (Chance(2)) {
            out += kEntities[Below(5)];
            return;
        }
        const uint32_t c = XmlCharacter();
        const bool hex = Chance(2);
        char digits[16];
        std::snprintf(digits, sizeof digits, hex ? (Chance(2) ? "%x" : "%X") : "%u", c);
        std::string number = digits;
        while (number.size() < 7 && Chance(4)) number = std::string("0") + number;
        out += hex ? "&#x" : "&#";
        out += number + ";";
    }

    // Plain characters: no markup, no carriage return; in attribute values no
    // '"' and no tab or line feed either (a real parser normalises those).
    void Characters(std::string& out, bool attribute, int count) {
        static const char kPlain[] = "abcdefXYZ0129 .,:;-_/=?!#%()[]{}*+'$@^|~`\\";
        for (int i = 0; i < count; ++i) {
            switch (Below(8)) {
                case 0:
                    Reference(out);
                    break;
                case 1:
                    Utf8(out, static_cast<uint32_t>(0xA0 + Below(0x2000)));
                    break;
                case 2:
                    if (!attribute) {
                        out += "\t\n\""[Below(3)];
                        break;
                    }
                    [[fallthrough]];
                default:
                    out += kPlain[Below(sizeof kPlain - 1)];
                    break;
            }
        }
    }

    std::string Blanks() {
        std::string out;
        for (int i = Below(3); i > 0; --i) out += " \t\n"[Below(3)];
        return out;
    }

    void Between(std::string& doc) {
        switch (Below(5)) {
            case 0:
                doc += "<!-- note " + std::to_string(Below(99)) + " -->";
                break;
            case 1:
                doc += "<?pi data?>";
                break;
            case 2:
                Characters(doc, false, Below(6));
                break;
            default:
                doc += Blanks();
                break;
        }
    }

    void Element(std::string& doc, int depth, const std::string& name) {
        ++m_count;
        doc += "<" + name;
        static const char* const kAttributes[] = {"desc", "dest", "descr", "de", "id"};
        std::vector<int> used;
        const int numbered = Below(3);
        for (int i = 0; i < 3; ++i) {
            if (i == numbered) doc += " n=\"" + std::to_string(m_count) + "\"";
            if (Chance(2)) continue;
            const int which = Below(5);
            bool seen = false;
            for (int u : used) seen = seen || u == which;
            if (seen) continue;
            used.push_back(which);
            doc += (Chance(3) ? "  " : " ") + std::string(kAttributes[which]);
            doc += Chance(4) ? " = \"" : "=\"";
            Characters(doc, true, Below(10));
            doc += "\"";
        }
        doc += Blanks();

        const int kind = depth >= 4 || m_count > 120 ? Below(3) : Below(5);
        switch (kind) {
            case 0:  // empty-element tag
                doc += "/>";
                return;
            case 1:  // text, possibly none
                doc += ">";
                Characters(doc, false, Below(12));
                break;
            case 2:  // one CDATA section as the whole content
                doc += "><![CDATA[";
                Characters(doc, false, Below(8));
                if (Chance(2)) doc += "<b>&amp;</b>";
                doc += "]]>";
                break;
            default:  // child elements
                doc += ">";
                for (int i = 1 + Below(4); i > 0; --i) {
                    Between(doc);
                    Element(doc, depth + 1, Name());
                }
                Between(doc);
                break;
        }
        doc += "</" + name + Blanks() + ">";
    }

    std::mt19937 m_random;
    int m_count = 0;
};

// ---------------------------------------------------------------------------
// The comparison

const char* const kQueried[] = {"desc", "dest", "descr", "de", "id", "n", "nope"};

std::string Get(const std::map<std::string, std::string>& map, const std::string& key) {
    const auto it = map.find(key);
    return it == map.end() ? std::string() : it->second;
}

// Compares the element at the cursor, and everything below it, with `node`.
void CompareSubtree(CXmlMarkup& markup, const Node& node, const std::string& path) {
    SCOPED_TRACE(path);
    ASSERT_EQ(markup.ElementName(), node.name);
    for (const char* attribute : kQueried) {
        EXPECT_EQ(markup.AttributeValue(attribute), Get(node.attributes, attribute)) << attribute;
    }
    // Text is only read from elements without children.
    EXPECT_EQ(markup.ElementText(), node.children.empty() ? node.text : std::string());

    for (size_t i = 0; i < node.children.size(); ++i) {
        ASSERT_TRUE(markup.FindChildElement()) << "child " << i;
        ASSERT_TRUE(markup.EnterElement());
        CompareSubtree(markup, *node.children[i], path + "/" + node.children[i]->name);
        ASSERT_TRUE(markup.LeaveElement());
    }
    EXPECT_FALSE(markup.FindChildElement()) << "more children than expected";
}

// Puts the cursor on the element reached by child indices `route` from the top.
void Navigate(CXmlMarkup& markup, const std::vector<size_t>& route) {
    ASSERT_TRUE(markup.FindElement());
    for (size_t index : route) {
        for (size_t i = 0; i <= index; ++i) ASSERT_TRUE(markup.FindChildElement());
        ASSERT_TRUE(markup.EnterElement());
    }
}

// Named searches: repeated FindChildElement(name), and FindElement(name) from
// the first child, must reach exactly the children of that name, in order.
// Every element carries a unique `n` attribute to tell equal names apart.
void CompareNamedSearches(const std::string& doc, const Node& node, std::vector<size_t>& route) {
    std::vector<std::string> names;
    for (const auto& child : node.children) names.push_back(child->name);
    names.push_back("Absent");
    for (const std::string& name : names) {
        SCOPED_TRACE("name " + name);
        std::vector<std::string> expected;
        for (const auto& child : node.children) {
            if (child->name == name) expected.push_back(Get(child->attributes, "n"));
        }

        CXmlMarkup markup;
        ASSERT_TRUE(markup.Parse(doc.c_str()));
        Navigate(markup, route);
        std::vector<std::string> found;
        while (markup.FindChildElement(name.c_str())) {
            ASSERT_TRUE(markup.EnterElement());
            EXPECT_EQ(markup.ElementName(), name);
            found.push_back(markup.AttributeValue("n"));
            ASSERT_TRUE(markup.LeaveElement());
        }
        EXPECT_EQ(found, expected);

        if (node.children.empty()) continue;
        CXmlMarkup sibling;
        ASSERT_TRUE(sibling.Parse(doc.c_str()));
        Navigate(sibling, route);
        ASSERT_TRUE(sibling.FindChildElement());
        ASSERT_TRUE(sibling.EnterElement());
        std::vector<std::string> later;
        while (sibling.FindElement(name.c_str())) later.push_back(sibling.AttributeValue("n"));
        if (node.children[0]->name == name) expected.erase(expected.begin());
        EXPECT_EQ(later, expected);
    }
    for (size_t i = 0; i < node.children.size(); ++i) {
        route.push_back(i);
        CompareNamedSearches(doc, *node.children[i], route);
        route.pop_back();
    }
}


}  // namespace

TEST(XmlMarkupProperty, AgreesWithExpatOnPacketShapedDocuments) {
    // Character references decode to UTF-8, as the real parser does.
    LocaleScope locale("C.UTF-8");
    ASSERT_TRUE(locale.ok());
    for (uint32_t seed = 1; seed <= 400; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        DocumentGenerator generator(seed);
        const std::string doc = generator.Document();
        std::string error;
        const std::unique_ptr<Node> expected = ExpatTree(doc, error);
        ASSERT_NE(expected, nullptr) << "generated a document expat refuses (" << error << "):\n"
                                     << doc;

        CXmlMarkup markup;
        ASSERT_TRUE(markup.Parse(doc.c_str())) << markup.LastError() << "\n" << doc;
        ASSERT_TRUE(markup.FindElement());
        CompareSubtree(markup, *expected, expected->name);
        EXPECT_FALSE(markup.FindElement()) << "a second top-level element";
        if (HasFailure()) {
            ADD_FAILURE() << "document:\n" << doc;
            return;
        }
        std::vector<size_t> route;
        CompareNamedSearches(doc, *expected, route);
        if (HasFailure()) {
            ADD_FAILURE() << "document:\n" << doc;
            return;
        }
    }
}
