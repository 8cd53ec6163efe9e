#include "formats/Formats3DDecimal.h"

#include <cmath>

#include "common/FileIO.h"
#include "formats/TextLayout.h"

namespace tintavo {

namespace {

// Builds a text file in one buffer: lines end with a line feed, as TTextFile writes them,
// without a string per line.
class TLutTextWriter {
public:
    explicit TLutTextWriter(std::size_t expectedSize) { text_.reserve(expectedSize); }

    void Line(std::string_view line) {
        text_ += line;
        text_ += '\n';
    }
    void FixedTriple(double a, double b, double c) {
        char buf[3 * 400 + 3];
        std::size_t n = FormatLutFixedTo(buf, 6, a);
        buf[n++] = ' ';
        n += FormatLutFixedTo(buf + n, 6, b);
        buf[n++] = ' ';
        n += FormatLutFixedTo(buf + n, 6, c);
        buf[n++] = '\n';
        text_.append(buf, n);
    }
    void WriteToFile(const std::string& fileName) const { WriteFileAtomically(fileName, text_); }

private:
    std::string text_;
};

// N^3 data lines, red fastest; with `blueFirst` the components of a line are B G R.
void WriteRedFastest(TLutTextWriter& out, const TLUT& lut, int n, bool blueFirst) {
    for (int b = 0; b < n; ++b)
        for (int g = 0; g < n; ++g)
            for (int r = 0; r < n; ++r) {
                const TLutColor& c = lut.Table3D[r][g][b];
                if (blueFirst)
                    out.FixedTriple(c.B, c.G, c.R);
                else
                    out.FixedTriple(c.R, c.G, c.B);
            }
}

std::size_t ExpectedSize(int n) { return static_cast<std::size_t>(n) * n * n * 28 + 4096; }

// The text after the first occurrence of `keyword` (matched case-insensitively).
std::string TextAfter(const std::string& keyword, const std::string& line) {
    const int pos = PosNoCase(keyword, line);
    return line.substr(static_cast<std::size_t>(pos - 1) + keyword.size());
}

// Drops the first character (the separator after a keyword).
std::string DropFirst(const std::string& s) { return s.empty() ? s : s.substr(1); }

int CountFixedTriples(TTextReader& lines) {
    int count = 0;
    double a, b, c;
    std::string line;
    while (lines.NextLine(line))
        if (ParseFixedTriple(line, a, b, c)) ++count;
    return count;
}

// Grid size of a file of `count` data lines: the nearest integer to the cube root.
int SizeFromLineCount(int count) { return static_cast<int>(std::nearbyint(std::cbrt(static_cast<double>(count)))); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Cube 3D

TCube3DLutFormat::TCube3DLutFormat() {
    Name = "Cube 3D";
    Is3D = true;
}

bool TCube3DLutFormat::Identify(const std::string& fileName) const {
    return TestHeaderKeywords(fileName, "LUT_3D_SIZE", "NUCODA_3D_CUBE,LUT_3D_VERSION");
}

void TCube3DLutFormat::Save(const std::string& fileName, const TLUT& lut, int /*bits*/) const {
    const int n = lut.Size3D;
    CheckSize3D(n);
    TLutTextWriter out(ExpectedSize(n));
    for (const auto& comment : lut.Comments)
        for (const auto& line : CommentLines(comment)) out.Line(line);
    out.Line(ConvertedByLine);
    out.Line("");
    out.Line("LUT_3D_SIZE " + std::to_string(n));
    WriteRedFastest(out, lut, n, false);
    out.WriteToFile(fileName);
}

void TCube3DLutFormat::ParseLine(const std::string& line, TLUT& lut) {
    if (IsBlankLine(line)) return;
    if (Size < 0) {
        // The line that gives the size is never a data line.
        ParseHeaderLine(line, lut);
        return;
    }
    if (Complete || IsCommentLine(line)) return;
    double r, g, b;
    if (!ParseFixedTriple(line, r, g, b)) return;
    StoreRedFastest(lut, r, g, b);
}

void TCube3DLutFormat::ParseHeaderLine(const std::string& line, TLUT& lut) {
    if (IsCommentLine(line)) {
        lut.Comments.push_back(CommentText(line));
        return;
    }
    if (PosNoCase("LUT_3D_SIZE", line) > 0) {
        const int size = StrToInt(Trim(TextAfter("LUT_3D_SIZE", line)));
        CheckSize3D(size);
        Size = size;
    }
}

// ---------------------------------------------------------------------------------------------
// Cube 3D Truelight

TCube3DTruelightLutFormat::TCube3DTruelightLutFormat() { Name = "Cube 3D Truelight"; }

bool TCube3DTruelightLutFormat::Identify(const std::string& fileName) const {
    return TestHeaderKeywords(fileName, "iDims,oDims,width", "NUCODA_3D_CUBE");
}

void TCube3DTruelightLutFormat::Save(const std::string& fileName, const TLUT& lut, int /*bits*/) const {
    const int n = lut.Size3D;
    CheckSize3D(n);
    const std::string size = std::to_string(n);
    TLutTextWriter out(ExpectedSize(n));
    out.Line("# Truelight Cube v2.0");
    out.Line("# iDims     3");
    out.Line("# oDims     3");
    out.Line("# width     " + size + " " + size + " " + size);
    out.Line("");
    out.Line("# Cube");
    WriteRedFastest(out, lut, n, false);
    out.Line("# end");
    out.Line(ConvertedByLine);
    out.WriteToFile(fileName);
}

void TCube3DTruelightLutFormat::ParseHeaderLine(const std::string& line, TLUT& /*lut*/) {
    if (PosNoCase("# width", line) == 0) return;
    const std::string rest = Trim(TextAfter("# width", line));
    std::size_t end = 0;
    while (end < rest.size() && static_cast<unsigned char>(rest[end]) > 32) ++end;
    const int size = StrToInt(rest.substr(0, end));
    CheckSize3D(size);
    Size = size;
}

// ---------------------------------------------------------------------------------------------
// FSI CFE

TFSI_CFE_3DLutFormat::TFSI_CFE_3DLutFormat() { Name = "FSI CFE (Flanders Scientific) 3D"; }

bool TFSI_CFE_3DLutFormat::Identify(const std::string& fileName) const {
    return TestHeaderKeywords(fileName, "LUT_3D_SIZE,LUT_3D_VERSION", "NUCODA_3D_CUBE");
}

void TFSI_CFE_3DLutFormat::Save(const std::string& fileName, const TLUT& lut, int /*bits*/) const {
    const int n = lut.Size3D;
    CheckSize3D(n);
    TLutTextWriter out(ExpectedSize(n));
    out.Line("LUT_3D_AUTHOR Vorn LUT Converter");
    out.Line("LUT_3D_MODEL CM240");
    out.Line("LUT_3D_VERSION 2.0.0");
    out.Line("LUT_3D_SIZE " + std::to_string(n));
    out.Line("");
    WriteRedFastest(out, lut, n, false);
    out.WriteToFile(fileName);
}

// ---------------------------------------------------------------------------------------------
// Nucoda 3D

TNucoda3DLutFormat::TNucoda3DLutFormat() {
    Name = "Nucoda 3D";
    Is3D = true;
}

bool TNucoda3DLutFormat::Identify(const std::string& fileName) const {
    return TestHeaderKeywords(fileName, "NUCODA_3D_CUBE", "");
}

void TNucoda3DLutFormat::Save(const std::string& fileName, const TLUT& lut, int /*bits*/) const {
    const int n = lut.Size3D;
    CheckSize3D(n);
    const int shaper = ShaperLength;
    TLutTextWriter out(ExpectedSize(n) + static_cast<std::size_t>(shaper) * 32);
    out.Line("NUCODA_3D_CUBE 1");
    out.Line("");
    out.Line("TITLE \"" + BaseNameWithoutExtension(fileName) + "\"");
    out.Line("");
    out.Line("LUT_1D_SIZE " + std::to_string(shaper));
    out.Line("LUT_3D_SIZE " + std::to_string(n));
    out.Line("");
    // The shaper maps 0..1 onto 0..33 (version 1 readers divide by 33), the same for every
    // grid size.
    for (int i = 0; i < shaper; ++i) {
        const double v = static_cast<double>(i) / (shaper - 1);
        const auto value = static_cast<double>(static_cast<long double>(v) * 32.999999L);
        out.FixedTriple(value, value, value);
    }
    out.Line("");
    WriteRedFastest(out, lut, n, false);
    out.WriteToFile(fileName);
}

void TNucoda3DLutFormat::Read(const std::string& fileName, TLUT& lut) {
    Size1DRead = 0;
    Version = 0;
    Has1D = false;
    Has3D = false;
    ParseFile(fileName, lut);
    // A shaper of fewer than two entries read is no curve: the file counts as having none.
    if (Has1D && Index1D < 2) Has1D = false;
    // A file with neither section holds no LUT, whatever else it contains.
    if (!Complete || (!Has1D && !Has3D)) throw ELUTError("Incomplete file.");
    if (Has1D) {
        lut.LutKind = lk1D;
        lut.Size1D = Index1D;
    }
    if (Has3D) {
        lut.LutKind = Has1D ? lk1DThen3D : lk3D;
        lut.Size3D = Size;
    }
}

void TNucoda3DLutFormat::ParseLine(const std::string& line, TLUT& lut) {
    if (IsBlankLine(line) || IsCommentLine(line)) return;
    if (PosNoCase("NUCODA_3D_CUBE", line) > 0) {
        Version = StrToInt(Trim(DropFirst(TextAfter("NUCODA_3D_CUBE", line))));
        return;
    }
    if (PosNoCase("LUT_1D_SIZE", line) > 0) {
        const int size = StrToInt(Trim(TextAfter("LUT_1D_SIZE", line)));
        CheckSize1D(size);
        Size1DRead = size;
        Has1D = true;
        return;
    }
    if (PosNoCase("LUT_3D_SIZE", line) > 0) {
        const int size = StrToInt(Trim(TextAfter("LUT_3D_SIZE", line)));
        CheckSize3D(size);
        Size = size;
        Has3D = true;
        return;
    }
    // Any other line (a title too) makes the file count as complete.
    Complete = true;
    double a, b, c;
    if (Has1D && Index1D < Size1DRead && ParseFixedTriple(line, a, b, c)) {
        const double scale = Version == 1 ? 33.0 : 1.0;
        lut.Table1D[Index1D] = {a / scale, b / scale, c / scale};
        ++Index1D;
    } else if (Has3D && ParseFixedTriple(line, a, b, c)) {
        StoreRedFastest(lut, a, b, c);
    }
}

// ---------------------------------------------------------------------------------------------
// Davinci DAT 3D

TDavinciDat3DLutFormat::TDavinciDat3DLutFormat() {
    Name = "Davinci DAT 3D";
    Is3D = true;
}

bool TDavinciDat3DLutFormat::Identify(const std::string& fileName) const {
    if (TestHeaderKeywords(fileName, "3DLUTSIZE", "")) return true;
    if (!HasExtension(fileName, ".dat")) return false;
    TTextFile head;
    head.SetText(ReadFileHead(fileName, 4096));
    double a, b, c;
    for (const auto& line : head.Lines)
        if (ParseFixedTriple(line, a, b, c)) return true;
    return false;
}

void TDavinciDat3DLutFormat::Save(const std::string& fileName, const TLUT& lut, int /*bits*/) const {
    const int n = lut.Size3D;
    CheckSize3D(n);
    TLutTextWriter out(ExpectedSize(n));
    out.Line("3DLUTSIZE " + std::to_string(n));
    out.Line("");
    WriteRedFastest(out, lut, n, true);
    out.WriteToFile(fileName);
}

void TDavinciDat3DLutFormat::Read(const std::string& fileName, TLUT& lut) {
    HasSizeKeyword = TestHeaderKeywords(fileName, "3DLUTSIZE", "");
    DataLineCount = 0;
    TGenericLutFormat::Read(fileName, lut);
}

void TDavinciDat3DLutFormat::Prepare(TTextReader& lines) {
    if (!HasSizeKeyword) DataLineCount = CountFixedTriples(lines);
}

void TDavinciDat3DLutFormat::ParseLine(const std::string& line, TLUT& lut) {
    if (IsBlankLine(line) || IsCommentLine(line)) return;
    if (Size < 0) {
        if (HasSizeKeyword) {
            // Lines before the size line are not data: their place in the table is unknown.
            if (PosNoCase("3DLUTSIZE", line) == 0) return;
            const int size = StrToInt(Trim(DropFirst(TextAfter("3DLUTSIZE", line))));
            CheckSize3D(size);
            Size = size;
            return;
        }
        const int size = SizeFromLineCount(DataLineCount);
        CheckSize3D(size);
        Size = size;
    }
    if (Complete) return;
    double b, g, r;
    if (!ParseFixedTriple(line, b, g, r)) return;
    StoreRedFastest(lut, r, g, b);
}

// ---------------------------------------------------------------------------------------------
// Colorfront OSD 3D

TColorFrontOSD3DLutFormat::TColorFrontOSD3DLutFormat() {
    Name = "Colorfront OSD 3D";
    Is3D = true;
}

bool TColorFrontOSD3DLutFormat::Identify(const std::string& fileName) const {
    return HasExtension(fileName, ".3dmesh");
}

void TColorFrontOSD3DLutFormat::Save(const std::string& fileName, const TLUT& lut, int /*bits*/) const {
    const int n = lut.Size3D;
    CheckSize3D(n);
    TLutTextWriter out(ExpectedSize(n));
    WriteRedFastest(out, lut, n, true);
    out.WriteToFile(fileName);
}

void TColorFrontOSD3DLutFormat::Prepare(TTextReader& lines) { DataLineCount = CountFixedTriples(lines); }

void TColorFrontOSD3DLutFormat::ParseLine(const std::string& line, TLUT& lut) {
    if (IsBlankLine(line)) return;
    if (Size < 0) {
        const int size = SizeFromLineCount(DataLineCount);
        CheckSize3D(size);
        Size = size;
    }
    if (IsCommentLine(line) || Complete) return;
    double b, g, r;
    if (!ParseFixedTriple(line, b, g, r)) return;
    StoreRedFastest(lut, r, g, b);
}

}  // namespace tintavo
