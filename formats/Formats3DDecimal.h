// The 3D text layouts whose entries are decimal fractions: Cube 3D, Cube 3D Truelight, FSI CFE,
// Nucoda 3D, Davinci DAT 3D and Colorfront OSD 3D.
//
// Every layout lists one data line per table entry, red changing fastest (line k is the entry
// with r + N*g + N*N*b = k), each value with six decimals and "." as separator, one blank
// between the values. A minimal Cube 3D file (N = 2, identity):
//
//     # Converted by Vorn LUT Converter
//
//     LUT_3D_SIZE 2
//     0.000000 0.000000 0.000000
//     1.000000 0.000000 0.000000
//     0.000000 1.000000 0.000000
//     1.000000 1.000000 0.000000
//     0.000000 0.000000 1.000000
//     1.000000 0.000000 1.000000
//     0.000000 1.000000 1.000000
//     1.000000 1.000000 1.000000
#pragma once

#include <memory>
#include <string>

#include "formats/LUTFormatImps.h"

namespace tintavo {

// Cube 3D (Iridas, Nuke, After Effects, DaVinci): comments, "LUT_3D_SIZE N", the data.
class TCube3DLutFormat : public TGenericLutFormat {
public:
    TCube3DLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TCube3DLutFormat>(*this);
    }
    void ParseLine(const std::string& line, TLUT& lut) override;
    // Called for every non-empty line until the size is known; finds the size.
    virtual void ParseHeaderLine(const std::string& line, TLUT& lut);
};

// Truelight cube: "# width N N N" header, the data between "# Cube" and "# end".
class TCube3DTruelightLutFormat : public TCube3DLutFormat {
public:
    TCube3DTruelightLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TCube3DTruelightLutFormat>(*this);
    }
    void ParseHeaderLine(const std::string& line, TLUT& lut) override;
};

// FSI CFE (Flanders Scientific): a Cube 3D file with author, model and version lines.
class TFSI_CFE_3DLutFormat : public TCube3DLutFormat {
public:
    TFSI_CFE_3DLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TFSI_CFE_3DLutFormat>(*this);
    }
};

// Nucoda 3D: "NUCODA_3D_CUBE 1", a title, a 4096-entry shaper scaled by 33, then the cube.
class TNucoda3DLutFormat : public TGenericLutFormat {
public:
    TNucoda3DLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TNucoda3DLutFormat>(*this);
    }
    void Read(const std::string& fileName, TLUT& lut) override;
    void ParseLine(const std::string& line, TLUT& lut) override;

    std::int32_t Size1DRead = 0;       // 1D size read from the file
    std::int32_t ShaperLength = 4096;  // shaper entries written
    std::int32_t Version = 0;          // format version read from the file
    bool Has1D = false;
    bool Has3D = false;
};

// Davinci DAT 3D: "3DLUTSIZE N", then the data with the components in the order B G R. Files
// without the size keyword are sized by the cube root of their number of data lines.
class TDavinciDat3DLutFormat : public TGenericLutFormat {
public:
    TDavinciDat3DLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TDavinciDat3DLutFormat>(*this);
    }
    void Read(const std::string& fileName, TLUT& lut) override;
    void Prepare(TTextReader& lines) override;
    void ParseLine(const std::string& line, TLUT& lut) override;

    bool HasSizeKeyword = false;
    std::int32_t DataLineCount = 0;  // lines of the whole file that hold three numbers
};

// Colorfront OSD 3D (.3dmesh): only the data, components in the order B G R; sized by the cube
// root of the number of data lines.
class TColorFrontOSD3DLutFormat : public TGenericLutFormat {
public:
    TColorFrontOSD3DLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TColorFrontOSD3DLutFormat>(*this);
    }
    void Prepare(TTextReader& lines) override;
    void ParseLine(const std::string& line, TLUT& lut) override;

    std::int32_t DataLineCount = 0;
};

}  // namespace tintavo
