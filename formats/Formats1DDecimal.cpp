// One-dimensional LUT layouts with decimal values.
//
// Cube 1D                         Filmlight Truelight 1D        Blackmagic HDLink 1D
//   # Converted by Vorn LUT ...     # Truelight Cube v2.0          R<TAB>G<TAB>B - HDLINK GAMMA TABLE
//                                   # lutLength 2                  0.00 0.00 0.00
//   LUT_1D_SIZE 2                   # iDims     3                  1000.00 1000.00 1000.00
//   0.000000 0.000000 0.000000
//   1.000000 1.000000 1.000000      # InputLUT
//                                   0.000000 0.000000 0.000000
// Colorfront OSD 1D holds the       1.000000 1.000000 1.000000
// entry lines only; Nucoda 1D is    # end
// a Cube 1D with a NUCODA_3D_CUBE   # Converted by Vorn LUT Converter
// first line and a TITLE.
#include "formats/Formats1DDecimal.h"

#include <cctype>
#include <string>

#include "formats/TextFile.h"
#include "formats/TextLayout.h"

namespace tintavo {

namespace {

std::string Entry(const TLutColor& c, int decimals) {
    return FormatLutFixed(decimals, c.R) + " " + FormatLutFixed(decimals, c.G) + " " +
           FormatLutFixed(decimals, c.B);
}

std::string ScaledEntry(const TLutColor& c, long double scale, int decimals) {
    auto scaled = [scale](double v) { return static_cast<double>(static_cast<long double>(v) * scale); };
    return FormatLutFixed(decimals, scaled(c.R)) + " " + FormatLutFixed(decimals, scaled(c.G)) + " " +
           FormatLutFixed(decimals, scaled(c.B));
}

}  // namespace

int IntegerAfterKeyword(const std::string& keyword, const std::string& line, int skip) {
    const int pos = PosNoCase(keyword, line);
    const std::size_t start = (pos > 0 ? static_cast<std::size_t>(pos) - 1 : 0) + keyword.size() +
                              static_cast<std::size_t>(skip);
    return StrToInt(Trim(start < line.size() ? line.substr(start) : std::string()));
}

void CheckSize1DToWrite(const TLUT& lut) {
    if (lut.Size1D > MaxLut1DSize)
        throw ELUTError("LUT size " + std::to_string(lut.Size1D) + " is too large: at most " +
                        std::to_string(MaxLut1DSize) + " entries are supported.");
    if (lut.Size1D < 0) throw ELUTError("LUT size " + std::to_string(lut.Size1D) + " is invalid.");
}

// ---------------------------------------------------------------------------------------------
// Cube 1D

TCube1DLutFormat::TCube1DLutFormat() {
    Name = "Cube 1D";
    Is3D = false;
}

bool TCube1DLutFormat::Identify(const std::string& fileName) const {
    return TestHeaderKeywords(fileName, "LUT_1D_SIZE", "NUCODA_3D_CUBE");
}

void TCube1DLutFormat::Save(const std::string& fileName, const TLUT& lut, int /*bits*/) const {
    CheckSize1DToWrite(lut);
    TTextFile text;
    for (const std::string& comment : lut.Comments)
        for (std::string& line : CommentLines(comment)) text.Add(std::move(line));
    text.Add(ConvertedByLine);
    text.Add("");
    text.Add("LUT_1D_SIZE " + std::to_string(lut.Size1D));
    for (int i = 0; i < lut.Size1D; ++i) text.Add(Entry(lut.Table1D[i], 6));
    text.WriteToFile(fileName);
}

void TCube1DLutFormat::ParseLine(const std::string& line, TLUT& lut) {
    if (IsBlankLine(line)) return;
    if (IsCommentLine(line)) {
        lut.Comments.push_back(CommentText(line));
        return;
    }
    if (PosNoCase("LUT_1D_SIZE", line) > 0) {
        // The first size line decides; a later one would leave entries beyond the data
        // undefined once the table is complete.
        if (Size < 0) {
            const int size = IntegerAfterKeyword("LUT_1D_SIZE", line, 0);
            CheckSize1D(size);
            Size = size;
        }
        return;
    }
    if (Size < 0 || Complete || Index1D >= Size) return;
    double r, g, b;
    if (!ParseFixedTriple(line, r, g, b)) return;
    StoreNext1D(lut, r, g, b);
}

// ---------------------------------------------------------------------------------------------
// Filmlight Truelight 1D

TFilmlight1DLutFormat::TFilmlight1DLutFormat() {
    Name = "Filmlight Truelight 1D";
    Is3D = false;
}

bool TFilmlight1DLutFormat::Identify(const std::string& fileName) const {
    return TestHeaderKeywords(fileName, "iDims,lutLength", "");
}

void TFilmlight1DLutFormat::Save(const std::string& fileName, const TLUT& lut, int /*bits*/) const {
    CheckSize1DToWrite(lut);
    TTextFile text;
    text.Add("# Truelight Cube v2.0");
    text.Add("# lutLength " + std::to_string(lut.Size1D));
    text.Add("# iDims     3");
    text.Add("");
    text.Add("# InputLUT");
    for (int i = 0; i < lut.Size1D; ++i) text.Add(Entry(lut.Table1D[i], 6));
    text.Add("# end");
    text.Add(ConvertedByLine);
    text.WriteToFile(fileName);
}

void TFilmlight1DLutFormat::ParseLine(const std::string& line, TLUT& lut) {
    if (IsBlankLine(line)) return;
    // The length stands in a comment ("# lutLength 1024").
    if (Size < 0 && PosNoCase("lutLength", line) > 0) {
        const int size = IntegerAfterKeyword("lutLength", line, 1);
        CheckSize1D(size);
        Size = size;
        return;
    }
    if (IsCommentLine(line)) return;
    if (Size < 0 || Complete || Index1D >= Size) return;
    double r, g, b;
    if (!ParseFixedTriple(line, r, g, b)) return;
    StoreNext1D(lut, r, g, b);
}

// ---------------------------------------------------------------------------------------------
// Nucoda 1D

TNucoda1DLutWriterFormat::TNucoda1DLutWriterFormat() {
    Name = "Nucoda 1D";
    Is3D = false;
    CanRead = false;  // writes only: Identify is always false
}

bool TNucoda1DLutWriterFormat::Identify(const std::string& /*fileName*/) const { return false; }

void TNucoda1DLutWriterFormat::Save(const std::string& fileName, const TLUT& lut, int /*bits*/) const {
    CheckSize1DToWrite(lut);
    TTextFile text;
    text.Add("NUCODA_3D_CUBE 2");
    text.Add("");
    text.Add("TITLE \"" + BaseNameWithoutExtension(fileName) + "\"");
    text.Add("");
    text.Add("LUT_1D_SIZE " + std::to_string(lut.Size1D));
    text.Add("");
    for (int i = 0; i < lut.Size1D; ++i) text.Add(Entry(lut.Table1D[i], 6));
    text.WriteToFile(fileName);
}

// ---------------------------------------------------------------------------------------------
// Colorfront OSD 1D

TColorFrontOSD1DLutFormat::TColorFrontOSD1DLutFormat() {
    Name = "Colorfront OSD 1D";
    Is3D = false;
}

bool TColorFrontOSD1DLutFormat::Identify(const std::string& fileName) const {
    return HasExtension(fileName, ".1dlut");
}

void TColorFrontOSD1DLutFormat::Save(const std::string& fileName, const TLUT& lut, int /*bits*/) const {
    CheckSize1DToWrite(lut);
    TTextFile text;
    for (int i = 0; i < lut.Size1D; ++i) text.Add(Entry(lut.Table1D[i], 6));
    text.WriteToFile(fileName);
}

void TColorFrontOSD1DLutFormat::ParseLine(const std::string& line, TLUT& lut) {
    if (IsBlankLine(line) || IsCommentLine(line)) return;
    if (Size < 0) Size = 0;
    double r, g, b;
    if (ParseFixedTriple(line, r, g, b)) {
        // The length is the number of entries: refuse the one that would not fit.
        if (Size >= MaxLut1DSize) CheckSize1D(Size + 1LL);
        lut.Table1D[Size++] = TLutColor{r, g, b};
    }
    Complete = true;
}

// ---------------------------------------------------------------------------------------------
// Blackmagic HDLink 1D

TBlackmagic1DLutFormat::TBlackmagic1DLutFormat() {
    Name = "Blackmagic HDLink 1D";
    Is3D = false;
}

bool TBlackmagic1DLutFormat::Identify(const std::string& fileName) const {
    return TestHeaderKeywords(fileName, "HDLINK", "");
}

void TBlackmagic1DLutFormat::Save(const std::string& fileName, const TLUT& lut, int /*bits*/) const {
    CheckSize1DToWrite(lut);
    TTextFile text;
    text.Add("R\tG\tB - HDLINK GAMMA TABLE");
    for (int i = 0; i < lut.Size1D; ++i) text.Add(ScaledEntry(lut.Table1D[i], 1000.0L, 2));
    text.WriteToFile(fileName);
}

void TBlackmagic1DLutFormat::ParseLine(const std::string& line, TLUT& lut) {
    if (IsBlankLine(line) || IsCommentLine(line)) return;
    const std::string trimmed = Trim(line);
    // Data lines start with a digit; the column header and anything else do not.
    if (!std::isdigit(static_cast<unsigned char>(trimmed[0]))) return;
    if (Size < 0) Size = 0;
    double r, g, b;
    if (ParseFixedTriple(line, r, g, b)) {
        if (Size >= MaxLut1DSize) CheckSize1D(Size + 1LL);
        auto unscaled = [](double v) { return static_cast<double>(static_cast<long double>(v) / 1000.0L); };
        lut.Table1D[Size++] = TLutColor{unscaled(r), unscaled(g), unscaled(b)};
    }
    Complete = true;
}

}  // namespace tintavo
