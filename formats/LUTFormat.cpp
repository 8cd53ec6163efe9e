#include "formats/LUTFormat.h"

#include <mutex>

#include "common/FileIO.h"
#include "formats/FormatFSIDIT.h"
#include "formats/Formats1DDecimal.h"
#include "formats/Formats1DInteger.h"
#include "formats/Formats3DDecimal.h"
#include "formats/Formats3DInteger.h"
#include "formats/FormatsXML.h"

namespace tintavo {

namespace {

struct TRegistry {
    std::vector<std::unique_ptr<const TLUTFormat>> Formats;
    std::vector<std::unique_ptr<const TLutOutputProfile>> Profiles;
};

// Built on first use; freed with all its formats and profiles at program end.
TRegistry& Registry() {
    static TRegistry registry;
    return registry;
}

std::once_flag registryBuilt;

const TLutOutputProfile* AppendProfile(const std::string& name, const std::string& extension, int formatIndex,
                                       int defaultSize, int defaultBits, bool sizeSelectable, bool bitsSelectable) {
    auto profile = std::make_unique<TLutOutputProfile>();
    profile->Name = name;
    profile->Extension = extension;
    profile->FormatIndex = formatIndex;
    profile->DefaultSize = defaultSize;
    profile->DefaultBits = defaultBits;
    profile->SizeSelectable = sizeSelectable;
    profile->BitsSelectable = bitsSelectable;
    auto& profiles = Registry().Profiles;
    profiles.push_back(std::move(profile));
    return profiles.back().get();
}

void BuildRegistry() {
    auto& f = Registry().Formats;
    // The index of each format is what the profiles below refer to.
    f.push_back(std::make_unique<TCube3DTruelightLutFormat>());   // 0
    f.push_back(std::make_unique<TCube3DLutFormat>());            // 1
    f.push_back(std::make_unique<TLustre3DLutFormat>());          // 2
    f.push_back(std::make_unique<TPandora3DLutFormat>());         // 3
    f.push_back(std::make_unique<T3dlLutFormat>());               // 4
    f.push_back(std::make_unique<TNucoda3DLutFormat>());          // 5
    f.push_back(std::make_unique<TCodex3DLutFormat>());           // 6
    f.push_back(std::make_unique<TCube1DLutFormat>());            // 7
    f.push_back(std::make_unique<TClipster3DLutFormat>());        // 8
    f.push_back(std::make_unique<TLuther3DLutFormat>());          // 9
    f.push_back(std::make_unique<TColorFrontOSD3DLutFormat>());   // 10
    f.push_back(std::make_unique<TDavinciDat3DLutFormat>());      // 11
    f.push_back(std::make_unique<TQuantel3DLutFormat>());         // 12
    f.push_back(std::make_unique<TCodex1DLutFormat>());           // 13
    f.push_back(std::make_unique<TLustre1DLutFormat>());          // 14
    f.push_back(std::make_unique<TFilmlight1DLutFormat>());       // 15
    f.push_back(std::make_unique<TQuantel1DLutFormat>());         // 16
    f.push_back(std::make_unique<TStwo1DLutFormat>());            // 17
    f.push_back(std::make_unique<TNucoda1DLutWriterFormat>());    // 18
    f.push_back(std::make_unique<TColorFrontOSD1DLutFormat>());   // 19
    f.push_back(std::make_unique<TFusion1DLutFormat>());          // 20
    f.push_back(std::make_unique<TBlackmagic1DLutFormat>());      // 21
    f.push_back(std::make_unique<TCinetal1DLutFormat>());         // 22
    f.push_back(std::make_unique<TShake1DLutFormat>());           // 23
    f.push_back(std::make_unique<TDavinciILut1DLutFormat>());     // 24
    f.push_back(std::make_unique<TDavinciOLut1DLutFormat>());     // 25
    f.push_back(std::make_unique<TSpeedgradeLook3DLutFormat>());  // 26
    f.push_back(std::make_unique<TASC_CDL_Format>());             // 27
    f.push_back(std::make_unique<TPFClean3D_Format>());           // 28
    f.push_back(std::make_unique<TFSI_CFE_3DLutFormat>());        // 29
    f.push_back(std::make_unique<TFSI_DIT_3DLutFormat>());        // 30

    // In the order of the Save dialog's list; the 3D profiles come first.
    AppendProfile("3DL Scratch, Autodesk, Blackmagic, Cine-tal", "3dl", 4, 17, 12, false, false);
    AppendProfile("3DL Fusion", "3dl", 4, 33, 12, false, false);
    AppendProfile("Autodesk Lustre 3D", "lut", 2, 33, 12, false, false);
    AppendProfile("Clipster 3D", "txt", 8, 17, 16, false, false);
    AppendProfile("Codex 3D", "txt", 6, 17, 12, false, false);
    AppendProfile("Colorfront OSD 3D", "3dmesh", 10, 17, 0, false, false);
    AppendProfile("Cube 3D Iridas, Nuke, AfterEffects", "cube", 1, 32, 0, false, false);
    AppendProfile("Cube 3D Davinci", "cube", 1, 33, 0, true, false);
    AppendProfile("Cube 3D Truelight", "cube", 0, 32, 0, false, false);
    AppendProfile("Davinci DAT 3D", "dat", 11, 33, 0, false, false);
    AppendProfile("Dolby DD3", "dd3", 4, 17, 12, false, false);
    AppendProfile("FSI CFE (Flanders Scientific) 3D", "cfe", 29, 17, 0, false, false);
    AppendProfile("FSI DIT (Flanders Scientific) 3D", "dat", 30, 64, 10, false, false);
    AppendProfile("Nucoda 3D", "cms", 5, 33, 0, true, false);
    AppendProfile("Luther 3D", "txt", 9, 33, 10, false, false);
    AppendProfile("Pandora 3D, Apple 3D m3d", "m3d", 3, 17, 16, false, false);
    AppendProfile("PixelFarm PFClean 3D", "pfl", 28, 16, 8, false, false);
    AppendProfile("Quantel 3D", "txt", 12, 17, 12, false, false);
    AppendProfile("Technicolor 3D mga", "mga", 3, 33, 16, false, false);
    AppendProfile("Autodesk Lustre 1D", "lut", 14, 65536, 16, true, true);
    AppendProfile("Blackmagic HDLink 1D", "txt", 21, 1024, 0, false, false);
    AppendProfile("Cine-tal 1D", "txt", 22, 1024, 10, false, false);
    AppendProfile("Codex 1D, Sony SRW-1, Scratch 1D", "dat", 13, 1024, 10, false, false);
    AppendProfile("Colorfront OSD 1D", "1dlut", 19, 1024, 0, false, false);
    AppendProfile("Cube 1D", "cube", 7, 4096, 0, false, false);
    AppendProfile("Filmlight Truelight 1D", "cube", 15, 4096, 0, false, false);
    AppendProfile("Fusion 1D", "alut", 20, 65536, 16, false, false);
    AppendProfile("Nucoda 1D", "cms", 18, 4096, 0, false, false);
    AppendProfile("Quantel 1D", "txt", 16, 1024, 10, false, false);
    AppendProfile("S.two 1D", "swto.xml", 17, 1024, 10, false, false);
    AppendProfile("Shake 1D", "txt", 23, 65536, 16, false, false);
}

}  // namespace

void RegisterLutFormats() { std::call_once(registryBuilt, BuildRegistry); }

const std::vector<std::unique_ptr<const TLUTFormat>>& LutFormats() {
    RegisterLutFormats();
    return Registry().Formats;
}

const std::vector<std::unique_ptr<const TLutOutputProfile>>& OutputProfiles() {
    RegisterLutFormats();
    return Registry().Profiles;
}

const TLUTFormat* GetLutFormat(int index) {
    const auto& formats = LutFormats();
    if (index < 0 || static_cast<std::size_t>(index) >= formats.size()) return nullptr;
    return formats[static_cast<std::size_t>(index)].get();
}

const TLutOutputProfile* GetOutputProfile(int index) { return OutputProfiles().at(static_cast<std::size_t>(index)).get(); }

const TLutOutputProfile* AddOutputProfile(const std::string& name, const std::string& extension, int formatIndex,
                                          int defaultSize, int defaultBits, bool sizeSelectable,
                                          bool bitsSelectable) {
    RegisterLutFormats();
    return AppendProfile(name, extension, formatIndex, defaultSize, defaultBits, sizeSelectable, bitsSelectable);
}

void LoadLut(const TLUTFormat& format, const std::string& fileName, TLUT& lut) {
    auto scratch = std::make_unique<TLUT>();
    scratch->CopyFrom(lut);
    format.Load(fileName, *scratch);
    lut.CopyFrom(*scratch);
}

int IdentifyLutFormat(const std::string& fileName) {
    // Opening the file first gives a plain "cannot open" message rather than a format's.
    ReadFileHeadBytes(fileName, 1);
    const auto& formats = LutFormats();
    for (int i = 0; i < static_cast<int>(formats.size()); ++i)
        if (formats[i]->CanRead && formats[i]->Identify(fileName)) return i;
    return -1;
}

std::string ReadFileHead(const std::string& fileName, int count) {
    return ReadFileHeadBytes(fileName, count > 0 ? static_cast<std::size_t>(count) : 0);
}

}  // namespace tintavo
