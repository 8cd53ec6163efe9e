#include "formats/XMLNode.h"

#include <cmath>
#include <istream>
#include <iterator>
#include <limits>
#include <stdexcept>

#include "common/Errors.h"
#include "common/FileIO.h"
#include "formats/LUTFormatImps.h"

namespace tintavo {

namespace {

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameNameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    return true;
}

std::string_view TrimView(std::string_view s) {
    std::size_t first = 0;
    std::size_t last = s.size();
    while (first < last && static_cast<unsigned char>(s[first]) <= 32) ++first;
    while (last > first && static_cast<unsigned char>(s[last - 1]) <= 32) --last;
    return s.substr(first, last - first);
}

bool IsBlank(std::string_view s) { return TrimView(s).empty(); }

// Reads one document: a cursor over the text, consumed from the front.
class TXMLParser {
public:
    explicit TXMLParser(std::string_view text) : text_(text) {}

    bool AtEnd() const { return pos_ >= text_.size(); }

    // Reads the tag of one item into `node` (skipping comments and any text before it).
    // Returns true when the element has content to read (not an empty-bodied tag).
    bool ReadElementHead(TXMLNode& node) {
        for (;;) {
            const std::size_t lt = text_.find('<', pos_);
            if (lt == std::string_view::npos || !StartsAt(lt + 1, "!--")) break;
            SkipPast(text_.find("-->", lt), 3);
        }

        const std::size_t lt = text_.find('<', pos_);
        if (lt == std::string_view::npos) {
            // Stray text after the last element: a nameless node without content.
            pos_ = text_.size();
            return false;
        }
        pos_ = lt + 1;

        std::string tag;
        const std::size_t gt = text_.find('>', pos_);
        if (gt == std::string_view::npos) {
            // No ">": the tag ends at the text's last character.
            const std::size_t rest = text_.size() - pos_;
            tag.assign(text_.substr(pos_, rest > 0 ? rest - 1 : 0));
            pos_ = text_.size();
        } else {
            tag.assign(text_.substr(pos_, gt - pos_));
            pos_ = gt + 1;
        }

        const bool emptyBodied =
            !tag.empty() && (tag.back() == '/' || tag.back() == '?' || tag.front() == '!');
        if (!tag.empty() && (tag.back() == '/' || tag.back() == '?')) tag.pop_back();
        for (char& c : tag)
            if (c == '\r' || c == '\n') c = ' ';

        const std::size_t blank = tag.find(' ');
        if (blank == std::string::npos) {
            node.Name = tag;
        } else {
            node.Name = tag.substr(0, blank);
            const std::string_view rest = TrimView(std::string_view(tag).substr(blank + 1));
            if (!rest.empty()) ReadAttributes(node.Attributes, rest);
        }
        return !emptyBodied;
    }

    // Reads the text and the children of `element` up to its closing tag, and of every element
    // opened inside it, with an explicit stack of open elements.
    void ReadContent(TXMLNode& element) {
        struct TOpen {
            TXMLNode* Node;
            std::string Text;  // text piece collected so far (comments cut out)
        };
        std::vector<TOpen> open;
        element.Value.SetAsString({});
        open.push_back({&element, {}});

        while (!open.empty()) {
            TOpen& top = open.back();
            const std::size_t lt = text_.find('<', pos_);
            if (lt == std::string_view::npos) {
                const std::size_t rest = text_.size() - pos_;
                top.Text.append(text_.substr(pos_, rest > 0 ? rest - 1 : 0));
                pos_ = text_.size();
                FlushText(top.Node->Value, top.Text);
                open.pop_back();
                continue;
            }
            top.Text.append(text_.substr(pos_, lt - pos_));
            pos_ = lt;

            if (StartsAt(lt + 1, "!--")) {
                // A comment neither becomes a node nor splits the text around it.
                SkipPast(text_.find("-->", lt), 3);
                continue;
            }
            FlushText(top.Node->Value, top.Text);

            if (StartsAt(lt + 1, "![CDATA[")) {
                const std::size_t start = lt + 9;
                const std::size_t end = text_.find("]]>", start);
                const std::size_t stop = end == std::string_view::npos ? text_.size() : end;
                top.Node->Value.Append(" ");
                top.Node->Value.Append(text_.substr(start, stop - start));
                SkipPast(end, 3);
            } else if (StartsAt(lt + 1, "/")) {
                // Closing tag; its name is not compared with the element's.
                SkipPast(text_.find('>', lt), 1);
                open.pop_back();
            } else {
                TXMLNode* child = top.Node->AddChild();
                if (ReadElementHead(*child)) {
                    child->Value.SetAsString({});
                    open.push_back({child, {}});  // invalidates `top`
                }
            }
        }
    }

private:
    bool StartsAt(std::size_t at, std::string_view marker) const {
        return at <= text_.size() && text_.substr(at).starts_with(marker);
    }

    // Moves past a marker found at `found` (npos: the rest of the text is consumed).
    void SkipPast(std::size_t found, std::size_t markerLength) {
        pos_ = found == std::string_view::npos ? text_.size() : found + markerLength;
    }

