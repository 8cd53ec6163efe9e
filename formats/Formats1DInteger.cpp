// One-dimensional LUT layouts with integer codes.
//
// Autodesk Lustre 1D     Quantel 1D              Fusion 1D        Codex 1D (planar)
//   LUT16                  table type<TAB>2        F5LT             # Converted by Vorn LUT Converter
//                                                                
//   # Converted by ...     gMax<TAB>1023           16               LUT: 3 2
//                          gSize<TAB>2                             
//   0 0 0 0                                        0 0 0 0 0 0      0       (red)
//   1 65535 65535 65535    gamma                   1 65535 1 ...    1023
//                          r<TAB>g<TAB>b                            0       (green)
//                          0 0 0                                    ...
//                          1023 1023 1023
//
// Cine-tal 1D and Shake 1D hold bare "R G B" code lines. DaVinci Resolve ".ilut" and ".olut"
// files hold bare "R G B" lines of 14-bit and 12-bit codes.
#include "formats/Formats1DInteger.h"

#include <cmath>
#include <cstdint>
#include <string>

#include "formats/Formats1DDecimal.h"
#include "formats/TextFile.h"
#include "formats/TextLayout.h"

namespace tintavo {

namespace {

// Bit depths the integer layouts write and read: every largest code, up to 2^31 - 1, fits the
// 32-bit header values the readers take back (Quantel "gMax").
constexpr int kMaxBits = 31;

void CheckBits(int bits) { CheckBitDepth(bits, kMaxBits); }

long long LargestCode(int bits) { return (1LL << bits) - 1; }

std::string CodeEntry(int bits, const TLutColor& c) {
    return FormatLutCode(bits, c.R) + " " + FormatLutCode(bits, c.G) + " " + FormatLutCode(bits, c.B);
}

// The integer code without the clamp to 0..1: values outside the range keep their excess and
// negative values their sign. Inside the range it is exactly FormatLutCode.
std::string UnclampedCode(int bits, double value) {
    if (std::isnan(value)) return "0";
    if (value >= 0.0 && value <= 1.0) return FormatLutCode(bits, value);
    long double code = std::nearbyint(static_cast<long double>(LargestCode(bits)) * value);
    // Far beyond any code a reader can take: pin to the 64-bit range instead of overflowing.
    constexpr long double kLimit = 9.0e18L;
    if (code > kLimit) code = kLimit;
    if (code < -kLimit) code = -kLimit;
    return std::to_string(static_cast<long long>(code));
}

// Value of one code over `largest`, computed in extended precision.
double CodeValue(long long code, long long largest) {
    return static_cast<double>(static_cast<long double>(code) / static_cast<long double>(largest));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Codex 1D, Scratch 1D

TCodex1DLutFormat::TCodex1DLutFormat() {
    Name = "Codex 1D, Scratch 1D";
    Is3D = false;
}

bool TCodex1DLutFormat::Identify(const std::string& fileName) const {
    return TestHeaderKeywords(fileName, "LUT:", "");
}

void TCodex1DLutFormat::Save(const std::string& fileName, const TLUT& lut, int bits) const {
    CheckBits(bits);
    CheckSize1DToWrite(lut);
    TTextFile text;
    text.Add(ConvertedByLine);
    text.Add("");
    text.Add("LUT: 3 " + std::to_string(lut.Size1D));
    text.Add("");
    for (int i = 0; i < lut.Size1D; ++i) text.Add(UnclampedCode(bits, lut.Table1D[i].R));
    for (int i = 0; i < lut.Size1D; ++i) text.Add(UnclampedCode(bits, lut.Table1D[i].G));
    for (int i = 0; i < lut.Size1D; ++i) text.Add(UnclampedCode(bits, lut.Table1D[i].B));
    text.WriteToFile(fileName);
}

void TCodex1DLutFormat::ParseLine(const std::string& line, TLUT& lut) {
    if (IsBlankLine(line)) return;
    if (IsCommentLine(line)) {
        if (Size < 0) lut.Comments.push_back(CommentText(line));
        return;
    }
    if (PosNoCase("LUT:", line) > 0) {
        // The first header decides; a later one would leave entries beyond the data undefined.
        if (Size >= 0) return;
        const int pos = PosNoCase("LUT:", line);
        const std::size_t start = static_cast<std::size_t>(pos) - 1 + 4 + 1;
        std::string rest = Trim(start < line.size() ? line.substr(start) : std::string());
        const int channels = StrToInt(Trim(NextToken(rest)));
        const int size = StrToInt(Trim(rest));
        // Also refuses a one-entry table, whose divisor Size - 1 would be 0.
        CheckSize1D(size);
        ChannelCount = channels;
        Size = size;
        ValueRange = size - 1;
        Channel = 1;
        return;
    }
    if (Size < 0 || Complete || Index1D >= Size) return;
    long long code;
    if (!TryStrToInt(Trim(line), code)) return;
    const double value = CodeValue(code, ValueRange);
    TLutColor& entry = lut.Table1D[Index1D];
    if (ChannelCount == 1) {
        entry = TLutColor{value, value, value};
        ++Index1D;
        if (Index1D == Size) Complete = true;
        return;
    }
    switch (Channel) {
        case 1: entry.R = value; break;
        case 2: entry.G = value; break;
        default: entry.B = value; break;
    }
    ++Index1D;
    if (Index1D == Size) {
        Index1D = 0;
        ++Channel;
        if (Channel > 3) Complete = true;
    }
}

// ---------------------------------------------------------------------------------------------
// Autodesk Lustre 1D

TLustre1DLutFormat::TLustre1DLutFormat() {
    Name = "Autodesk Lustre 1D";
    Is3D = false;
}

bool TLustre1DLutFormat::Identify(const std::string& fileName) const {
    return TestHeaderKeywords(fileName, "LUT16", "") || TestHeaderKeywords(fileName, "LUT12", "");
}

void TLustre1DLutFormat::Save(const std::string& fileName, const TLUT& lut, int bits) const {
    CheckBits(bits);
    CheckSize1DToWrite(lut);
    TTextFile text;
    text.Add("LUT" + std::to_string(bits));
    text.Add("");
    text.Add(ConvertedByLine);
    text.Add("");
    for (int i = 0; i < lut.Size1D; ++i) text.Add(std::to_string(i) + " " + CodeEntry(bits, lut.Table1D[i]));
    text.WriteToFile(fileName);
}

void TLustre1DLutFormat::ParseLine(const std::string& line, TLUT& lut) {
    if (IsBlankLine(line) || IsCommentLine(line)) return;
    if (ValueRange < 0) {
        const std::string trimmed = Trim(line);
        if (trimmed == "LUT16") ValueRange = 16;
        else if (trimmed == "LUT12") ValueRange = 12;
        Size = 0;
        return;
    }
    // The index column is not used: entries are stored in file order.
    double r, g, b;
    if (ParseCodeTriple(line, static_cast<double>(LargestCode(ValueRange)), true, r, g, b)) {
        if (Size >= MaxLut1DSize) CheckSize1D(Size + 1LL);  // the entry that would not fit
        lut.Table1D[Size++] = TLutColor{r, g, b};
    }
    Complete = true;
}

// ---------------------------------------------------------------------------------------------
// Quantel 1D

TQuantel1DLutFormat::TQuantel1DLutFormat() {
    Name = "Quantel 1D";
    Is3D = false;
}

bool TQuantel1DLutFormat::Identify(const std::string& fileName) const {
    return TestHeaderKeywords(fileName, "table type,gMax,gSize", "");
}

void TQuantel1DLutFormat::Save(const std::string& fileName, const TLUT& lut, int bits) const {
    CheckBits(bits);
    CheckSize1DToWrite(lut);
    TTextFile text;
    text.Add("table type\t2");
    text.Add("");
    text.Add("gMax\t" + std::to_string(LargestCode(bits)));
    text.Add("gSize\t" + std::to_string(lut.Size1D));
    text.Add("");
    text.Add("gamma");
    text.Add("r\tg\tb");
    for (int i = 0; i < lut.Size1D; ++i) text.Add(CodeEntry(bits, lut.Table1D[i]));
    text.WriteToFile(fileName);
}

void TQuantel1DLutFormat::ParseLine(const std::string& line, TLUT& lut) {
    if (IsBlankLine(line) || IsCommentLine(line)) return;
    if (Size < 0 && PosNoCase("gSize", line) > 0) {
        const int size = IntegerAfterKeyword("gSize", line, 1);
        CheckSize1D(size);
        Size = size;
        return;
    }
    if (ValueRange < 0 && PosNoCase("gMax", line) > 0) {
        const int largest = IntegerAfterKeyword("gMax", line, 1);
        if (largest < 1)
            throw ELUTError("Invalid largest code " + std::to_string(largest) + ": gMax must be at least 1.");
        ValueRange = largest;
        return;
    }
    if (Size < 0 || ValueRange < 0 || Complete || Index1D >= Size) return;
    double r, g, b;
    if (!ParseCodeTriple(line, ValueRange, false, r, g, b)) return;
    StoreNext1D(lut, r, g, b);
}

// ---------------------------------------------------------------------------------------------
// Fusion 1D

TFusion1DLutFormat::TFusion1DLutFormat() {
    Name = "Fusion 1D";
    Is3D = false;
}

bool TFusion1DLutFormat::Identify(const std::string& fileName) const {
    return TestHeaderKeywords(fileName, "F5LT", "");
}

void TFusion1DLutFormat::Save(const std::string& fileName, const TLUT& lut, int bits) const {
    CheckBits(bits);
    CheckSize1DToWrite(lut);
    TTextFile text;
    text.Add("F5LT");
    text.Add("");
    text.Add(std::to_string(bits));
    text.Add("");
    for (int i = 0; i < lut.Size1D; ++i) {
        const std::string index = std::to_string(i);
        const TLutColor& c = lut.Table1D[i];
        text.Add(index + " " + FormatLutCode(bits, c.R) + " " + index + " " + FormatLutCode(bits, c.G) + " " +
                 index + " " + FormatLutCode(bits, c.B));
    }
    text.WriteToFile(fileName);
}

namespace {

// "i R i G i B": the index copies are skipped unread.
bool ParseFusionEntry(const std::string& line, long long largest, double& r, double& g, double& b) {
    std::string rest = Trim(line);
    long long codes[3];
    for (int item = 0; item < 3; ++item) {
        NextToken(rest);  // index copy
        rest = Trim(rest);
        std::string token = item < 2 ? Trim(NextToken(rest)) : rest;
        if (token.empty() || !TryStrToInt(token, codes[item])) return false;
        rest = Trim(rest);
    }
    r = CodeValue(codes[0], largest);
    g = CodeValue(codes[1], largest);
    b = CodeValue(codes[2], largest);
    return true;
}

}  // namespace

void TFusion1DLutFormat::ParseLine(const std::string& line, TLUT& lut) {
    if (IsBlankLine(line) || IsCommentLine(line)) return;
    if (ValueRange < 0) {
        long long depth;
        if (!TryStrToInt(Trim(line), depth)) return;  // the "F5LT" line and anything before the depth
        CheckBitDepth(depth, kMaxBits);
        ValueRange = static_cast<std::int32_t>(depth);
        Size = 0;
        return;
    }
    double r, g, b;
    if (ParseFusionEntry(line, LargestCode(ValueRange), r, g, b)) {
        if (Size >= MaxLut1DSize) CheckSize1D(Size + 1LL);
        lut.Table1D[Size++] = TLutColor{r, g, b};
    }
    Complete = true;
}

// ---------------------------------------------------------------------------------------------
// Cine-tal 1D and Shake 1D

TCinetal1DLutFormat::TCinetal1DLutFormat() {
    Name = "Cine-tal 1D";
    Is3D = false;
    CanRead = false;  // writes only: Identify is always false
}

bool TCinetal1DLutFormat::Identify(const std::string& /*fileName*/) const { return false; }

void TCinetal1DLutFormat::Save(const std::string& fileName, const TLUT& lut, int bits) const {
    CheckBits(bits);
    CheckSize1DToWrite(lut);
    TTextFile text;
    for (int i = 0; i < lut.Size1D; ++i) text.Add(CodeEntry(bits, lut.Table1D[i]));
    text.WriteToFile(fileName);
}

TShake1DLutFormat::TShake1DLutFormat() {
    Name = "Shake 1D";
    Is3D = false;
    CanRead = false;  // writes only: Identify is always false
}

bool TShake1DLutFormat::Identify(const std::string& /*fileName*/) const { return false; }

void TShake1DLutFormat::Save(const std::string& fileName, const TLUT& lut, int bits) const {
    CheckBits(bits);
    CheckSize1DToWrite(lut);
    TTextFile text;
    for (int i = 0; i < lut.Size1D; ++i) text.Add(CodeEntry(bits, lut.Table1D[i]));
    text.WriteToFile(fileName);
}

// ---------------------------------------------------------------------------------------------
// DaVinci Resolve ilut and olut

TDavinciILut1DLutFormat::TDavinciILut1DLutFormat() {
    Name = "DaVinci Resolve ilut 1D";
    Is3D = false;
    CanWrite = false;  // reads only: Save writes nothing
}

bool TDavinciILut1DLutFormat::Identify(const std::string& fileName) const {
    // Iridas scripts share the extension.
    return HasExtension(fileName, ".ilut") && !TestHeaderKeywords(fileName, "<IRIDAScript>", "");
}

void TDavinciILut1DLutFormat::Save(const std::string& /*fileName*/, const TLUT& /*lut*/, int /*bits*/) const {}

void TDavinciILut1DLutFormat::ParseLine(const std::string& line, TLUT& lut) {
    if (IsBlankLine(line) || IsCommentLine(line)) return;
    if (Size < 0) Size = 0;
    double r, g, b;
    if (ParseCodeTriple(line, 16383.0, false, r, g, b)) {
        if (Size >= MaxLut1DSize) CheckSize1D(Size + 1LL);
        lut.Table1D[Size++] = TLutColor{r, g, b};
    }
    Complete = true;
}

TDavinciOLut1DLutFormat::TDavinciOLut1DLutFormat() {
    Name = "DaVinci Resolve olut 1D";
    Is3D = false;
    CanWrite = false;  // reads only: Save writes nothing
}

bool TDavinciOLut1DLutFormat::Identify(const std::string& fileName) const {
    return HasExtension(fileName, ".olut");
}

void TDavinciOLut1DLutFormat::Save(const std::string& /*fileName*/, const TLUT& /*lut*/, int /*bits*/) const {}

void TDavinciOLut1DLutFormat::ParseLine(const std::string& line, TLUT& lut) {
    if (IsBlankLine(line) || IsCommentLine(line)) return;
    if (Size < 0) Size = 0;
    double r, g, b;
    if (ParseCodeTriple(line, 4095.0, false, r, g, b)) {
        if (Size >= MaxLut1DSize) CheckSize1D(Size + 1LL);
        lut.Table1D[Size++] = TLutColor{r, g, b};
    }
    Complete = true;
}

}  // namespace tintavo
