// FSI DIT (Flanders Scientific): a binary 3D layout of a 128-byte header and 64^3 packed
// 32-bit words, red changing fastest. Each word holds three 10-bit codes (red in bits 0-9,
// green 10-19, blue 20-29) where 1008, not 1023, is the code of 1.0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/LUTFormat.h"

namespace tintavo {

class TFSI_DIT_3DLutFormat : public TLUTFormat {
public:
    static constexpr std::uint32_t Magic = 0x42340299u;
    static constexpr int HeaderSize = 128;
    static constexpr int GridSize = 64;  // the only size the layout holds

    TFSI_DIT_3DLutFormat();
    bool Identify(const std::string& fileName) const override;
    void Load(const std::string& fileName, TLUT& lut) const override;
    void Save(const std::string& fileName, const TLUT& lut, int bits) const override;

    // The complete file image of `lut` (header with both checksums, then the data words).
    static std::vector<std::uint8_t> Encode(const TLUT& lut);
    // One packed word; values outside the 10-bit field are clamped into 0..1023.
    static std::uint32_t PackWord(const TLutColor& color);
};

}  // namespace tintavo
