// One-dimensional LUT text layouts whose values are decimal fractions: Cube 1D, Filmlight
// Truelight 1D, Nucoda 1D (write only), Colorfront OSD 1D and Blackmagic HDLink 1D.
//
// Every layout reads and writes Table1D of the TLUT; writers never resample and write entry 0
// first. Readers go through the generic load of TGenericLutFormat.
#pragma once

#include <memory>
#include <string>

#include "formats/LUTFormatImps.h"
#include "formats/TextLayout.h"

namespace tintavo {

// Helpers shared by the 1D layouts (the line tests live in TextLayout.h).
// The integer that follows `keyword` (found with PosNoCase) after `skip` further characters,
// trimmed; raises EConvertError when that text is not an integer. The keyword must occur.
int IntegerAfterKeyword(const std::string& keyword, const std::string& line, int skip);
// Refuses to write a table whose Size1D lies outside 0..MaxLut1DSize (ELUTError); a size of 0
// writes the headers only.
void CheckSize1DToWrite(const TLUT& lut);

// Cube 1D:
//   # Converted by Vorn LUT Converter
//
//   LUT_1D_SIZE 2
//   0.000000 0.000000 0.000000
//   1.000000 1.000000 1.000000
class TCube1DLutFormat : public TGenericLutFormat {
public:
    TCube1DLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TCube1DLutFormat>(*this);
    }
    void ParseLine(const std::string& line, TLUT& lut) override;
};

// Filmlight Truelight 1D: a Truelight cube with only an input LUT; the length is given in the
// "# lutLength" comment.
class TFilmlight1DLutFormat : public TGenericLutFormat {
public:
    TFilmlight1DLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TFilmlight1DLutFormat>(*this);
    }
    void ParseLine(const std::string& line, TLUT& lut) override;
};

// Nucoda 1D: written only; Identify is always false.
class TNucoda1DLutWriterFormat : public TGenericLutFormat {
public:
    TNucoda1DLutWriterFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TNucoda1DLutWriterFormat>(*this);
    }
};

// Colorfront OSD 1D: bare entry lines, recognised by the ".1dlut" extension.
class TColorFrontOSD1DLutFormat : public TGenericLutFormat {
public:
    TColorFrontOSD1DLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TColorFrontOSD1DLutFormat>(*this);
    }
    void ParseLine(const std::string& line, TLUT& lut) override;
};

// Blackmagic HDLink 1D: a column header, then values scaled by 1000 with two decimals.
class TBlackmagic1DLutFormat : public TGenericLutFormat {
public:
    TBlackmagic1DLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TBlackmagic1DLutFormat>(*this);
    }
    void ParseLine(const std::string& line, TLUT& lut) override;
};

}  // namespace tintavo
