// The 3D text layouts with integer codes. A 2-point LUT at 12 bits in each of them (blue
// changes on every data line):
//
//   3DL                     Lustre 3D            Pandora 3D (16 bits)
//   # Converted by ...      <empty>              #HEADER ... #END
//   0 1023                  # Converted by ...   channel 3d
//   0 0 0                   <empty>              in 8
//   0 0 4095                3DMESH               out 65536
//   0 4095 0                Mesh 5 12            format lut
//   ...                     <empty>              values<TAB>red<TAB>green<TAB>blue
//                           0 0 0                0<TAB>0<TAB>0<TAB>0
//                           ...                  1<TAB>0<TAB>0<TAB>65535
//                           <empty>              ...
//                           LUT8
//                           gamma 1.0
//
//   Codex 3D                Luther 3D            Quantel 3D
//   Lut3D: 2                #channels: c3        max value 4095
//   <empty>                 #elements = 8        vertices 2
//   R<TAB>G<TAB>B           0 0 0                blue is fastest changing
//   0 0 0                   ...                  red is slowest changing
//   ...                                          <empty>
//                                                cube data
//                                                R G B
//                                                0 0 0
//                                                ...
#include "formats/Formats3DInteger.h"

#include <cmath>
#include <cstdint>
#include <string>

#include "formats/LUTFormat.h"
#include "formats/TextLayout.h"

