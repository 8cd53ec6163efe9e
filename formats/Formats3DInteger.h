// The 3D text layouts whose entries are integer codes: 3DL, Autodesk Lustre 3D, Pandora 3D,
// Codex 3D, Luther 3D and Quantel 3D.
//
// Every layout writes one data line per table entry, blue changing fastest (line k is the
// entry with b + N*g + N*N*r = k), each code made by FormatLutCode at the bit depth passed to
// Save. Every line, the last too, ends with one line feed.
#pragma once

#include <memory>
#include <string>

#include "formats/LUTFormatImps.h"

namespace tintavo {

// 3DL (Scratch, Autodesk, Blackmagic, Cine-tal, Fusion, Dolby DD3): an input grid line
// spanning 0..1023, then the codes. 12-bit codes unless some code exceeds 4095 (16-bit).
class T3dlLutFormat : public TGenericLutFormat {
public:
    T3dlLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<T3dlLutFormat>(*this);
    }
    void Prepare(TTextReader& lines) override;
    void ParseLine(const std::string& line, TLUT& lut) override;
};

// Autodesk Lustre 3D: "3DMESH", "Mesh <log2(N-1)> <bits>", the codes, "LUT8", "gamma 1.0".
class TLustre3DLutFormat : public TGenericLutFormat {
public:
    TLustre3DLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TLustre3DLutFormat>(*this);
    }
    void Read(const std::string& fileName, TLUT& lut) override;
    void ParseLine(const std::string& line, TLUT& lut) override;
};

// Pandora 3D and Technicolor mga: a header block, "in N^3", "out 2^bits", then data lines
// with a leading index column, tab separated.
class TPandora3DLutFormat : public TGenericLutFormat {
public:
    TPandora3DLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TPandora3DLutFormat>(*this);
    }
    void ParseLine(const std::string& line, TLUT& lut) override;
};

// Codex 3D: "Lut3D: N", a column title line, then 12-bit codes.
class TCodex3DLutFormat : public TGenericLutFormat {
public:
    TCodex3DLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TCodex3DLutFormat>(*this);
    }
    void ParseLine(const std::string& line, TLUT& lut) override;

    int ReadBits = 12;  // bit depth of the codes when reading
};

// Luther 3D: "#channels: c3", "#elements = N^3", then codes read as 10-bit.
class TLuther3DLutFormat : public TGenericLutFormat {
public:
    TLuther3DLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TLuther3DLutFormat>(*this);
    }
    void ParseLine(const std::string& line, TLUT& lut) override;
};

// Quantel 3D: "max value", "vertices" and a short description, then the codes.
class TQuantel3DLutFormat : public TGenericLutFormat {
public:
    TQuantel3DLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TQuantel3DLutFormat>(*this);
    }
    void ParseLine(const std::string& line, TLUT& lut) override;
};

}  // namespace tintavo
