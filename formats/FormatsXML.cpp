#include "formats/FormatsXML.h"

namespace tintavo {

TClipster3DLutFormat::TClipster3DLutFormat() {
    Name = "Clipster 3D";
    Is3D = true;
}
bool TClipster3DLutFormat::Identify(const std::string&) { return false; }
void TClipster3DLutFormat::Load(const std::string&, TLUT&) {}
void TClipster3DLutFormat::Save(const std::string&, TLUT&, int) {}

TStwo1DLutFormat::TStwo1DLutFormat() {
    Name = "S.two 1D";
    Is3D = false;
    ValueRange = 10;
}
bool TStwo1DLutFormat::Identify(const std::string&) { return false; }
void TStwo1DLutFormat::Load(const std::string&, TLUT&) {}
void TStwo1DLutFormat::Save(const std::string&, TLUT&, int) {}

TSpeedgradeLook3DLutFormat::TSpeedgradeLook3DLutFormat() {
    Name = "Adobe Speedgrade Look 3D";
    Is3D = true;
}
bool TSpeedgradeLook3DLutFormat::Identify(const std::string&) { return false; }
void TSpeedgradeLook3DLutFormat::Load(const std::string&, TLUT&) {}
void TSpeedgradeLook3DLutFormat::Save(const std::string&, TLUT&, int) {}

TASC_CDL_Format::TASC_CDL_Format() {
    Name = "ASC CDL";
    Is3D = true;
}
bool TASC_CDL_Format::Identify(const std::string&) { return false; }
void TASC_CDL_Format::Load(const std::string&, TLUT&) {}
void TASC_CDL_Format::Save(const std::string&, TLUT&, int) {}

TPFClean3D_Format::TPFClean3D_Format() {
    Name = "PixelFarm PFClean 3D";
    Is3D = true;
}
bool TPFClean3D_Format::Identify(const std::string&) { return false; }
void TPFClean3D_Format::Load(const std::string&, TLUT&) {}
void TPFClean3D_Format::Save(const std::string&, TLUT&, int) {}

}  // namespace tintavo
