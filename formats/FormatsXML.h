// The XML-based LUT layouts: Clipster 3D, PixelFarm PFClean 3D and S.two 1D (read and write),
// Adobe Speedgrade Look 3D and ASC CDL (read only).
//
// The readers parse the whole file with TXMLNode and replace the generic line-by-line load; the
// writers compose the XML text line by line, so every line (the last included) ends with one LF.
#pragma once

#include <memory>
#include <string>

#include "formats/LUTFormatImps.h"

namespace tintavo {

// <LUT3D name='..' N='..' BitDepth='..'> with a <values> element of integer code triples,
// blue fastest.
class TClipster3DLutFormat : public TGenericLutFormat {
public:
    TClipster3DLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TClipster3DLutFormat>(*this);
    }
    void Read(const std::string& fileName, TLUT& lut) override;
};

// <lut name=".."><data><elem r=".." g=".." b=".."/>...; values are 10-bit codes when read.
class TStwo1DLutFormat : public TGenericLutFormat {
public:
    TStwo1DLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TStwo1DLutFormat>(*this);
    }
    void Read(const std::string& fileName, TLUT& lut) override;
};

// <look><lut><size>..</size><data>hex little-endian floats, red fastest</data></lut></look>.
// Read only: Save writes nothing.
class TSpeedgradeLook3DLutFormat : public TGenericLutFormat {
public:
    TSpeedgradeLook3DLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TSpeedgradeLook3DLutFormat>(*this);
    }
    void Read(const std::string& fileName, TLUT& lut) override;
};

// A single ASC ColorCorrection, tabulated as a 33-point 3D LUT. Read only: Save writes nothing.
class TASC_CDL_Format : public TGenericLutFormat {
public:
    TASC_CDL_Format();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TASC_CDL_Format>(*this);
    }
    void Read(const std::string& fileName, TLUT& lut) override;
};

// <lut type="ascii"><maximum>..</maximum><size>..</size><cube>code triples, blue fastest</cube>.
class TPFClean3D_Format : public TGenericLutFormat {
public:
    TPFClean3D_Format();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TPFClean3D_Format>(*this);
    }
    void Read(const std::string& fileName, TLUT& lut) override;
};

}  // namespace tintavo