namespace tintavo {

namespace {

// Appends the N^3 data lines, blue fastest: line k is the entry with b + N*g + N*N*r = k.
// With `indexColumn` each line starts with k and the separator.
void AddDataLines(TTextFile& file, const TLUT& lut, int bits, const std::string& separator,
                  bool indexColumn) {
    const int n = lut.Size3D;
    file.Lines.reserve(file.Lines.size() + static_cast<std::size_t>(n) * n * n);
    long long index = 0;
    for (int r = 0; r < n; ++r)
        for (int g = 0; g < n; ++g)
            for (int b = 0; b < n; ++b) {
                const TLutColor& c = lut.Table3D[r][g][b];
                std::string line;
                if (indexColumn) line = std::to_string(index++) + separator;
                line += FormatLutCode(bits, c.R);
                line += separator;
                line += FormatLutCode(bits, c.G);
                line += separator;
                line += FormatLutCode(bits, c.B);
                file.Add(std::move(line));
            }
}

std::size_t FirstNonBlank(const std::string& line) {
    std::size_t i = 0;
    while (i < line.size() && static_cast<unsigned char>(line[i]) <= 32) ++i;
    return i;
}

// True when the line, after leading blanks, starts with `prefix` (exact letter case); `rest`
// receives the text after the prefix, trimmed.
bool StartsWithPrefix(const std::string& line, const std::string& prefix, std::string& rest) {
    const std::size_t i = FirstNonBlank(line);
    if (line.compare(i, prefix.size(), prefix) != 0) return false;
    rest = Trim(line.substr(i + prefix.size()));
    return true;
}

// Grid points per axis of a layout that states the number of entries: the cube root, rounded.
long long CubeRootSize(int entries) { return std::llround(std::cbrt(static_cast<double>(entries))); }

// A largest code of zero or below would divide every entry into infinities.
void CheckLargestCode(long long code) {
    if (code < 1)
        throw ELUTError("Invalid largest code " + std::to_string(code) + ": it must be at least 1.");
}

// Stores one entry at the next blue-fastest position. Nothing is stored before the size is
// known or after the last entry, so the indices never leave the table.
void StoreBlueFastest(TLUT& lut, std::int32_t size, std::int32_t& red, std::int32_t& green,
                      std::int32_t& blue, bool& complete, double r, double g, double b) {
    if (complete || size < 1 || size > MaxLut3DSize) return;
    lut.Table3D[red][green][blue] = TLutColor{r, g, b};
    if (++blue < size) return;
    blue = 0;
    if (++green < size) return;
    green = 0;
    if (++red >= size) complete = true;
}

}  // namespace

// --- 3DL ---------------------------------------------------------------------------------

T3dlLutFormat::T3dlLutFormat() {
    Name = "3DL";
    Is3D = true;
}

bool T3dlLutFormat::Identify(const std::string& fileName) const { return HasExtension(fileName, ".3dl"); }

void T3dlLutFormat::Save(const std::string& fileName, const TLUT& lut, int bits) const {
    CheckWriteSize3D(lut);
    CheckBitDepth(bits, MaxCodeBits);
    const int n = lut.Size3D;
    TTextFile file;
    for (const std::string& comment : lut.Comments)
        for (std::string& line : CommentLines(comment)) file.Add(std::move(line));
    file.Add(ConvertedByLine);
    // The input grid always spans 0..1023, whatever the depth of the codes.
    std::string grid;
    for (int i = 0; i < n; ++i) {
        if (i > 0) grid += ' ';
        const double point = std::ceil(static_cast<double>(i) * 1023.0 / static_cast<double>(n - 1));
        grid += std::to_string(static_cast<long long>(point));
    }
    file.Add(grid);
    AddDataLines(file, lut, bits, " ", false);
    file.WriteToFile(fileName);
}

void T3dlLutFormat::Prepare(TTextReader& lines) {
    // 12-bit codes unless some data line holds a code above 4095.
    ValueRange = 12;
    std::string line;
    while (lines.NextLine(line)) {
        double r, g, b;
        if (ParseCodeTriple(line, 4095.0, false, r, g, b) && (r > 1.0 || g > 1.0 || b > 1.0)) {
            ValueRange = 16;
            break;
        }
    }
}

void T3dlLutFormat::ParseLine(const std::string& line, TLUT& lut) {
    if (IsBlankLine(line)) return;
    if (IsCommentLine(line)) {
        lut.Comments.push_back(CommentText(line));
        return;
    }
    if (Size < 0) {
        // The first line of integers is the input grid; its length is the size.
        const std::size_t first = FirstNonBlank(line);
        if (line[first] < '0' || line[first] > '9') return;
        long long count = 0;
        std::size_t i = first;
        while (i < line.size()) {
            std::size_t end = i;
            while (end < line.size() && static_cast<unsigned char>(line[end]) > 32) ++end;
            long long value;
            if (!TryStrToInt(line.substr(i, end - i), value)) return;
            ++count;
            i = end;
            while (i < line.size() && static_cast<unsigned char>(line[i]) <= 32) ++i;
        }
        CheckSize3D(count);
        Size = static_cast<std::int32_t>(count);
        return;
    }
    if (Complete) return;
    double r, g, b;
    const double largest = std::ldexp(1.0, ValueRange) - 1.0;
    if (ParseCodeTriple(line, largest, false, r, g, b))
        StoreBlueFastest(lut, Size, RedIndex, GreenIndex, BlueIndex, Complete, r, g, b);
}

// --- Autodesk Lustre 3D ------------------------------------------------------------------

TLustre3DLutFormat::TLustre3DLutFormat() {
    Name = "Autodesk Lustre 3D";
    Is3D = true;
}

bool TLustre3DLutFormat::Identify(const std::string& fileName) const {
    return TestHeaderKeywords(fileName, "3DMESH", "");
}

void TLustre3DLutFormat::Save(const std::string& fileName, const TLUT& lut, int bits) const {
    CheckWriteSize3D(lut);
    CheckBitDepth(bits, MaxCodeBits);
    TTextFile file;
    file.Add("");
    file.Add(ConvertedByLine);
    file.Add("");
    file.Add("3DMESH");
    // The mesh exponent is fixed: the layout's grid is 2^5 + 1 = 33 points.
    file.Add("Mesh 5 " + std::to_string(bits));
    file.Add("");
    AddDataLines(file, lut, bits, " ", false);
    file.Add("");
    file.Add("LUT8");
    file.Add("gamma 1.0");
    file.WriteToFile(fileName);
}

void TLustre3DLutFormat::ParseLine(const std::string& line, TLUT& lut) {
    if (Complete) return;
    if (IsBlankLine(line) || IsCommentLine(line) || PosNoCase("3DMESH", line) > 0) return;
    const int meshPos = PosNoCase("Mesh", line);
    if (meshPos > 0) {
        // Only the first mesh line counts: a second one must not change the size while
        // entries are being stored.
        if (Size >= 0) return;
        std::string rest = line.substr(static_cast<std::size_t>(meshPos - 1) + 4);
        if (!rest.empty()) rest.erase(0, 1);
        rest = Trim(rest);
        const int exponent = StrToInt(Trim(NextToken(rest)));
        const int bits = StrToInt(Trim(rest));
        if (exponent < 0 || exponent > 30)
            throw ELUTError("Invalid mesh exponent " + std::to_string(exponent) + " in the Mesh line.");
        const long long size = (1LL << exponent) + 1;
        CheckSize3D(size);
        if (bits < 1 || bits > 31)
            throw ELUTError("Invalid bit depth " + std::to_string(bits) + " in the Mesh line.");
        Size = static_cast<std::int32_t>(size);
        ValueRange = static_cast<std::int32_t>((1LL << bits) - 1);
        return;
    }
    // Entries are stored from the mesh line on, with the codes' largest value it gives.
    if (Size < 0) return;
    double r, g, b;
    if (ParseCodeTriple(line, ValueRange, false, r, g, b))
        StoreBlueFastest(lut, Size, RedIndex, GreenIndex, BlueIndex, Complete, r, g, b);
}

void TLustre3DLutFormat::Read(const std::string& fileName, TLUT& lut) {
    ParseFile(fileName, lut);

    // Like the generic load, a failed load leaves the kind and size of the LUT as they were:
    // without a mesh line the size is unknown, and a short file would leave stale entries.
    if (Size < 0) throw ELUTError("Incomplete file: no Mesh line.");
    if (!Complete) throw ELUTError("Incomplete file.");
    lut.LutKind = lk3D;
    lut.Size3D = Size;
}

// --- Pandora 3D ----------------------------------------------------------------------------

TPandora3DLutFormat::TPandora3DLutFormat() {
    Name = "Pandora 3D, Technicolor";
    Is3D = true;
}

bool TPandora3DLutFormat::Identify(const std::string& fileName) const {
    return TestHeaderKeywords(fileName, "channel 3d,format lut", "");
}

void TPandora3DLutFormat::Save(const std::string& fileName, const TLUT& lut, int bits) const {
    CheckWriteSize3D(lut);
    CheckBitDepth(bits, MaxCodeBits);
    const long long n = lut.Size3D;
    TTextFile file;
    file.Add("#HEADER");
    file.Add("#type: 3D cube file");
    file.Add("#format: 1.00");
    file.Add("#comment: Converted by Vorn LUT Converter");
    file.Add("#END");
    file.Add("");
    file.Add("channel 3d");
    file.Add("in " + std::to_string(n * n * n));
    file.Add("out " + std::to_string(static_cast<long long>(std::ldexp(1.0, bits))));
    file.Add("");
    file.Add("format lut");
    file.Add("");
    file.Add("values\tred\tgreen\tblue");
    AddDataLines(file, lut, bits, "\t", true);
    file.WriteToFile(fileName);
}

void TPandora3DLutFormat::ParseLine(const std::string& line, TLUT& lut) {
    if (IsBlankLine(line) || IsCommentLine(line)) return;
    std::string rest;
    if (Size < 0 && StartsWithPrefix(line, "in ", rest)) {
        const long long size = CubeRootSize(StrToInt(rest));
        CheckSize3D(size);
        Size = static_cast<std::int32_t>(size);
        return;
    }
    if (ValueRange < 0 && StartsWithPrefix(line, "out ", rest)) {
        const long long largest = static_cast<long long>(StrToInt(rest)) - 1;
        CheckLargestCode(largest);
        ValueRange = static_cast<std::int32_t>(largest);
        return;
    }
    if (Size < 0 || ValueRange < 0 || Complete) return;
    double r, g, b;
    if (ParseCodeTriple(line, ValueRange, true, r, g, b))
        StoreBlueFastest(lut, Size, RedIndex, GreenIndex, BlueIndex, Complete, r, g, b);
}

// --- Codex 3D ------------------------------------------------------------------------------

TCodex3DLutFormat::TCodex3DLutFormat() {
    Name = "Codex 3D";
    Is3D = true;
    ReadBits = 12;
}

bool TCodex3DLutFormat::Identify(const std::string& fileName) const {
    return TestHeaderKeywords(fileName, "Lut3D:", "");
}

void TCodex3DLutFormat::Save(const std::string& fileName, const TLUT& lut, int bits) const {
    CheckWriteSize3D(lut);
    CheckBitDepth(bits, MaxCodeBits);
    TTextFile file;
    file.Add("Lut3D: " + std::to_string(lut.Size3D));
    file.Add("");
    file.Add("R\tG\tB");
    AddDataLines(file, lut, bits, " ", false);
    file.WriteToFile(fileName);
}

void TCodex3DLutFormat::ParseLine(const std::string& line, TLUT& lut) {
    if (IsBlankLine(line)) return;
    if (IsCommentLine(line)) {
        lut.Comments.push_back(CommentText(line));
        return;
    }
    if (Size < 0) {
        const int pos = PosNoCase("LUT3D:", line);
        if (pos > 0) {
            const int size = StrToInt(Trim(line.substr(static_cast<std::size_t>(pos - 1) + 6)));
            CheckSize3D(size);
            Size = size;
        }
    }
    if (Size < 0 || Complete) return;
    double r, g, b;
    if (ParseCodeTriple(line, std::ldexp(1.0, ReadBits) - 1.0, false, r, g, b))
        StoreBlueFastest(lut, Size, RedIndex, GreenIndex, BlueIndex, Complete, r, g, b);
}

// --- Luther 3D -----------------------------------------------------------------------------

TLuther3DLutFormat::TLuther3DLutFormat() {
    Name = "Luther 3D";
    Is3D = true;
}

bool TLuther3DLutFormat::Identify(const std::string& fileName) const {
    return TestHeaderKeywords(fileName, "channels: c3", "");
}

void TLuther3DLutFormat::Save(const std::string& fileName, const TLUT& lut, int bits) const {
    CheckWriteSize3D(lut);
    CheckBitDepth(bits, MaxCodeBits);
    const long long n = lut.Size3D;
    TTextFile file;
    file.Add("#channels: c3");
    file.Add("#elements = " + std::to_string(n * n * n));
    AddDataLines(file, lut, bits, " ", false);
    file.WriteToFile(fileName);
}

void TLuther3DLutFormat::ParseLine(const std::string& line, TLUT& lut) {
    if (IsBlankLine(line)) return;
    if (Size < 0) {
        // The element count sits in a comment line, so it is looked for before comments are skipped.
        const int pos = PosNoCase("elements =", line);
        if (pos > 0) {
            const long long size =
                CubeRootSize(StrToInt(Trim(line.substr(static_cast<std::size_t>(pos - 1) + 10))));
            CheckSize3D(size);
            Size = static_cast<std::int32_t>(size);
            return;
        }
    }
    if (IsCommentLine(line) || Size < 0 || Complete) return;
    double r, g, b;
    // The reader takes every file as 10-bit codes.
    if (ParseCodeTriple(line, 1023.0, false, r, g, b))
        StoreBlueFastest(lut, Size, RedIndex, GreenIndex, BlueIndex, Complete, r, g, b);
}

// --- Quantel 3D ----------------------------------------------------------------------------

TQuantel3DLutFormat::TQuantel3DLutFormat() {
    Name = "Quantel 3D";
    Is3D = true;
}

bool TQuantel3DLutFormat::Identify(const std::string& fileName) const {
    return TestHeaderKeywords(fileName, "max value,vertices", "");
}

void TQuantel3DLutFormat::Save(const std::string& fileName, const TLUT& lut, int bits) const {
    CheckWriteSize3D(lut);
    CheckBitDepth(bits, MaxCodeBits);
    TTextFile file;
    file.Add("max value " + std::to_string(static_cast<long long>(std::ldexp(1.0, bits)) - 1));
    file.Add("vertices " + std::to_string(lut.Size3D));
    file.Add("blue is fastest changing");
    file.Add("red is slowest changing");
    file.Add("");
    file.Add("cube data");
    file.Add("R G B");
    AddDataLines(file, lut, bits, " ", false);
    file.WriteToFile(fileName);
}

void TQuantel3DLutFormat::ParseLine(const std::string& line, TLUT& lut) {
    if (IsBlankLine(line) || IsCommentLine(line)) return;
    std::string rest;
    if (Size < 0 && StartsWithPrefix(line, "vertices", rest)) {
        const int size = StrToInt(rest);
        CheckSize3D(size);
        Size = size;
        return;
    }
    if (ValueRange < 0 && StartsWithPrefix(line, "max value", rest)) {
        const int largest = StrToInt(rest);
        CheckLargestCode(largest);
        ValueRange = largest;
        return;
    }
    if (Size < 0 || ValueRange < 0 || Complete) return;
    double r, g, b;
    if (ParseCodeTriple(line, ValueRange, false, r, g, b))
        StoreBlueFastest(lut, Size, RedIndex, GreenIndex, BlueIndex, Complete, r, g, b);
}

}  // namespace tintavo
