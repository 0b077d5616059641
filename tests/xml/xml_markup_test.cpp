#include "xml/xml_markup.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/xml/locale_scope.h"

#include "fuzz/xml_markup_walk.h"

namespace {

const char kPrologue[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!-- Tapwatch 1.1 --><!-- release build -->";


// The text of the only element of `<r>...</r>`-less documents: parses `doc` and
// reads the top-level element.
std::string TopText(const std::string& doc) {
    CXmlMarkup markup;
    EXPECT_TRUE(markup.Parse(doc.c_str())) << doc;
    EXPECT_TRUE(markup.FindElement());
    return markup.ElementText();
}

std::string ParseError(const std::string& doc) {
    CXmlMarkup markup;
    EXPECT_FALSE(markup.Parse(doc.c_str())) << doc;
    EXPECT_FALSE(markup.FindChildElement()) << doc;
    return markup.LastError();
}

// The labels the packet detail tree builds, walked with the same call sequence.
std::vector<std::string> DetailLabels(const std::string& doc) {
    std::vector<std::string> out;
    CXmlMarkup markup;
    if (!markup.Parse(doc.c_str())) return out;
    markup.FindChildElement("Packet");
    while (markup.FindChildElement(nullptr)) {
        markup.EnterElement();
        out.push_back(markup.ElementName());
        while (markup.FindChildElement(nullptr)) {
            markup.EnterElement();
            std::string label = markup.AttributeValue("desc");
            if (label.empty()) label = markup.ElementName();
            out.push_back("  " + label + " = " + markup.ElementText());
            markup.LeaveElement();
        }
        markup.LeaveElement();
    }
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------

TEST(XmlMarkupParse, PacketDocumentAfterDeclarationAndComments) {
    const std::string doc =
        std::string(kPrologue) +
        "<Packet><TCP><SeqNum desc=\"Sequence Number\">10</SeqNum></TCP></Packet>";
    CXmlMarkup markup;
    ASSERT_TRUE(markup.Parse(doc.c_str()));
    EXPECT_FALSE(markup.FindChildElement("Packet"));
    EXPECT_EQ(markup.ElementName(), "Packet");
    ASSERT_TRUE(markup.FindChildElement(nullptr));
    ASSERT_TRUE(markup.EnterElement());
    EXPECT_EQ(markup.ElementName(), "TCP");
    ASSERT_TRUE(markup.FindChildElement(nullptr));
    ASSERT_TRUE(markup.EnterElement());
    EXPECT_EQ(markup.ElementName(), "SeqNum");
    EXPECT_EQ(markup.ElementText(), "10");
    EXPECT_EQ(markup.AttributeValue("desc"), "Sequence Number");
    EXPECT_FALSE(markup.FindChildElement(nullptr));
    ASSERT_TRUE(markup.LeaveElement());
    EXPECT_FALSE(markup.FindChildElement(nullptr)) << "TCP has one child only";
    ASSERT_TRUE(markup.LeaveElement());
    EXPECT_FALSE(markup.FindChildElement(nullptr)) << "Packet has one child only";
    EXPECT_FALSE(markup.LeaveElement());
    EXPECT_EQ(markup.LastError(), "");
}

TEST(XmlMarkupParse, DetailTreeWalkOfSeveralLayers) {
    const std::string doc =
        std::string(kPrologue) +
        "<Packet><Ethernet><Dest desc=\"Destination\">00:0C:29:01:02:03</Dest>"
        "<Type>2054</Type></Ethernet>"
        "<ARP><SenderIP dest=\"Sender IP\">10.0.0.1</SenderIP></ARP>"
        "<Data><Raw desc=\"Raw data\">a&amp;b&lt;c</Raw><Empty/></Data></Packet>";
    const std::vector<std::string> expected = {"Ethernet",
                                               "  Destination = 00:0C:29:01:02:03",
                                               "  Type = 2054",
                                               "ARP",
                                               "  SenderIP = 10.0.0.1",
                                               "Data",
                                               "  Raw data = a&b<c",
                                               "  Empty = "};
    EXPECT_EQ(DetailLabels(doc), expected);
}

TEST(XmlMarkupParse, NodesBeforeTheTopLevelElementAreSkipped) {
    const char* docs[] = {
        "<?pi <x> ?><top/>",
        "<!-- <x> --><top/>",
        "<![CDATA[<x>]]><top/>",
        "some text & more\n<top/>",
        "<!DOCTYPE top SYSTEM \"a>b\"><top/>",
        "<!DOCTYPE top [<!ENTITY e \"v\"><!ELEMENT x ANY>]><top/>",
        "<!ELEMENT x ANY><top/>",
        "<?>   <top/>",
    };
    for (const char* doc : docs) {
        CXmlMarkup markup;
        ASSERT_TRUE(markup.Parse(doc)) << doc << ": " << markup.LastError();
        ASSERT_TRUE(markup.FindElement()) << doc;
        EXPECT_EQ(markup.ElementName(), "top") << doc;
        EXPECT_FALSE(markup.FindChildElement()) << doc;
    }
}

TEST(XmlMarkupParse, NodesInsideContentAreNotElements) {
    CXmlMarkup markup;
    ASSERT_TRUE(markup.Parse("<a> <!-- <b> --><?p <c>?><![CDATA[<d></a>]]>text<e/> </a>"));
    ASSERT_TRUE(markup.FindChildElement());
    ASSERT_TRUE(markup.EnterElement());
    EXPECT_EQ(markup.ElementName(), "e");
    ASSERT_TRUE(markup.LeaveElement());
    EXPECT_FALSE(markup.FindChildElement());
}

TEST(XmlMarkupParse, OnlyTheFirstTopLevelElementIsReachable) {
    CXmlMarkup markup;
    ASSERT_TRUE(markup.Parse("<first><c/></first><second/>"));
    ASSERT_TRUE(markup.FindElement());
    EXPECT_EQ(markup.ElementName(), "first");
    EXPECT_FALSE(markup.FindElement());
    EXPECT_FALSE(markup.FindElement("second"));
    EXPECT_EQ(markup.ElementName(), "first");

    // Whatever follows the first element is never looked at, not even broken markup.
    EXPECT_TRUE(markup.Parse("<a/> trailing <!-- unterminated"));
}

TEST(XmlMarkupParse, EmptyInputAndLeadingEndTagLeaveTheErrorAlone) {
    CXmlMarkup markup;
    EXPECT_EQ(markup.LastError(), "");
    EXPECT_FALSE(markup.FindElement());
    EXPECT_FALSE(markup.Parse(nullptr));
    EXPECT_FALSE(markup.Parse(""));
    EXPECT_FALSE(markup.Parse("</a>"));
    EXPECT_EQ(markup.LastError(), "");

    EXPECT_FALSE(markup.Parse("<a>"));
    EXPECT_EQ(markup.LastError(), "Element tag not found");
    EXPECT_FALSE(markup.Parse(""));
    EXPECT_FALSE(markup.Parse("  </x>"));
    EXPECT_EQ(markup.LastError(), "Element tag not found");
    // A later successful parse keeps the old message too.
    EXPECT_TRUE(markup.Parse("<a/>"));
    EXPECT_EQ(markup.LastError(), "Element tag not found");
}

TEST(XmlMarkupParse, ErrorMessages) {
    const struct {
        const char* doc;
        const char* error;
    } cases[] = {
        {"<a>", "Element tag not found"},
        {"<a><b></b>", "Element tag not found"},
        {"plain text", "Element tag not found"},
        {"<", "Abrupt end within tag"},
        {"<a><  \n\t", "Abrupt end within tag"},
        {"<\"a\"></a>", "Tag starts with quote"},
        {"<a>< 'b'></a>", "Tag starts with quote"},
        {"<!-- open <a/>", "Invalid node"},
        {"<?xml version=\"1.0\"<a/>", "Invalid node"},
        {"<a><![CDATA[x</a>", "Invalid node"},
        {"<!DOCTYPE a <a/", "Invalid node"},
        {"<!DOCTYPE a [ <!ENTITY x 'y'> <a/>", "Invalid node"},
        {"<!", "Invalid node"},
        {"<a", "End of tag not found"},
        {"<a b=\"1\"", "End of tag not found"},
        {"<a></b>", "End tag does not correspond to a"},
        {"<a></>", "End tag does not correspond to a"},
        {"<ab></a>", "End tag does not correspond to ab"},
        {"<a></ab>", "End tag does not correspond to a"},
        {"<Packet><TCP></UDP></Packet>", "End tag does not correspond to TCP"},
        {"<a></a", "End tag not completed for element a"},
        {"<r><inner></inner ", "End tag not completed for element inner"},
        {"<a></a \">\"", "End tag not completed for element a"},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseError(c.doc), c.error) << c.doc;
}

TEST(XmlMarkupParse, EndTagForms) {
    const char* accepted[] = {"<a></a>",      "<a></a >",      "<a></ a>",   "<a></a x=\"1\" y>",
                              "<a></ \"a\">", "<a></a \">\">", "<a>\n</a\n>"};
    for (const char* doc : accepted) {
        CXmlMarkup markup;
        EXPECT_TRUE(markup.Parse(doc)) << doc << ": " << markup.LastError();
    }
}

// "<" followed by blanks and then "?" or "!" is no node; it must end the parse
// instead of being found again forever.
TEST(XmlMarkupParse, BlankBeforeQuestionOrExclamationMarkEndsTheParse) {
    EXPECT_EQ(ParseError("< ?pi?><a/>"), "Invalid node");
    EXPECT_EQ(ParseError("<a>< !-- c --></a>"), "Invalid node");
    EXPECT_EQ(ParseError("<a>\n<\t!x></a>"), "Invalid node");
}

TEST(XmlMarkupParse, DeepNestingNeedsNoCallStack) {
    constexpr int kDepth = 200000;
    std::string doc;
    for (int i = 0; i < kDepth; ++i) doc += "<e>";
    doc += "deep";
    for (int i = 0; i < kDepth; ++i) doc += "</e>";

    CXmlMarkup markup;
    ASSERT_TRUE(markup.Parse(doc.c_str()));
    ASSERT_TRUE(markup.FindElement());
    int depth = 1;
    while (markup.FindChildElement() && markup.EnterElement()) ++depth;
    EXPECT_EQ(depth, kDepth);
    EXPECT_EQ(markup.ElementText(), "deep");

    // The same depth left open fails cleanly.
    doc.resize(static_cast<size_t>(kDepth) * 3 + 4);
    EXPECT_FALSE(markup.Parse(doc.c_str()));
    EXPECT_EQ(markup.LastError(), "Element tag not found");
}

TEST(XmlMarkupParse, TableGrowthKeepsEveryElement) {
    // Far more elements than one per 64 bytes: the table grows many times.
    constexpr int kCount = 5000;
    std::string doc = "<r>";
    for (int i = 0; i < kCount; ++i) {
        doc += "<x n=\"" + std::to_string(i) + "\"/>";
        if (i % 7 == 0) doc += "<y><z/></y>";
    }
    doc += "</r>";

    CXmlMarkup markup;
    ASSERT_TRUE(markup.Parse(doc.c_str()));
    ASSERT_TRUE(markup.FindElement());
    int seen = 0;
    while (markup.FindChildElement("x")) {
        ASSERT_TRUE(markup.EnterElement());
        EXPECT_EQ(markup.AttributeValue("n"), std::to_string(seen));
        ++seen;
        ASSERT_TRUE(markup.LeaveElement());
    }
    EXPECT_EQ(seen, kCount);
}

TEST(XmlMarkupParse, ReparseReplacesTheDocumentAndResetsTheCursor) {
    CXmlMarkup markup;
    ASSERT_TRUE(markup.Parse("<a><b/><c/></a>"));
    ASSERT_TRUE(markup.FindChildElement());
    ASSERT_TRUE(markup.FindChildElement());
    ASSERT_TRUE(markup.EnterElement());
    EXPECT_EQ(markup.ElementName(), "c");

    EXPECT_FALSE(markup.Parse("<a><b></a>"));
    EXPECT_EQ(markup.LastError(), "End tag does not correspond to b");
    EXPECT_FALSE(markup.FindElement());
    EXPECT_FALSE(markup.FindChildElement());
    EXPECT_EQ(markup.ElementName(), "");
    EXPECT_EQ(markup.ElementText(), "");

    ASSERT_TRUE(markup.Parse("<p><q>1</q></p>"));
    ASSERT_TRUE(markup.FindChildElement());
    EXPECT_EQ(markup.ElementName(), "p");
    ASSERT_TRUE(markup.EnterElement());
    EXPECT_EQ(markup.ElementName(), "q");
    EXPECT_EQ(markup.ElementText(), "1");
}

// ---------------------------------------------------------------------------

TEST(XmlMarkupNavigation, FreshDocumentPositionsOnTopThenFirstChild) {
    CXmlMarkup markup;
    ASSERT_TRUE(markup.Parse("<r><first/><second/></r>"));
    EXPECT_EQ(markup.ElementName(), "") << "no current element before a search";
    EXPECT_FALSE(markup.EnterElement());
    EXPECT_FALSE(markup.LeaveElement());
    ASSERT_TRUE(markup.FindChildElement());
    EXPECT_EQ(markup.ElementName(), "r");
    ASSERT_TRUE(markup.EnterElement());
    EXPECT_EQ(markup.ElementName(), "first");
}

TEST(XmlMarkupNavigation, NamedSearchAmongSiblings) {
    CXmlMarkup markup;
    ASSERT_TRUE(markup.Parse("<r><x i=\"1\"/><y/><x i=\"3\"/></r>"));
    ASSERT_TRUE(markup.FindChildElement("x"));
    ASSERT_TRUE(markup.EnterElement());
    EXPECT_EQ(markup.AttributeValue("i"), "1");

    EXPECT_FALSE(markup.FindElement("z"));
    EXPECT_EQ(markup.AttributeValue("i"), "1") << "a failed search moves nothing";
    ASSERT_TRUE(markup.FindElement("x"));
    EXPECT_EQ(markup.AttributeValue("i"), "3");
    EXPECT_FALSE(markup.FindElement("x"));

    // The unnamed search takes every sibling; an empty name is no name.
    ASSERT_TRUE(markup.Parse("<r><x i=\"1\"/><y/><x i=\"3\"/></r>"));
    ASSERT_TRUE(markup.FindChildElement(""));
    ASSERT_TRUE(markup.EnterElement());
    ASSERT_TRUE(markup.FindElement(""));
    EXPECT_EQ(markup.ElementName(), "y");
    ASSERT_TRUE(markup.FindElement(nullptr));
    EXPECT_EQ(markup.AttributeValue("i"), "3");
}

TEST(XmlMarkupNavigation, NamesMatchWholeAndCaseSensitive) {
    CXmlMarkup markup;
    ASSERT_TRUE(markup.Parse("<r><ab/><tcp/><a/><TCP/></r>"));
    ASSERT_TRUE(markup.FindElement());
    EXPECT_FALSE(markup.FindChildElement("abc"));
    ASSERT_TRUE(markup.FindChildElement("a"));
    ASSERT_TRUE(markup.EnterElement());
    EXPECT_EQ(markup.ElementName(), "a");
    ASSERT_TRUE(markup.LeaveElement());
    ASSERT_TRUE(markup.FindChildElement("TCP"));
    ASSERT_TRUE(markup.EnterElement());
    EXPECT_EQ(markup.ElementName(), "TCP");
    ASSERT_TRUE(markup.LeaveElement());
    EXPECT_FALSE(markup.FindChildElement("tcp")) << "tcp lies before the child position";
}

TEST(XmlMarkupNavigation, LeaveThenSearchContinuesWithTheNextSibling) {
    CXmlMarkup markup;
    ASSERT_TRUE(markup.Parse("<r><a><a1/></a><b/><c><c1/><c2/></c></r>"));
    ASSERT_TRUE(markup.FindElement());
    std::vector<std::string> order;
    while (markup.FindChildElement()) {
        ASSERT_TRUE(markup.EnterElement());
        order.push_back(markup.ElementName());
        while (markup.FindChildElement()) {
            ASSERT_TRUE(markup.EnterElement());
            order.push_back(markup.ElementName());
            ASSERT_TRUE(markup.LeaveElement());
        }
        ASSERT_TRUE(markup.LeaveElement());
    }
    EXPECT_EQ(order, (std::vector<std::string>{"a", "a1", "b", "c", "c1", "c2"}));
    EXPECT_EQ(markup.ElementName(), "r");
}

TEST(XmlMarkupNavigation, EnteringWithoutAChildLeavesNoCurrentElement) {
    CXmlMarkup markup;
    ASSERT_TRUE(markup.Parse("<r a=\"1\"><k>t</k></r>"));
    ASSERT_TRUE(markup.FindElement());
    ASSERT_TRUE(markup.EnterElement()) << "entering is allowed with no child position";
    EXPECT_EQ(markup.ElementName(), "");
    EXPECT_EQ(markup.ElementText(), "");
    EXPECT_EQ(markup.AttributeValue("a"), "");
    EXPECT_FALSE(markup.EnterElement());
    // The level is r's children now: the next search finds its first child.
    ASSERT_TRUE(markup.FindElement());
    EXPECT_EQ(markup.ElementName(), "k");
    ASSERT_TRUE(markup.LeaveElement());
    EXPECT_EQ(markup.ElementName(), "r");
    EXPECT_EQ(markup.AttributeValue("a"), "1");
}

// ---------------------------------------------------------------------------

TEST(XmlMarkupText, ContentBetweenTheTags) {
    EXPECT_EQ(TopText("<a/>"), "");
    EXPECT_EQ(TopText("<a></a>"), "");
    EXPECT_EQ(TopText("<a> x </a>"), " x ");
    EXPECT_EQ(TopText("<a><b/>text</a>"), "") << "an element with children has no text";
    EXPECT_EQ(TopText("<a>x<!--c-->y</a>"), "x<!--c-->y");
    EXPECT_EQ(TopText("<a>h\xC3\xA9llo \xE2\x82\xAC</a>"), "h\xC3\xA9llo \xE2\x82\xAC");
    EXPECT_EQ(TopText("<a>line\n\tnext</a>"), "line\n\tnext");
}

TEST(XmlMarkupText, StartTagEndsAtTheFirstGreaterThanSign) {
    CXmlMarkup markup;
    ASSERT_TRUE(markup.Parse("<a b=\">\"></a>"));
    ASSERT_TRUE(markup.FindElement());
    EXPECT_EQ(markup.ElementText(), "\">");
    EXPECT_EQ(markup.AttributeValue("b"), ">");
}

TEST(XmlMarkupText, EntityAndCharacterReferences) {
    EXPECT_EQ(TopText("<a>&lt;&#65;&#x42;&amp;&bogus;</a>"), "<AB&&bogus;");
    EXPECT_EQ(TopText("<a>&lt;&gt;&amp;&apos;&quot;</a>"), "<>&'\"");
    EXPECT_EQ(TopText("<a>&#12345678;</a>"), "&#12345678;") << "eight digits are too many";
    EXPECT_EQ(TopText("<a>&#1234567;x</a>").substr(0, 1), "&") << "no character of that value";
    EXPECT_EQ(TopText("<a>&#0000065;</a>"), "A") << "seven digits still fit";
    EXPECT_EQ(TopText("<a>&#00000065;</a>"), "&#00000065;") << "eight never do";
    EXPECT_EQ(TopText("<a>&#0;&#x0;&#;&#x;</a>"), "&#0;&#x0;&#;&#x;");
    EXPECT_EQ(TopText("<a>&#X41;&LT;&amp</a>"), "&#X41;&LT;&amp") << "case and ';' matter";
    EXPECT_EQ(TopText("<a>&#x4a;&#x4A;&#65x;</a>"), "JJA") << "digits end at a non-digit";
    EXPECT_EQ(TopText("<a>&#-65;&amp;amp;</a>"), "&#-65;&amp;");
    EXPECT_EQ(TopText("<a>a & b &&lt;</a>"), "a & b &<");
}

TEST(XmlMarkupText, ReferenceNeverReachesPastTheText) {
    // The ';' that would close these lies after the end tag.
    CXmlMarkup markup;
    ASSERT_TRUE(markup.Parse("<r><a>&#65</a>;<b>&lt</b>;<c desc=\"&#66\"/>;</r>"));
    ASSERT_TRUE(markup.FindChildElement("a"));
    ASSERT_TRUE(markup.EnterElement());
    EXPECT_EQ(markup.ElementText(), "&#65");
    ASSERT_TRUE(markup.FindElement("b"));
    EXPECT_EQ(markup.ElementText(), "&lt");
    ASSERT_TRUE(markup.FindElement("c"));
    EXPECT_EQ(markup.AttributeValue("desc"), "&#66");
}

TEST(XmlMarkupText, CharacterReferencesInAUtf8Locale) {
    LocaleScope locale("C.UTF-8");
    ASSERT_TRUE(locale.ok());
    EXPECT_EQ(TopText("<a>&#233;&#xe9;</a>"), "\xC3\xA9\xC3\xA9");
    EXPECT_EQ(TopText("<a>&#x20AC;</a>"), "\xE2\x82\xAC");
    EXPECT_EQ(TopText("<a>&#x1F600;</a>"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(TopText("<a>&#x10FFFF;</a>"), "\xF4\x8F\xBF\xBF");
    // No characters: surrogates and values past the last one stay as written.
    EXPECT_EQ(TopText("<a>&#xD800;&#xDFFF;&#x110000;</a>"), "&#xD800;&#xDFFF;&#x110000;");
}

TEST(XmlMarkupText, CharacterReferencesInTheCLocale) {
    LocaleScope locale("C");
    ASSERT_TRUE(locale.ok());
    EXPECT_EQ(TopText("<a>&#65;&#x7E;</a>"), "A~");
    EXPECT_EQ(TopText("<a>&#233;</a>"), "&#233;") << "no form for it in plain ASCII";
}

TEST(XmlMarkupText, CdataSectionIsReturnedRaw) {
    EXPECT_EQ(TopText("<a><![CDATA[x&lt;]]></a>"), "x&lt;");
    EXPECT_EQ(TopText("<a> \n <![CDATA[<b>&amp;</b>]]></a>"), "<b>&amp;</b>");
    EXPECT_EQ(TopText("<a><![CDATA[x]]>tail</a>"), "x") << "text after the section is dropped";
    EXPECT_EQ(TopText("<a><![CDATA[]]></a>"), "");
    EXPECT_EQ(TopText("<a>t<![CDATA[&lt;]]></a>"), "t<![CDATA[<]]>")
        << "not leading: the whole content is decoded";
}

// ---------------------------------------------------------------------------

TEST(XmlMarkupAttributes, QuotedValuesByName) {
    const char* doc =
        "<r><f desc=\"Source Port\" dest='x'>1025</f><g dest=\"Sender IP\"/>"
        "<h  desc = 'a &amp; b&#33;' desc=\"second\" /><i desc=unquoted other=\"o\"/>"
        "<j descr=\"long\" de=\"short\"/><desc x=\"1\"/><k desc=\"\" e=\"/\" q=\"?\" w=\"z\"/>"
        "<t =\"v\"/></r>";
    const struct {
        const char* element;
        const char* attribute;
        const char* value;
    } cases[] = {
        {"f", "desc", "Source Port"},  // the label of a field
        {"f", "dest", "x"},
        {"f", "f", ""},
        {"g", "desc", ""},  // a label in `dest` is no `desc`
        {"g", "dest", "Sender IP"},
        {"h", "desc", "a & b!"},  // blanks around '=', first of two, decoded
        {"i", "desc", ""},        // an unquoted value is never found
        {"i", "other", "o"},
        {"j", "desc", ""},  // neither a longer nor a shorter name matches
        {"j", "de", "short"},
        {"desc", "desc", ""},  // the tag name is no attribute
        {"desc", "x", "1"},
        {"t", "t", ""},
        {"k", "desc", ""},
        {"k", "", ""},
        {"k", "w", "z"},  // quoted '/' and '?' do not end the tag
    };
    for (const auto& c : cases) {
        CXmlMarkup markup;
        ASSERT_TRUE(markup.Parse(doc));
        ASSERT_TRUE(markup.FindElement());
        ASSERT_TRUE(markup.FindChildElement(c.element)) << c.element;
        ASSERT_TRUE(markup.EnterElement());
        EXPECT_EQ(markup.AttributeValue(c.attribute), c.value) << c.element << " " << c.attribute;
        EXPECT_EQ(markup.AttributeValue(nullptr), "");
    }
}

TEST(XmlMarkupAttributes, StartTagEndBoundsTheSearch) {
    CXmlMarkup markup;
    ASSERT_TRUE(markup.Parse("<r a=\"1\"><c b=\"2\"/></r>"));
    EXPECT_EQ(markup.AttributeValue("a"), "") << "no current element yet";
    ASSERT_TRUE(markup.FindElement());
    EXPECT_EQ(markup.AttributeValue("a"), "1");
    EXPECT_EQ(markup.AttributeValue("b"), "") << "a child's attribute is not the parent's";

    ASSERT_TRUE(markup.Parse("<r/ a=\"1\"></r>"));
    ASSERT_TRUE(markup.FindElement());
    EXPECT_EQ(markup.AttributeValue("a"), "");
}

// ---------------------------------------------------------------------------

// Every input kept beside the fuzz target, seeds and found faults alike, goes
// through the fuzz target's walk again.
TEST(XmlMarkupCorpus, EveryKeptInputWalksCleanly) {
    namespace fs = std::filesystem;
    const fs::path source = TAPWATCH_SOURCE_DIR;
    size_t replayed = 0;
    for (const char* dir : {"fuzz/corpus/xml_markup", "fuzz/regressions/xml_markup"}) {
        ASSERT_TRUE(fs::is_directory(source / dir)) << (source / dir);
        for (const auto& entry : fs::directory_iterator(source / dir)) {
            if (!entry.is_regular_file()) continue;
            std::ifstream in(entry.path(), std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            const MarkupWalk walk = WalkMarkup(bytes.str().c_str());
            EXPECT_EQ(walk.problem, "") << entry.path();
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 10u);
}
