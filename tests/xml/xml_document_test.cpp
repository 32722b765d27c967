#include "xml/xml_document.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

namespace talvek {

namespace {

std::string Output(const XmlDocument& doc) {
    return std::string(doc.outputBuffer(), doc.outputLength());
}

std::string Serialise(XmlElement& node, uint32_t flags) {
    std::string out;
    node.write(flags, out);
    return out;
}

void ExpectThrowsWith(const std::function<void()>& f, const std::string& message) {
    try {
        f();
        ADD_FAILURE() << "no exception, expected " << message;
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

}  // namespace

TEST(XmlElementTest, TagLayoutOfLeaves) {
    XmlElement dive("dive", 0, false, false);
    dive.attribute("id") = "3";
    dive.setText("5");
    EXPECT_EQ(Serialise(dive, 0), "<dive id=\"3\" >5</dive >");

    XmlElement empty("dive", 0, false, false);
    empty.attribute("id") = "3";
    EXPECT_EQ(Serialise(empty, 0), "<dive id=\"3\" />");
    EXPECT_EQ(Serialise(empty, XmlDocument::FullEndTags), "<dive id=\"3\" ></dive >");

    XmlElement bare("x", 0, false, false);
    EXPECT_EQ(Serialise(bare, 0), "<x />");
}

TEST(XmlElementTest, TextComesBeforeChildrenAndNamesAreNotEscaped) {
    XmlElement a("talvek:a", 0, false, false);
    a.setText("t&");
    a.addChild("b")->attribute("v") = "1";
    a.addChild("c")->setText("z");
    EXPECT_EQ(Serialise(a, 0), "<talvek:a >t&amp;<b v=\"1\" /><c >z</c ></talvek:a >");
}

TEST(XmlElementTest, EscapesTextAndAttributeValuesOnly) {
    XmlElement n("n", 0, false, false);
    n.setText("a<b & c");
    n.attribute("q") = "it's \"x\" >";
    EXPECT_EQ(Serialise(n, 0), "<n q=\"it&apos;s &quot;x&quot; &gt;\" >a&lt;b &amp; c</n >");

    std::string out;
    escapeXml("&amp;", out);  // an entity is escaped again, not recognised
    EXPECT_EQ(out, "&amp;amp;");

    // Characters an XML document cannot hold become '?'; tab, LF, CR stay.
    out.clear();
    escapeXml(std::string("a\x01\tb\nc\rd\x1F\x7F\x80", 11), out);
    EXPECT_EQ(out, std::string("a?\tb\nc\rd?\x7F\x80"));
    out.clear();
    escapeXml(std::string("\0", 1), out);
    EXPECT_EQ(out, "?");
}

TEST(XmlElementTest, AttributesKeepFirstPositionAndReuseTheirValue) {
    XmlElement n("n", 0, false, false);
    n.attribute("units") = "metric";
    n.attribute("b") = "2";
    std::string& again = n.attribute("units");
    EXPECT_EQ(again, "metric");
    again = "imperial";
    n.attribute("Units") = "case";  // names are case-sensitive
    EXPECT_EQ(n.attributeCount(), 3u);
    EXPECT_EQ(n.attributeAt(1).name, "units");
    EXPECT_EQ(n.attributeAt(1).value, "imperial");
    EXPECT_EQ(n.attributeAt(3).name, "Units");
    EXPECT_EQ(Serialise(n, 0), "<n units=\"imperial\" b=\"2\" Units=\"case\" />");
    // An attribute asked for but never assigned is written with an empty value.
    n.attribute("e");
    EXPECT_EQ(Serialise(n, 0), "<n units=\"imperial\" b=\"2\" Units=\"case\" e=\"\" />");
}

TEST(XmlElementTest, BadAttributeSubscripts) {
    XmlElement n("n", 0, false, false);
    ExpectThrowsWith([&] { n.attribute(""); }, "DCDML::Invalid Attribute Subscript");
    ExpectThrowsWith([&] { n.attributeAt(1); }, "DCDML::Invalid Attribute Subscript");
    n.attribute("a") = "1";
    ExpectThrowsWith([&] { n.attributeAt(0); }, "DCDML::Invalid Attribute Subscript");
    ExpectThrowsWith([&] { n.attributeAt(2); }, "DCDML::Invalid Attribute Subscript");
    ExpectThrowsWith([&] { n.attributeAt(-1); }, "DCDML::Invalid Attribute Subscript");
    EXPECT_EQ(n.attributeAt(1).value, "1");
}

TEST(XmlElementTest, CommentsIgnoreAttributesTextAndChildren) {
    XmlElement root("r", 0, false, false);
    XmlElement* c = root.addComment("  No Dives  ");
    c->attribute("a") = "1";
    c->setText("t");
    c->addChild("k");
    EXPECT_EQ(Serialise(root, 0), "<r ><!--  No Dives  --></r >");
    EXPECT_EQ(Serialise(root, XmlDocument::Indent), "\n<r >\n    <!--  No Dives  -->\n</r >");
}

TEST(XmlDocument, DeclarationForms) {
    XmlDocument doc;
    doc.build();
    EXPECT_EQ(Output(doc), "<?xml version=\"1.0\"?>");
    doc.setFlags(XmlDocument::Utf8);
    doc.build();
    EXPECT_EQ(Output(doc), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    doc.setFlags(XmlDocument::NoEncoding);
    EXPECT_EQ(doc.flags(), 0u);
    doc.setFlags(XmlDocument::FullEndTags);
    doc.build();
    EXPECT_EQ(Output(doc), "<?xml version=\"1.0\"?>\n");
    EXPECT_EQ(doc.outputBuffer()[doc.outputLength()], '\0');
}

TEST(XmlDocument, FlagHandling) {
    XmlDocument doc;
    doc.setFlags(XmlDocument::Utf16);
    doc.setFlags(XmlDocument::Utf8);
    EXPECT_EQ(doc.flags(), XmlDocument::Utf8);
    ExpectThrowsWith([&] { doc.setFlags(0x0F); }, "TDCDML: Both UTF8 and UTF16 specified");
    // The layout bits given in the failing call stay set; the encoding is unchanged.
    EXPECT_EQ(doc.flags(), 0x07u);
    doc.clearFlags(0x01 | 0x04 | 0x10);
    EXPECT_EQ(doc.flags(), 0x02u);
    // NoEncoding after an encoding bit in the same call wins.
    doc.setFlags(XmlDocument::Utf8 | XmlDocument::NoEncoding);
    EXPECT_EQ(doc.flags(), 0x02u);
    XmlElement* root = doc.createRoot("r");
    EXPECT_TRUE(root->indent());
    doc.clearFlags(XmlDocument::Indent);
    EXPECT_FALSE(root->indent());
    doc.setFlags(XmlDocument::FullEndTags);
    EXPECT_TRUE(root->fullEndTags());
}

TEST(XmlDocument, Utf8OneLine) {
    XmlDocument doc;
    doc.setFlags(XmlDocument::Utf8);
    XmlElement* root = doc.createRoot("dcdml");
    root->attribute("version") = "1.0";
    XmlElement* g = root->addChild("generator");
    g->attribute("name") = "Caf\xE9";
    root->addChild("history")->addChild("x")->setText("1");
    doc.build();
    EXPECT_EQ(Output(doc),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<dcdml version=\"1.0\" ><generator name=\"Caf\xC3\xA9\" />"
              "<history ><x >1</x ></history ></dcdml >");
    EXPECT_EQ(doc.outputBuffer()[doc.outputLength()], '\0');
    // The 8-bit text stays as it was.
    EXPECT_NE(doc.text().find("Caf\xE9\""), std::string::npos);
}

TEST(XmlDocument, IndentedLayout) {
    XmlDocument doc;
    doc.setFlags(XmlDocument::Utf8 | XmlDocument::Indent);
    XmlElement* root = doc.createRoot("dcdml");
    XmlElement* a = root->addChild("a");
    a->addChild("leaf")->setText("t");
    a->addChild("empty");
    root->addComment("x");
    root->addChild("b");
    doc.build();
    EXPECT_EQ(Output(doc),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "\n<dcdml >"
              "\n    <a >"
              "\n        <leaf >t</leaf >"
              "\n        <empty />"
              "\n    </a >"
              "\n    <!--x-->"
              "\n    <b />"
              "\n</dcdml >");
}

TEST(XmlDocument, ByteConversions) {
    Latin1ToUtf8 u8("A\xE9\x7F\x80\xFF");
    ASSERT_EQ(u8.length(), 8u);
    EXPECT_EQ(std::string(u8.data(), 9), std::string("A\xC3\xA9\x7F\xC2\x80\xC3\xBF\0", 9));
    auto copy = u8.copy();
    EXPECT_NE(copy.get(), u8.data());
    EXPECT_EQ(std::string(copy.get()), std::string(u8.data()));

    Latin1ToUtf16 u16("A\xE9");
    ASSERT_EQ(u16.length(), 2u);
    EXPECT_EQ(std::string(u16.data(), 6), std::string("A\0\xE9\0\0\0", 6));
}

TEST(XmlDocument, Utf16Output) {
    XmlDocument doc;
    doc.setFlags(XmlDocument::Utf16);
    doc.createRoot("r")->setText("\xE9");
    doc.build();
    std::string decl = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<r >\xE9</r >";
    ASSERT_EQ(doc.outputLength(), 2 * decl.size());
    for (size_t i = 0; i < decl.size(); ++i) {
        EXPECT_EQ(doc.outputBuffer()[2 * i], decl[i]) << i;
        EXPECT_EQ(doc.outputBuffer()[2 * i + 1], '\0') << i;
    }
    EXPECT_EQ(doc.outputBuffer()[2 * decl.size()], '\0');
    EXPECT_EQ(doc.outputBuffer()[2 * decl.size() + 1], '\0');
}

TEST(XmlDocument, CreateRootReplacesTheTreeAndBuildReplacesTheOutput) {
    XmlDocument doc;
    doc.setFlags(XmlDocument::Utf8);
    doc.createRoot("old")->addChild("c");
    doc.build();
    doc.createRoot("new");
    doc.build();
    EXPECT_EQ(Output(doc), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<new />");
    doc.setFlags(XmlDocument::NoEncoding);
    doc.build();  // frees the converted buffer, borrows the text
    EXPECT_EQ(doc.outputBuffer(), doc.text().c_str());
}

}  // namespace talvek