    static void FlushText(TXMLValue& value, std::string& text) {
        if (!IsBlank(text)) value.Append(text);
        text.clear();
    }

    // Pieces are cut at single blanks (tabs are part of a piece); name=value, quotes dropped.
    static void ReadAttributes(TXMLAttributes& attributes, std::string_view text) {
        while (!text.empty()) {
            const std::size_t blank = text.find(' ');
            const std::string_view piece = text.substr(0, blank);
            text = blank == std::string_view::npos ? std::string_view() : text.substr(blank + 1);
            if (piece.empty()) continue;

            const std::size_t eq = piece.find('=');
            std::string_view name = TrimView(piece.substr(0, eq));
            std::string_view value;
            if (eq != std::string_view::npos) {
                value = TrimView(piece.substr(eq + 1));
                if (!value.empty() && (value.front() == '"' || value.front() == '\''))
                    value = value.size() >= 2 ? value.substr(1, value.size() - 2) : std::string_view();
            }
            attributes.Item(name).SetAsString(std::string(value));
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

}  // namespace

// ---------------------------------------------------------------------------------------------

double TXMLValue::AsFloat() const {
    std::string text(TrimView(text_));
    if (text.empty()) return 0.0;
    std::string number = text;
    const std::size_t comma = number.find(',');
    if (comma != std::string::npos) number[comma] = '.';
    double value = 0.0;
    if (!TryStrToFloat(number, value))
        throw EConvertError("'" + text + "' is not a valid floating point value");
    return value;
}

std::int64_t TXMLValue::AsInteger() const {
    const double value = AsFloat();
    if (std::isnan(value)) return 0;
    // 2^63 is exactly representable; anything at or beyond it saturates.
    constexpr double limit = 9223372036854775808.0;
    if (value >= limit) return std::numeric_limits<std::int64_t>::max();
    if (value < -limit) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(std::nearbyint(value));
}

// ---------------------------------------------------------------------------------------------

namespace {
constexpr std::size_t IndexedAttributeCount = 16;

std::string UpperKey(std::string_view name) {
    std::string key(name);
    for (char& c : key) c = UpperAscii(c);
    return key;
}
}  // namespace

const TXMLValue* TXMLAttributes::Find(std::string_view name) const {
    if (!index_.empty()) {
        const auto it = index_.find(UpperKey(name));
        return it == index_.end() ? nullptr : &items_[it->second].second;
    }
    for (const auto& item : items_)
        if (SameNameNoCase(item.first, name)) return &item.second;
    return nullptr;
}

TXMLValue& TXMLAttributes::Item(std::string_view name) {
    if (const TXMLValue* found = Find(name)) return const_cast<TXMLValue&>(*found);
    items_.emplace_back(std::string(name), TXMLValue());
    if (!index_.empty()) {
        index_.emplace(UpperKey(name), items_.size() - 1);
    } else if (items_.size() >= IndexedAttributeCount) {
        for (std::size_t i = 0; i < items_.size(); ++i) index_.emplace(UpperKey(items_[i].first), i);
    }
    return items_.back().second;
}

bool TXMLAttributes::Has(std::string_view name) const { return Find(name) != nullptr; }

// ---------------------------------------------------------------------------------------------

TXMLNode::~TXMLNode() { FreeChildren(); }

void TXMLNode::FreeChildren() {
    // Detach grandchildren before each node dies, so a deep tree never recurses.
    std::vector<std::unique_ptr<TXMLNode>> doomed = std::move(children_);
    children_.clear();
    while (!doomed.empty()) {
        std::unique_ptr<TXMLNode> node = std::move(doomed.back());
        doomed.pop_back();
        for (auto& child : node->children_) doomed.push_back(std::move(child));
        node->children_.clear();
    }
}

void TXMLNode::LoadFromFile(const std::string& fileName) {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(fileName);
    Parse(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void TXMLNode::LoadFromStream(std::istream& stream) {
    Clear();
    const std::string text{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    Parse(text);
}

void TXMLNode::Parse(std::string_view text) {
    Clear();
    TXMLParser parser(text);
    while (!parser.AtEnd()) {
        TXMLNode* item = AddChild();
        if (parser.ReadElementHead(*item)) parser.ReadContent(*item);
    }
}

void TXMLNode::Clear() {
    Name.clear();
    Attributes.Clear();
    FreeChildren();
}

TXMLNode* TXMLNode::AddChild() {
    children_.push_back(std::make_unique<TXMLNode>());
    return children_.back().get();
}

TXMLNode* TXMLNode::FindChildOrNull(std::string_view name) const {
    for (const auto& child : children_)
        if (SameNameNoCase(child->Name, name)) return child.get();
    return nullptr;
}

TXMLNode& TXMLNode::FindChild(std::string_view name) const {
    TXMLNode* child = FindChildOrNull(name);
    if (child == nullptr) throw std::runtime_error("The \"" + std::string(name) + "\" node is not found");
    return *child;
}

bool TXMLNode::HasChild(std::string_view name) const { return FindChildOrNull(name) != nullptr; }

}  // namespace tintavo
