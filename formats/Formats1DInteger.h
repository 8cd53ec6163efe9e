// One-dimensional LUT text layouts whose values are integer codes: Codex 1D (Scratch),
// Autodesk Lustre 1D, Quantel 1D, Fusion 1D, Cine-tal 1D and Shake 1D (write only), and the
// DaVinci Resolve ilut and olut layouts (read only).
//
// Every layout reads and writes Table1D of the TLUT; writers never resample and write entry 0
// first. Readers go through the generic load of TGenericLutFormat.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "formats/LUTFormatImps.h"

namespace tintavo {

// Codex 1D, Scratch 1D: planar, all red values, then all green, then all blue.
//   # Converted by Vorn LUT Converter
//
//   LUT: 3 2
//
//   0
//   1023
//   ... (green, then blue)
// A header with one channel gives one column that feeds all three curves. Values read back are
// divided by Size - 1 whatever depth they were written at.
class TCodex1DLutFormat : public TGenericLutFormat {
public:
    TCodex1DLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TCodex1DLutFormat>(*this);
    }
    void ParseLine(const std::string& line, TLUT& lut) override;

    std::int32_t ChannelCount = 0;  // from the header
    std::int32_t Channel = 1;       // channel being filled: 1 = R, 2 = G, 3 = B
};

// Autodesk Lustre 1D: "LUT16" or "LUT12", then index, R, G, B per line.
class TLustre1DLutFormat : public TGenericLutFormat {
public:
    TLustre1DLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TLustre1DLutFormat>(*this);
    }
    void ParseLine(const std::string& line, TLUT& lut) override;
};

// Quantel 1D: "gMax" (largest code) and "gSize" (length) header lines, then R G B codes.
class TQuantel1DLutFormat : public TGenericLutFormat {
public:
    TQuantel1DLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TQuantel1DLutFormat>(*this);
    }
    void ParseLine(const std::string& line, TLUT& lut) override;
};

// Fusion 1D: "F5LT", the bit depth alone on a line, then i R i G i B per line.
class TFusion1DLutFormat : public TGenericLutFormat {
public:
    TFusion1DLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TFusion1DLutFormat>(*this);
    }
    void ParseLine(const std::string& line, TLUT& lut) override;
};

// Cine-tal 1D: bare R G B code lines; written only.
class TCinetal1DLutFormat : public TGenericLutFormat {
public:
    TCinetal1DLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TCinetal1DLutFormat>(*this);
    }
};

// Shake 1D: the same bare R G B code lines as Cine-tal; written only.
class TShake1DLutFormat : public TGenericLutFormat {
public:
    TShake1DLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TShake1DLutFormat>(*this);
    }
};

// DaVinci Resolve input LUT (".ilut"): R G B lines of 14-bit codes; read only.
class TDavinciILut1DLutFormat : public TGenericLutFormat {
public:
    TDavinciILut1DLutFormat();
    bool Identify(const std::string& fileName) const override;
    // Resolve LUTs are not written: creates no file.
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TDavinciILut1DLutFormat>(*this);
    }
    void ParseLine(const std::string& line, TLUT& lut) override;
};

// DaVinci Resolve output LUT (".olut"): R G B lines of 12-bit codes; read only.
class TDavinciOLut1DLutFormat : public TGenericLutFormat {
public:
    TDavinciOLut1DLutFormat();
    bool Identify(const std::string& fileName) const override;
    // Resolve LUTs are not written: creates no file.
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override {
        return std::make_unique<TDavinciOLut1DLutFormat>(*this);
    }
    void ParseLine(const std::string& line, TLUT& lut) override;
};

}  // namespace tintavo
