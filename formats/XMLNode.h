// TXMLNode: a small, forgiving XML reader for the XML-based LUT layouts.
//
// It turns a file into a tree of nodes that callers walk by element name. It reads only, never
// validates, does not decode entities ("&amp;" stays "&amp;"), does not check that closing tags
// match their elements and works on the file's bytes as they are. Malformed input gives a tree,
// never an error: unclosed elements end at the end of the text, a tag without ">" ends at the
// text's last character.
//
// The parser keeps its own stack of open elements instead of recursing, and the tree is freed
// without recursion, so nesting depth is bounded by memory only, never by the call stack.
//
//   <?xml version="1.0"?>               document node (no name)
//   <LUT3D name='a' N='17'>               +- "?xml"   attribute version
//     <values>0 0 0                       +- "LUT3D"  attributes name, N
//     ...</values>                        |    +- "values"  value "0 0 0\n..."
//   </LUT3D>                              +- ""  (the final line break)
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tintavo {

// The text of an element or an attribute, with numeric views.
class TXMLValue {
public:
    const std::string& AsString() const { return text_; }
    void SetAsString(std::string text) { text_ = std::move(text); }
    void Append(std::string_view text) { text_.append(text); }

    // The text trimmed, "" read as "0", the first "." and the first "," both taken as the
    // decimal point. Raises EConvertError "'<text>' is not a valid floating point value".
    double AsFloat() const;
    // AsFloat rounded to the nearest integer, halves to even. Values beyond the 64-bit range
    // saturate at its ends; a NaN gives 0.
    std::int64_t AsInteger() const;

private:
    std::string text_;
};

// Ordered (name, value) pairs; names compare case-insensitively (ASCII letters).
class TXMLAttributes {
public:
    // The value of the named attribute; a missing one is appended first with an empty value,
    // so it reads as "" or 0.
    TXMLValue& Item(std::string_view name);
    // True when an attribute of that name exists (does not create one).
    bool Has(std::string_view name) const;
    void Clear() {
        items_.clear();
        index_.clear();
    }

    std::size_t Count() const { return items_.size(); }
    const std::string& NameAt(std::size_t index) const { return items_[index].first; }
    const TXMLValue& ValueAt(std::size_t index) const { return items_[index].second; }

private:
    const TXMLValue* Find(std::string_view name) const;

    std::vector<std::pair<std::string, TXMLValue>> items_;
    // Upper-cased name -> position, built once a tag carries many attributes, so that a
    // hostile tag with a million attributes is not read in quadratic time.
    std::unordered_map<std::string, std::size_t> index_;
};

class TXMLNode {
public:
    TXMLNode() = default;
    TXMLNode(const TXMLNode&) = delete;
    TXMLNode& operator=(const TXMLNode&) = delete;
    ~TXMLNode();

    std::string Name;  // as written in the file; empty for the document node and stray text
    TXMLValue Value;   // the element's text content
    TXMLAttributes Attributes;

    // Reads the whole file and parses it. Raises EFileError naming the file and the reason.
    void LoadFromFile(const std::string& fileName);
    // Reads the whole stream and parses it.
    void LoadFromStream(std::istream& stream);
    // Makes this node the document node of `text`: its children are the top-level items.
    void Parse(std::string_view text);

    // Empties the name, removes all attributes, frees all children.
    void Clear();
    TXMLNode* AddChild();
    std::size_t ChildCount() const { return children_.size(); }
    TXMLNode& Child(std::size_t index) const { return *children_[index]; }

    // The first direct child whose name equals `name` (ASCII case-insensitive). Raises
    // std::runtime_error `The "name" node is not found` when there is none.
    TXMLNode& FindChild(std::string_view name) const;
    bool HasChild(std::string_view name) const;

private:
    TXMLNode* FindChildOrNull(std::string_view name) const;
    void FreeChildren();

    std::vector<std::unique_ptr<TXMLNode>> children_;
};

}  // namespace tintavo
