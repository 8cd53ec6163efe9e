// The XML-based layouts. A 2-point LUT in each of them:
//
// Clipster 3D (16 bits), blue fastest     PixelFarm PFClean 3D (8 bits), blue fastest
//   <LUT3D name='calib' N='2' BitDepth='16'>   <?xml version="1.0" encoding="UTF-8" standalone="yes"?>
//   <values>                                   <lut type="ascii">
//   0 0 0                                      <maximum>255</maximum>
//   0 0 65535                                  <size>2</size>
//   ...                                        <cube>
//   </values>                                  0 0 0
//   </LUT3D>                                   ...
//                                              </cube>
//                                              </lut>
//
// S.two 1D (10 bits)                      Adobe Speedgrade look (read only), red fastest
//   <?xml version="1.0"?>                      <look><lut><size>"2"</size>
//   <lut name="grade.swto">                    <data>"00000000 00000000 00000000 0000803f ..."</data>
//   <data>                                     </lut></look>
//   <elem r="0" g="0" b="0"/>                  (each value: 4 bytes of a little-endian float)
//   <elem r="1023" g="1023" b="1023"/>
//   </data>                                ASC CDL (read only): see CDLLib.h
//   </lut>
#include "formats/FormatsXML.h"

#include <bit>
#include <cstdint>
#include <string>
#include <string_view>

#include "formats/CDLLib.h"
#include "formats/TextLayout.h"
#include "formats/XMLNode.h"

