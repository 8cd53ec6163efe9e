#include "formats/TextLayout.h"

#include <filesystem>

#include "formats/LUTFormat.h"

namespace tintavo {

namespace {

std::size_t FirstNonBlank(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && static_cast<unsigned char>(line[i]) <= 32) ++i;
    return i;
}

std::string_view TrimBlanks(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
    return s.substr(b, e - b);
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool IsBlankLine(std::string_view line) { return FirstNonBlank(line) == line.size(); }

bool IsCommentLine(std::string_view line) {
    const std::size_t i = FirstNonBlank(line);
    return i < line.size() && line[i] == '#';
}

std::string CommentText(std::string_view line) {
    const std::size_t hash = line.find('#');
    return hash == std::string_view::npos ? std::string() : std::string(TrimBlanks(line.substr(hash + 1)));
}

std::vector<std::string> CommentLines(const std::string& comment) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = comment.find_first_of("\r\n", start);
        lines.push_back("# " + comment.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return lines;
        start = end + ((comment[end] == '\r' && end + 1 < comment.size() && comment[end + 1] == '\n') ? 2 : 1);
    }
}

std::string BaseNameWithoutExtension(const std::string& fileName) {
    return std::filesystem::path(fileName).stem().string();
}

bool HasExtension(const std::string& fileName, std::string_view extension) {
    const std::string name = std::filesystem::path(fileName).filename().string();
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.size() - dot != extension.size()) return false;
    for (std::size_t i = 0; i < extension.size(); ++i)
        if (LowerAscii(name[dot + i]) != LowerAscii(extension[i])) return false;
    return true;
}

void CheckBitDepth(long long bits, int largest) {
    if (bits < 1 || bits > largest)
        throw ELUTError("Unsupported bit depth " + std::to_string(bits) + " (1 to " + std::to_string(largest) +
                        " bits).");
}

void CheckWriteSize3D(const TLUT& lut) {
    if (lut.Size3D < 2 || lut.Size3D > MaxLut3DSize)
        throw ELUTError("Cannot write a 3D LUT of size " + std::to_string(lut.Size3D) +
                        ": the size must be between 2 and " + std::to_string(MaxLut3DSize) + ".");
}

void CheckWriteSize1D(const TLUT& lut) {
    if (lut.Size1D < 2 || lut.Size1D > MaxLut1DSize)
        throw ELUTError("Cannot write a 1D LUT of size " + std::to_string(lut.Size1D) +
                        ": the size must be between 2 and " + std::to_string(MaxLut1DSize) + ".");
}

}  // namespace tintavo
