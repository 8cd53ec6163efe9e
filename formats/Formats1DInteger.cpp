#include "formats/Formats1DInteger.h"

namespace tintavo {

TCodex1DLutFormat::TCodex1DLutFormat() {
    Name = "Codex 1D, Scratch 1D";
    Is3D = false;
}

bool TCodex1DLutFormat::Identify(const std::string&) { return false; }

void TCodex1DLutFormat::Save(const std::string&, TLUT&, int) {}

void TCodex1DLutFormat::ParseLine(const std::string&, TLUT&) {}

TLustre1DLutFormat::TLustre1DLutFormat() {
    Name = "Autodesk Lustre 1D";
    Is3D = false;
}

bool TLustre1DLutFormat::Identify(const std::string&) { return false; }

void TLustre1DLutFormat::Save(const std::string&, TLUT&, int) {}

void TLustre1DLutFormat::ParseLine(const std::string&, TLUT&) {}

TQuantel1DLutFormat::TQuantel1DLutFormat() {
    Name = "Quantel 1D";
    Is3D = false;
}

bool TQuantel1DLutFormat::Identify(const std::string&) { return false; }

void TQuantel1DLutFormat::Save(const std::string&, TLUT&, int) {}

void TQuantel1DLutFormat::ParseLine(const std::string&, TLUT&) {}

TFusion1DLutFormat::TFusion1DLutFormat() {
    Name = "Fusion 1D";
    Is3D = false;
}

bool TFusion1DLutFormat::Identify(const std::string&) { return false; }

void TFusion1DLutFormat::Save(const std::string&, TLUT&, int) {}

void TFusion1DLutFormat::ParseLine(const std::string&, TLUT&) {}

TCinetal1DLutFormat::TCinetal1DLutFormat() {
    Name = "Cine-tal 1D";
    Is3D = false;
}

bool TCinetal1DLutFormat::Identify(const std::string&) { return false; }

void TCinetal1DLutFormat::Save(const std::string&, TLUT&, int) {}

TShake1DLutFormat::TShake1DLutFormat() {
    Name = "Shake 1D";
    Is3D = false;
}

bool TShake1DLutFormat::Identify(const std::string&) { return false; }

void TShake1DLutFormat::Save(const std::string&, TLUT&, int) {}

TDavinciILut1DLutFormat::TDavinciILut1DLutFormat() {
    Name = "DaVinci Resolve ilut 1D";
    Is3D = false;
}

bool TDavinciILut1DLutFormat::Identify(const std::string&) { return false; }

void TDavinciILut1DLutFormat::Save(const std::string&, TLUT&, int) {}

void TDavinciILut1DLutFormat::ParseLine(const std::string&, TLUT&) {}

TDavinciOLut1DLutFormat::TDavinciOLut1DLutFormat() {
    Name = "DaVinci Resolve olut 1D";
    Is3D = false;
}

bool TDavinciOLut1DLutFormat::Identify(const std::string&) { return false; }

void TDavinciOLut1DLutFormat::Save(const std::string&, TLUT&, int) {}

void TDavinciOLut1DLutFormat::ParseLine(const std::string&, TLUT&) {}

}  // namespace tintavo
