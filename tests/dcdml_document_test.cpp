#include "dcdml/dcdml_document.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

namespace {

std::string Output(const DCDMLDocument& doc) {
    return std::string(doc.OutputBuffer(), doc.OutputLength());
}

std::string Serialise(DCDML_Node_class& node, uint32_t flags) {
    std::string out;
    node.Write(flags, out);
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

TEST(DCDMLNode, TagLayoutOfLeaves) {
    DCDML_Node_class dive("dive", 0, false, false);
    dive.Attribute("id") = "3";
    dive.SetText("5");
    EXPECT_EQ(Serialise(dive, 0), "<dive id=\"3\" >5</dive >");

    DCDML_Node_class empty("dive", 0, false, false);
    empty.Attribute("id") = "3";
    EXPECT_EQ(Serialise(empty, 0), "<dive id=\"3\" />");
    EXPECT_EQ(Serialise(empty, DCDMLDocument::FullEndTags), "<dive id=\"3\" ></dive >");

    DCDML_Node_class bare("x", 0, false, false);
    EXPECT_EQ(Serialise(bare, 0), "<x />");
}

TEST(DCDMLNode, TextComesBeforeChildrenAndNamesAreNotEscaped) {
    DCDML_Node_class a("talvek:a", 0, false, false);
    a.SetText("t&");
    a.AddChild("b")->Attribute("v") = "1";
    a.AddChild("c")->SetText("z");
    EXPECT_EQ(Serialise(a, 0), "<talvek:a >t&amp;<b v=\"1\" /><c >z</c ></talvek:a >");
}

TEST(DCDMLNode, EscapesTextAndAttributeValuesOnly) {
    DCDML_Node_class n("n", 0, false, false);
    n.SetText("a<b & c");
    n.Attribute("q") = "it's \"x\" >";
    EXPECT_EQ(Serialise(n, 0), "<n q=\"it&apos;s &quot;x&quot; &gt;\" >a&lt;b &amp; c</n >");

    std::string out;
    DCDMLEscape("&amp;", out);  // an entity is escaped again, not recognised
    EXPECT_EQ(out, "&amp;amp;");

    // Characters an XML document cannot hold become '?'; tab, LF, CR stay.
    out.clear();
    DCDMLEscape(std::string("a\x01\tb\nc\rd\x1F\x7F\x80", 11), out);
    EXPECT_EQ(out, std::string("a?\tb\nc\rd?\x7F\x80"));
    out.clear();
    DCDMLEscape(std::string("\0", 1), out);
    EXPECT_EQ(out, "?");
}

TEST(DCDMLNode, AttributesKeepFirstPositionAndReuseTheirValue) {
    DCDML_Node_class n("n", 0, false, false);
    n.Attribute("units") = "metric";
    n.Attribute("b") = "2";
    std::string& again = n.Attribute("units");
    EXPECT_EQ(again, "metric");
    again = "imperial";
    n.Attribute("Units") = "case";  // names are case-sensitive
    EXPECT_EQ(n.AttributeCount(), 3u);
    EXPECT_EQ(n.AttributeAt(1).name, "units");
    EXPECT_EQ(n.AttributeAt(1).value, "imperial");
    EXPECT_EQ(n.AttributeAt(3).name, "Units");
    EXPECT_EQ(Serialise(n, 0), "<n units=\"imperial\" b=\"2\" Units=\"case\" />");
    // An attribute asked for but never assigned is written with an empty value.
    n.Attribute("e");
    EXPECT_EQ(Serialise(n, 0), "<n units=\"imperial\" b=\"2\" Units=\"case\" e=\"\" />");
}

TEST(DCDMLNode, BadAttributeSubscripts) {
    DCDML_Node_class n("n", 0, false, false);
    ExpectThrowsWith([&] { n.Attribute(""); }, "DCDML::Invalid Attribute Subscript");
    ExpectThrowsWith([&] { n.AttributeAt(1); }, "DCDML::Invalid Attribute Subscript");
    n.Attribute("a") = "1";
    ExpectThrowsWith([&] { n.AttributeAt(0); }, "DCDML::Invalid Attribute Subscript");
    ExpectThrowsWith([&] { n.AttributeAt(2); }, "DCDML::Invalid Attribute Subscript");
    ExpectThrowsWith([&] { n.AttributeAt(-1); }, "DCDML::Invalid Attribute Subscript");
    EXPECT_EQ(n.AttributeAt(1).value, "1");
}

TEST(DCDMLNode, CommentsIgnoreAttributesTextAndChildren) {
    DCDML_Node_class root("r", 0, false, false);
    DCDML_Node_class* c = root.AddComment("  No Dives  ");
    c->Attribute("a") = "1";
    c->SetText("t");
    c->AddChild("k");
    EXPECT_EQ(Serialise(root, 0), "<r ><!--  No Dives  --></r >");
    EXPECT_EQ(Serialise(root, DCDMLDocument::Indent), "\n<r >\n    <!--  No Dives  -->\n</r >");
}

TEST(DCDMLDocument, DeclarationForms) {
    DCDMLDocument doc;
    doc.Build();
    EXPECT_EQ(Output(doc), "<?xml version=\"1.0\"?>");
    doc.SetFlags(DCDMLDocument::Utf8);
    doc.Build();
    EXPECT_EQ(Output(doc), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    doc.SetFlags(DCDMLDocument::NoEncoding);
    EXPECT_EQ(doc.Flags(), 0u);
    doc.SetFlags(DCDMLDocument::FullEndTags);
    doc.Build();
    EXPECT_EQ(Output(doc), "<?xml version=\"1.0\"?>\n");
    EXPECT_EQ(doc.OutputBuffer()[doc.OutputLength()], '\0');
}

TEST(DCDMLDocument, FlagHandling) {
    DCDMLDocument doc;
    doc.SetFlags(DCDMLDocument::Utf16);
    doc.SetFlags(DCDMLDocument::Utf8);
    EXPECT_EQ(doc.Flags(), DCDMLDocument::Utf8);
    ExpectThrowsWith([&] { doc.SetFlags(0x0F); }, "TDCDML: Both UTF8 and UTF16 specified");
    // The layout bits given in the failing call stay set; the encoding is unchanged.
    EXPECT_EQ(doc.Flags(), 0x07u);
    doc.ClearFlags(0x01 | 0x04 | 0x10);
    EXPECT_EQ(doc.Flags(), 0x02u);
    // NoEncoding after an encoding bit in the same call wins.
    doc.SetFlags(DCDMLDocument::Utf8 | DCDMLDocument::NoEncoding);
    EXPECT_EQ(doc.Flags(), 0x02u);
    DCDML_Node_class* root = doc.CreateRoot("r");
    EXPECT_TRUE(root->indent());
    doc.ClearFlags(DCDMLDocument::Indent);
    EXPECT_FALSE(root->indent());
    doc.SetFlags(DCDMLDocument::FullEndTags);
    EXPECT_TRUE(root->fullEndTags());
}

TEST(DCDMLDocument, Utf8OneLine) {
    DCDMLDocument doc;
    doc.SetFlags(DCDMLDocument::Utf8);
    DCDML_Node_class* root = doc.CreateRoot("dcdml");
    root->Attribute("version") = "1.0";
    DCDML_Node_class* g = root->AddChild("generator");
    g->Attribute("name") = "Caf\xE9";
    root->AddChild("history")->AddChild("x")->SetText("1");
    doc.Build();
    EXPECT_EQ(Output(doc),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<dcdml version=\"1.0\" ><generator name=\"Caf\xC3\xA9\" />"
              "<history ><x >1</x ></history ></dcdml >");
    EXPECT_EQ(doc.OutputBuffer()[doc.OutputLength()], '\0');
    // The 8-bit text stays as it was.
    EXPECT_NE(doc.Text().find("Caf\xE9\""), std::string::npos);
}

TEST(DCDMLDocument, IndentedLayout) {
    DCDMLDocument doc;
    doc.SetFlags(DCDMLDocument::Utf8 | DCDMLDocument::Indent);
    DCDML_Node_class* root = doc.CreateRoot("dcdml");
    DCDML_Node_class* a = root->AddChild("a");
    a->AddChild("leaf")->SetText("t");
    a->AddChild("empty");
    root->AddComment("x");
    root->AddChild("b");
    doc.Build();
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

TEST(DCDMLDocument, ByteConversions) {
    AnsiToUtf8 u8("A\xE9\x7F\x80\xFF");
    ASSERT_EQ(u8.length(), 8u);
    EXPECT_EQ(std::string(u8.data(), 9), std::string("A\xC3\xA9\x7F\xC2\x80\xC3\xBF\0", 9));
    auto copy = u8.Copy();
    EXPECT_NE(copy.get(), u8.data());
    EXPECT_EQ(std::string(copy.get()), std::string(u8.data()));

    AnsiToUtf16 u16("A\xE9");
    ASSERT_EQ(u16.length(), 2u);
    EXPECT_EQ(std::string(u16.data(), 6), std::string("A\0\xE9\0\0\0", 6));
}

TEST(DCDMLDocument, Utf16Output) {
    DCDMLDocument doc;
    doc.SetFlags(DCDMLDocument::Utf16);
    doc.CreateRoot("r")->SetText("\xE9");
    doc.Build();
    std::string decl = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<r >\xE9</r >";
    ASSERT_EQ(doc.OutputLength(), 2 * decl.size());
    for (size_t i = 0; i < decl.size(); ++i) {
        EXPECT_EQ(doc.OutputBuffer()[2 * i], decl[i]) << i;
        EXPECT_EQ(doc.OutputBuffer()[2 * i + 1], '\0') << i;
    }
    EXPECT_EQ(doc.OutputBuffer()[2 * decl.size()], '\0');
    EXPECT_EQ(doc.OutputBuffer()[2 * decl.size() + 1], '\0');
}

TEST(DCDMLDocument, CreateRootReplacesTheTreeAndBuildReplacesTheOutput) {
    DCDMLDocument doc;
    doc.SetFlags(DCDMLDocument::Utf8);
    doc.CreateRoot("old")->AddChild("c");
    doc.Build();
    doc.CreateRoot("new");
    doc.Build();
    EXPECT_EQ(Output(doc), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<new />");
    doc.SetFlags(DCDMLDocument::NoEncoding);
    doc.Build();  // frees the converted buffer, borrows the text
    EXPECT_EQ(doc.OutputBuffer(), doc.Text().c_str());
}
