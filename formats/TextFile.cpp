#include "formats/TextFile.h"

#include "common/FileIO.h"

#include <algorithm>
#include <cstring>

namespace tintavo {

void TTextFile::LoadFromFile(const std::string& fileName) {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(fileName);
    SetText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void TTextFile::SetText(std::string_view text) {
    Lines.clear();
    // A NUL byte ends the text, as in a C string.
    const auto nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    std::size_t pos = 0;
    const std::size_t n = text.size();
    Lines.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    while (pos < n) {
        std::size_t end = pos;
        while (end < n && text[end] != '\n' && text[end] != '\r') ++end;
        Lines.emplace_back(text.substr(pos, end - pos));
        // CR, LF and CR LF each end one line.
        if (end < n && text[end] == '\r') {
            ++end;
            if (end < n && text[end] == '\n') ++end;
        } else if (end < n) {
            ++end;
        }
        pos = end;
    }
}

std::string TTextFile::Text() const {
    std::size_t total = 0;
    for (const auto& line : Lines) total += line.size() + LineBreak.size();
    std::string text;
    text.reserve(total);
    for (const auto& line : Lines) {
        text += line;
        text += LineBreak;
    }
    return text;
}

void TTextFile::WriteToFile(const std::string& fileName) const {
    WriteFileAtomically(fileName, Text());
}

}  // namespace tintavo