namespace tintavo {

namespace {

// Appends the N^3 code triples, blue fastest.
void AddCodeLines(TTextFile& file, const TLUT& lut, int bits) {
    const int n = lut.Size3D;
    for (int r = 0; r < n; ++r)
        for (int g = 0; g < n; ++g)
            for (int b = 0; b < n; ++b) {
                const TLutColor& c = lut.Table3D[r][g][b];
                file.Add(FormatLutCode(bits, c.R) + " " + FormatLutCode(bits, c.G) + " " +
                         FormatLutCode(bits, c.B));
            }
}

// Reads code triples, one per line, from an element's text into Table3D, blue fastest, until
// n^3 are stored. Blank and unreadable lines are skipped; a short text leaves the remaining
// entries as they were. `n` has passed CheckSize3D.
void ReadCodeLines(std::string_view text, int n, double largestCode, TLUT& lut) {
    const long long total = static_cast<long long>(n) * n * n;
    long long stored = 0;
    std::size_t pos = 0;
    while (pos < text.size() && stored < total) {
        const std::size_t end = text.find_first_of("\r\n", pos);
        const std::string line(text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos));
        if (end == std::string_view::npos) {
            pos = text.size();
        } else {
            pos = end + 1;
            if (text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
        }

        if (Trim(line).empty()) continue;
        double r = 0.0, g = 0.0, b = 0.0;
        if (!ParseCodeTriple(line, largestCode, false, r, g, b)) continue;
        const long long ri = stored / (static_cast<long long>(n) * n);
        const long long gi = (stored / n) % n;
        const long long bi = stored % n;
        lut.Table3D[ri][gi][bi] = {r, g, b};
        ++stored;
    }
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Clipster 3D

TClipster3DLutFormat::TClipster3DLutFormat() {
    Name = "Clipster 3D";
    Is3D = true;
}

bool TClipster3DLutFormat::Identify(const std::string& fileName) const {
    return TestHeaderKeywords(fileName, "<LUT3D", "");
}

void TClipster3DLutFormat::Read(const std::string& fileName, TLUT& lut) {
    TXMLNode document;
    document.LoadFromFile(fileName);

    TXMLNode& lut3d = document.FindChild("LUT3D");
    const std::int64_t size = lut3d.Attributes.Item("N").AsInteger();
    const std::int64_t depth = lut3d.Attributes.Item("BitDepth").AsInteger();
    CheckSize3D(size);
    if (depth < 1 || depth > 62)
        throw ELUTError("Invalid bit depth " + std::to_string(depth) + ": it must be between 1 and 62.");
    Size = static_cast<std::int32_t>(size);
    ValueRange = static_cast<std::int32_t>(depth);

    lut.Comments.push_back("Name: " + lut3d.Attributes.Item("name").AsString());
    const TXMLNode& values = lut3d.FindChild("values");
    const double largestCode = static_cast<double>((std::int64_t{1} << depth) - 1);
    ReadCodeLines(values.Value.AsString(), Size, largestCode, lut);

    lut.LutKind = lk3D;
    lut.Size3D = Size;
}

void TClipster3DLutFormat::Save(const std::string& fileName, const TLUT& lut, int bits) const {
    CheckWriteSize3D(lut);
    CheckBitDepth(bits, MaxCodeBits);
    TTextFile file;
    file.Add("<LUT3D name='" + BaseNameWithoutExtension(fileName) + "' N='" + std::to_string(lut.Size3D) + "' BitDepth='" +
             std::to_string(bits) + "'>");
    file.Add("<values>");
    AddCodeLines(file, lut, bits);
    file.Add("</values>");
    file.Add("</LUT3D>");
    file.WriteToFile(fileName);
}

// ---------------------------------------------------------------------------------------------
// S.two 1D

TStwo1DLutFormat::TStwo1DLutFormat() {
    Name = "S.two 1D";
    Is3D = false;
    ValueRange = 10;
}

bool TStwo1DLutFormat::Identify(const std::string& fileName) const {
    return TestHeaderKeywords(fileName, "<lut,<data>,<elem", "");
}

void TStwo1DLutFormat::Read(const std::string& fileName, TLUT& lut) {
    TXMLNode document;
    document.LoadFromFile(fileName);
    const TXMLNode& data = document.FindChild("lut").FindChild("data");

    auto isEntry = [](const TXMLNode& node) { return node.Name.size() == 4 && PosNoCase("elem", node.Name) == 1; };
    long long count = 0;
    for (std::size_t i = 0; i < data.ChildCount(); ++i)
        if (isEntry(data.Child(i))) ++count;
    if (count > MaxLut1DSize) CheckSize1D(count);

    // Entries are 10-bit codes whatever depth the file was written at.
    const double largestCode = static_cast<double>((1 << 10) - 1);
    std::int32_t stored = 0;
    for (std::size_t i = 0; i < data.ChildCount(); ++i) {
        TXMLNode& elem = data.Child(i);
        if (!isEntry(elem)) continue;
        TLutColor& entry = lut.Table1D[stored];
        entry.R = elem.Attributes.Item("r").AsFloat() / largestCode;
        entry.G = elem.Attributes.Item("g").AsFloat() / largestCode;
        entry.B = elem.Attributes.Item("b").AsFloat() / largestCode;
        ++stored;
    }

    lut.LutKind = lk1D;
    lut.Size1D = stored;
}

void TStwo1DLutFormat::Save(const std::string& fileName, const TLUT& lut, int bits) const {
    CheckWriteSize1D(lut);
    CheckBitDepth(bits, MaxCodeBits);
    TTextFile file;
    file.Add("<?xml version=\"1.0\"?>");
    file.Add("<lut name=\"" + BaseNameWithoutExtension(fileName) + "\">");
    file.Add("<data>");
    for (int i = 0; i < lut.Size1D; ++i) {
        const TLutColor& c = lut.Table1D[i];
        file.Add("<elem r=\"" + FormatLutCode(bits, c.R) + "\" g=\"" + FormatLutCode(bits, c.G) + "\" b=\"" +
                 FormatLutCode(bits, c.B) + "\"/>");
    }
    file.Add("</data>");
    file.Add("</lut>");
    file.WriteToFile(fileName);
}

// ---------------------------------------------------------------------------------------------
// Adobe Speedgrade look

TSpeedgradeLook3DLutFormat::TSpeedgradeLook3DLutFormat() {
    Name = "Adobe Speedgrade Look 3D";
    Is3D = true;
    CanWrite = false;  // reads only: Save writes nothing
}

bool TSpeedgradeLook3DLutFormat::Identify(const std::string& fileName) const {
    return TestHeaderKeywords(fileName, "<look>,<shaders", "");
}

void TSpeedgradeLook3DLutFormat::Read(const std::string& fileName, TLUT& lut) {
    TXMLNode document;
    document.LoadFromFile(fileName);

    int size = 0;
    const std::string* data = nullptr;
    if (document.HasChild("look") && document.FindChild("look").HasChild("lut")) {
        const TXMLNode& lutNode = document.FindChild("look").FindChild("lut");
        std::string sizeText = lutNode.FindChild("size").Value.AsString();
        if (!sizeText.empty() && sizeText.front() == '"')
            sizeText = sizeText.size() >= 2 ? sizeText.substr(1, sizeText.size() - 2) : std::string();
        size = StrToInt(sizeText);
        data = &lutNode.FindChild("data").Value.AsString();
    }
    if (size == 0) {
        // A look without a table.
        lut.LutKind = lkPassThrough;
        return;
    }
    CheckSize3D(size);
    Size = size;

    // Eight hex digits per value (other characters skipped), read as the bytes of a
    // little-endian single; three values per entry, red fastest. A value cut off by the end of
    // the text is dropped with its entry.
    const std::string& text = *data;
    const long long total = static_cast<long long>(size) * size * size;
    long long stored = 0;
    float entry[3] = {0.0f, 0.0f, 0.0f};
    int channel = 0;
    std::size_t pos = 0;
    while (stored < total && pos + 1 < text.size()) {
        std::uint32_t bits = 0;
        int digits = 0;
        while (digits < 8 && pos < text.size()) {
            const int digit = HexDigitValue(text[pos++]);
            if (digit < 0) continue;
            // Digit pair k is byte k, least significant first.
            const int byteIndex = digits / 2;
            const int shift = byteIndex * 8 + (digits % 2 == 0 ? 4 : 0);
            bits |= static_cast<std::uint32_t>(digit) << shift;
            ++digits;
        }
        if (digits < 8) break;

        float value = std::bit_cast<float>(bits);
        if (value != value) value = 0.0f;
        entry[channel++] = value;
        if (channel == 3) {
            const long long ri = stored % size;
            const long long gi = (stored / size) % size;
            const long long bi = stored / (static_cast<long long>(size) * size);
            lut.Table3D[ri][gi][bi] = {entry[0], entry[1], entry[2]};
            ++stored;
            channel = 0;
        }
    }

    // A short file keeps the LUT's kind and size, so its partly filled table is never used.
    Complete = stored == total;
    if (!Complete) throw ELUTError("Incomplete file.");
    lut.LutKind = lk3D;
    lut.Size3D = size;
}

void TSpeedgradeLook3DLutFormat::Save(const std::string&, const TLUT&, int) const {
    // Read only: nothing is written.
}

// ---------------------------------------------------------------------------------------------
// ASC CDL

TASC_CDL_Format::TASC_CDL_Format() {
    Name = "ASC CDL";
    Is3D = true;
    CanWrite = false;  // reads only: Save writes nothing
}

bool TASC_CDL_Format::Identify(const std::string& fileName) const {
    return TestHeaderKeywords(fileName, "<ColorCorrection,<SOPNode>", "<ColorCorrectionCollection");
}

void TASC_CDL_Format::Read(const std::string& fileName, TLUT& lut) {
    const TCDLData cdl = ReadCDLFile(fileName);
    lut.Comments.push_back("Name: " + cdl.Id);

    constexpr int size = 33;
    lut.LutKind = lk3D;
    lut.Size3D = size;
    // Slope, offset and power act on each channel alone: 33 values per channel, then the
    // saturation per node, exactly as ApplyCDL computes them.
    float sop[3][size];
    for (int i = 0; i < size; ++i) {
        const float in = static_cast<float>(i) / 32.0f;
        sop[0][i] = ApplySlopeOffsetPower(cdl.R, in);
        sop[1][i] = ApplySlopeOffsetPower(cdl.G, in);
        sop[2][i] = ApplySlopeOffsetPower(cdl.B, in);
    }
    for (int r = 0; r < size; ++r)
        for (int g = 0; g < size; ++g)
            for (int b = 0; b < size; ++b) {
                float outR = 0.0f, outG = 0.0f, outB = 0.0f;
                ApplySaturation(cdl.Saturation, sop[0][r], sop[1][g], sop[2][b], outR, outG, outB);
                lut.Table3D[r][g][b] = {outR, outG, outB};
            }
}

void TASC_CDL_Format::Save(const std::string&, const TLUT&, int) const {
    // Read only: nothing is written.
}

// ---------------------------------------------------------------------------------------------
// PixelFarm PFClean 3D

TPFClean3D_Format::TPFClean3D_Format() {
    Name = "PixelFarm PFClean 3D";
    Is3D = true;
}

bool TPFClean3D_Format::Identify(const std::string& fileName) const {
    return TestHeaderKeywords(fileName, "<lut,<maximum>,<cube>", "");
}

void TPFClean3D_Format::Read(const std::string& fileName, TLUT& lut) {
    TXMLNode document;
    document.LoadFromFile(fileName);

    const TXMLNode& lutNode = document.FindChild("lut");
    const std::int64_t size = lutNode.FindChild("size").Value.AsInteger();
    const std::int64_t maximum = lutNode.FindChild("maximum").Value.AsInteger();
    const TXMLNode& cube = lutNode.FindChild("cube");
    CheckSize3D(size);
    if (maximum < 1)
        throw ELUTError("Invalid maximum code " + std::to_string(maximum) + ": it must be at least 1.");
    Size = static_cast<std::int32_t>(size);

    // Divided by the maximum as read, not by a power of two.
    ReadCodeLines(cube.Value.AsString(), Size, static_cast<double>(maximum), lut);

    lut.LutKind = lk3D;
    lut.Size3D = Size;
}

void TPFClean3D_Format::Save(const std::string& fileName, const TLUT& lut, int bits) const {
    CheckWriteSize3D(lut);
    CheckBitDepth(bits, MaxCodeBits);
    TTextFile file;
    file.Add("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>");
    file.Add("<lut type=\"ascii\">");
    file.Add("<maximum>" + std::to_string((std::int64_t{1} << bits) - 1) + "</maximum>");
    file.Add("<size>" + std::to_string(lut.Size3D) + "</size>");
    file.Add("<cube>");
    AddCodeLines(file, lut, bits);
    file.Add("</cube>");
    file.Add("</lut>");
    file.WriteToFile(fileName);
}

}  // namespace tintavo
