// The forgiving XML reader: tree shape, attributes, text, CDATA, comments, malformed input.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>

#include "common/Errors.h"
#include "formats/XMLNode.h"

namespace tintavo {
namespace {

std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(XMLNodeTest, AttributesAreCaseInsensitiveAndCreatedOnDemand) {
    TXMLNode doc;
    doc.Parse("<LUT3D name='a' N='17' BitDepth='16'>\n</LUT3D>");
    ASSERT_EQ(doc.ChildCount(), 1u);
    TXMLNode& lut = doc.Child(0);
    EXPECT_EQ(lut.Name, "LUT3D");
    ASSERT_EQ(lut.Attributes.Count(), 3u);
    EXPECT_EQ(lut.Attributes.NameAt(2), "BitDepth");
    EXPECT_EQ(lut.Attributes.Item("n").AsString(), "17");
    EXPECT_EQ(lut.Attributes.Item("bitdepth").AsInteger(), 16);
    EXPECT_EQ(lut.Attributes.Item("NAME").AsString(), "a");

    EXPECT_FALSE(lut.Attributes.Has("size"));
    EXPECT_EQ(lut.Attributes.Item("size").AsInteger(), 0);
    EXPECT_EQ(lut.Attributes.Item("size").AsFloat(), 0.0);
    EXPECT_TRUE(lut.Attributes.Has("size"));
    EXPECT_EQ(lut.Attributes.Count(), 4u);
}

TEST(XMLNodeTest, AttributeQuotingAndSplitting) {
    TXMLNode doc;
    // Double and single quotes read the same; a piece without "=" has an empty value; a
    // repeated name (in any case) replaces the value; tabs do not separate attributes;
    // entities stay literal.
    doc.Parse("<e a=\"1\" b='1' flag A=2 c=&amp;x d=\"\" t=1\tu=2/>");
    TXMLNode& e = doc.Child(0);
    EXPECT_EQ(e.Name, "e");
    EXPECT_EQ(e.Attributes.Item("a").AsString(), "2");
    EXPECT_EQ(e.Attributes.Item("b").AsString(), "1");
    EXPECT_TRUE(e.Attributes.Has("flag"));
    EXPECT_EQ(e.Attributes.Item("flag").AsString(), "");
    EXPECT_EQ(e.Attributes.Item("c").AsString(), "&amp;x");
    EXPECT_EQ(e.Attributes.Item("d").AsString(), "");
    EXPECT_EQ(e.Attributes.Item("t").AsString(), "1\tu=2");
    EXPECT_EQ(e.ChildCount(), 0u);

    // Line breaks inside a tag separate attributes like blanks.
    doc.Parse("<e\r\n x='1'\ny='2'></e>");
    EXPECT_EQ(doc.Child(0).Name, "e");
    EXPECT_EQ(doc.Child(0).Attributes.Item("y").AsInteger(), 2);
}

TEST(XMLNodeTest, ManyAttributesStayOrderedAndFindable) {
    std::string tag = "<e";
    for (int i = 0; i < 200; ++i) tag += " k" + std::to_string(i) + "='" + std::to_string(i) + "'";
    tag += " K7='x'/>";
    TXMLNode doc;
    doc.Parse(tag);
    TXMLAttributes& a = doc.Child(0).Attributes;
    ASSERT_EQ(a.Count(), 200u);
    EXPECT_EQ(a.NameAt(150), "k150");
    EXPECT_EQ(a.Item("K150").AsInteger(), 150);
    EXPECT_EQ(a.Item("k7").AsString(), "x");
    a.Item("new");
    EXPECT_EQ(a.Count(), 201u);
    EXPECT_TRUE(a.Has("NEW"));
    a.Clear();
    EXPECT_EQ(a.Count(), 0u);
    EXPECT_FALSE(a.Has("k1"));
}

TEST(XMLNodeTest, FindChildSearchesDirectChildrenOnly) {
    TXMLNode doc;
    doc.Parse("<LUT3D><inner><values>1</values></inner></LUT3D>");
    TXMLNode& lut = doc.FindChild("lut3d");
    EXPECT_EQ(lut.Name, "LUT3D");
    EXPECT_TRUE(lut.HasChild("INNER"));
    EXPECT_FALSE(lut.HasChild("values"));
    EXPECT_EQ(ErrorOf([&] { lut.FindChild("values"); }), "The \"values\" node is not found");
    EXPECT_EQ(lut.FindChild("inner").FindChild("Values").Value.AsInteger(), 1);
    EXPECT_THROW(doc.FindChild("Nothing"), std::runtime_error);
}

TEST(XMLNodeTest, TextIsKeptUntrimmedAndReadAsNumbers) {
    TXMLNode doc;
    doc.Parse("<r><a> 1.5 </a><b>1,5</b><c></c><d>2.5</d><e>3.5</e><f>x1</f><g>-1e3</g></r>");
    TXMLNode& r = doc.Child(0);
    EXPECT_EQ(r.FindChild("a").Value.AsString(), " 1.5 ");
    EXPECT_DOUBLE_EQ(r.FindChild("a").Value.AsFloat(), 1.5);
    EXPECT_DOUBLE_EQ(r.FindChild("b").Value.AsFloat(), 1.5);
    EXPECT_EQ(r.FindChild("c").Value.AsString(), "");
    EXPECT_EQ(r.FindChild("c").Value.AsFloat(), 0.0);
    // Halves round to the even neighbour.
    EXPECT_EQ(r.FindChild("d").Value.AsInteger(), 2);
    EXPECT_EQ(r.FindChild("e").Value.AsInteger(), 4);
    EXPECT_EQ(r.FindChild("g").Value.AsInteger(), -1000);
    EXPECT_EQ(ErrorOf([&] { r.FindChild("f").Value.AsFloat(); }), "'x1' is not a valid floating point value");
    EXPECT_THROW(r.FindChild("f").Value.AsInteger(), EConvertError);

    TXMLValue v;
    v.SetAsString("1.5,2");  // two decimal points
    EXPECT_THROW(v.AsFloat(), EConvertError);
    v.SetAsString("1e300");
    EXPECT_EQ(v.AsInteger(), INT64_MAX);
    v.SetAsString("-1e300");
    EXPECT_EQ(v.AsInteger(), INT64_MIN);
}

TEST(XMLNodeTest, MultiLineTextKeepsItsLineBreaks) {
    TXMLNode doc;
    doc.Parse("<values>\n0 0 0\r\n1 2 3\n</values>");
    EXPECT_EQ(doc.Child(0).Value.AsString(), "\n0 0 0\r\n1 2 3\n");
}

TEST(XMLNodeTest, CdataIsAppendedAfterOneBlank) {
    TXMLNode doc;
    doc.Parse("<a><![CDATA[x]]></a><b>t<![CDATA[<not a tag>]]>u</b><c><![CDATA[open");
    EXPECT_EQ(doc.Child(0).Value.AsString(), " x");
    EXPECT_EQ(doc.Child(1).Value.AsString(), "t <not a tag>u");
    EXPECT_EQ(doc.Child(1).ChildCount(), 0u);
    // An unterminated section runs to the end of the text.
    EXPECT_EQ(doc.Child(2).Value.AsString(), " open");
}

TEST(XMLNodeTest, DocumentTopLevelItems) {
    TXMLNode doc;
    doc.Parse("<?xml version=\"1.0\"?>\n<!DOCTYPE lut>\n<root a='1'>\n  <x/>\n</root>\n");
    ASSERT_EQ(doc.ChildCount(), 4u);
    EXPECT_EQ(doc.Name, "");
    EXPECT_EQ(doc.Child(0).Name, "?xml");
    EXPECT_EQ(doc.Child(0).Attributes.Item("version").AsString(), "1.0");
    EXPECT_EQ(doc.Child(1).Name, "!DOCTYPE");
    EXPECT_EQ(doc.Child(2).Name, "root");
    EXPECT_EQ(doc.Child(2).ChildCount(), 1u);
    EXPECT_EQ(doc.Child(2).Value.AsString(), "");  // blank pieces between children are dropped
    EXPECT_EQ(doc.Child(3).Name, "");                // the final line break
    EXPECT_EQ(doc.Child(3).ChildCount(), 0u);

    doc.Parse("<?xml version=\"1.0\"?><root/>\n");
    EXPECT_EQ(doc.ChildCount(), 3u);
}

TEST(XMLNodeTest, ClosingTagsAreNotMatched) {
    TXMLNode doc;
    doc.Parse("<a><b>text</c></a><d/>");
    ASSERT_EQ(doc.ChildCount(), 2u);
    TXMLNode& a = doc.Child(0);
    EXPECT_EQ(a.Name, "a");
    ASSERT_EQ(a.ChildCount(), 1u);
    EXPECT_EQ(a.Child(0).Name, "b");
    EXPECT_EQ(a.Child(0).Value.AsString(), "text");
    EXPECT_EQ(doc.Child(1).Name, "d");
}

TEST(XMLNodeTest, CommentsAreSkippedEverywhere) {
    TXMLNode doc;
    doc.Parse(
        "<!-- head --><!-- second > with angle -->\n"
        "<r><!--before--><a>1 2<!-- in <b> text -->3 4<!--end--></a>\n"
        "<!-- between --><b>5</b></r><!-- tail -->");
    ASSERT_GE(doc.ChildCount(), 1u);
    TXMLNode& r = doc.Child(0);
    EXPECT_EQ(r.Name, "r");
    ASSERT_EQ(r.ChildCount(), 2u);
    EXPECT_EQ(r.Child(0).Name, "a");
    EXPECT_EQ(r.Child(0).Value.AsString(), "1 23 4");
    EXPECT_EQ(r.Child(0).ChildCount(), 0u);
    EXPECT_EQ(r.Child(1).Name, "b");
    EXPECT_EQ(r.Child(1).Value.AsInteger(), 5);
    for (std::size_t i = 0; i < doc.ChildCount(); ++i) EXPECT_EQ(doc.Child(i).Name.find("!--"), std::string::npos);

    // An unterminated comment swallows the rest of the text.
    doc.Parse("<r>1<!-- never closed <x/></r>");
    EXPECT_EQ(doc.Child(0).ChildCount(), 0u);
    EXPECT_EQ(doc.Child(0).Value.AsString(), "1");
}

TEST(XMLNodeTest, MalformedInputGivesATree) {
    TXMLNode doc;
    // Unclosed elements end at the end of the text.
    doc.Parse("<a><b><c>12");
    ASSERT_EQ(doc.ChildCount(), 1u);
    EXPECT_EQ(doc.Child(0).Child(0).Child(0).Name, "c");
    EXPECT_EQ(doc.Child(0).Child(0).Child(0).Value.AsString(), "1");  // the last character goes

    // A tag without ">" ends at the text's last character.
    doc.Parse("<a x='1' y=22");
    ASSERT_EQ(doc.ChildCount(), 1u);
    EXPECT_EQ(doc.Child(0).Name, "a");
    EXPECT_EQ(doc.Child(0).Attributes.Item("y").AsString(), "2");

    // Stray text after the last element becomes a nameless child.
    doc.Parse("<a/>stray");
    ASSERT_EQ(doc.ChildCount(), 2u);
    EXPECT_EQ(doc.Child(1).Name, "");

    for (const char* text : {"", "<", ">", "<>", "</>", "<!", "<!--", "<![CDATA[", "<a", "<a/", "a<", "<<<>>>"}) {
        doc.Parse(text);
        EXPECT_LE(doc.ChildCount(), 4u) << text;
    }
    doc.Parse("");
    EXPECT_EQ(doc.ChildCount(), 0u);
}

TEST(XMLNodeTest, DeepNestingNeitherRecursesNorOverflows) {
    // 300000 open elements: a recursive parser or destructor would exhaust the stack.
    const int depth = 300'000;
    std::string text;
    text.reserve(depth * 3 + 16);
    for (int i = 0; i < depth; ++i) text += "<a>";
    text += "x!";
    auto doc = std::make_unique<TXMLNode>();
    doc->Parse(text);
    const TXMLNode* node = doc.get();
    int levels = 0;
    while (node->ChildCount() > 0) {
        node = &node->Child(0);
        ++levels;
    }
    EXPECT_EQ(levels, depth);
    EXPECT_EQ(node->Value.AsString(), "x");
    doc->Parse("<b/>");  // frees the deep tree
    EXPECT_EQ(doc->ChildCount(), 1u);
    doc->Parse(text);
    doc.reset();  // and the destructor frees it too
}

TEST(XMLNodeTest, RandomBytesNeverBreakTheReader) {
    // Garbage built from the characters the reader reacts to, plus arbitrary bytes (NUL
    // included): every text must give a tree, and every node must be reachable.
    std::string alphabet = "<>/?!-[]CDAT=\"' \r\n\tab";
    alphabet += '\0';
    alphabet += '\xff';
    std::mt19937 random(12345);
    TXMLNode doc;
    for (int round = 0; round < 3000; ++round) {
        std::string text(random() % 200, ' ');
        for (char& c : text) c = random() % 4 == 0 ? static_cast<char>(random()) : alphabet[random() % alphabet.size()];
        doc.Parse(text);
        std::size_t nodes = 0;
        std::vector<const TXMLNode*> pending{&doc};
        while (!pending.empty()) {
            const TXMLNode* n = pending.back();
            pending.pop_back();
            ++nodes;
            for (std::size_t i = 0; i < n->ChildCount(); ++i) pending.push_back(&n->Child(i));
        }
        ASSERT_LE(nodes, text.size() + 1) << "round " << round;
    }
}

TEST(XMLNodeTest, LoadFromStreamAndFile) {
    std::istringstream stream("<a>1</a>");
    TXMLNode doc;
    doc.Name = "old";
    doc.AddChild();
    doc.AddChild();
    doc.LoadFromStream(stream);
    EXPECT_EQ(doc.Name, "");
    ASSERT_EQ(doc.ChildCount(), 1u);
    EXPECT_EQ(doc.Child(0).Value.AsInteger(), 1);

    EXPECT_THROW(doc.LoadFromFile("/nonexistent/folder/file.xml"), EFileError);

    doc.Clear();
    EXPECT_EQ(doc.ChildCount(), 0u);
}

}  // namespace
}  // namespace tintavo
