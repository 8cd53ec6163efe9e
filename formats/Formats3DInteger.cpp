#include "formats/Formats3DInteger.h"

#include "formats/LUTFormat.h"

namespace tintavo {

T3dlLutFormat::T3dlLutFormat() { Name = "3DL"; Is3D = true; }
bool T3dlLutFormat::Identify(const std::string&) { return false; }
void T3dlLutFormat::Save(const std::string&, TLUT&, int) { throw ELUTError("Not available yet."); }
void T3dlLutFormat::Prepare(TTextFile&) {}
void T3dlLutFormat::ParseLine(const std::string&, TLUT&) {}

TLustre3DLutFormat::TLustre3DLutFormat() { Name = "Autodesk Lustre 3D"; Is3D = true; }
bool TLustre3DLutFormat::Identify(const std::string&) { return false; }
void TLustre3DLutFormat::Load(const std::string&, TLUT&) { throw ELUTError("Not available yet."); }
void TLustre3DLutFormat::Save(const std::string&, TLUT&, int) { throw ELUTError("Not available yet."); }

TPandora3DLutFormat::TPandora3DLutFormat() { Name = "Pandora 3D, Technicolor"; Is3D = true; }
bool TPandora3DLutFormat::Identify(const std::string&) { return false; }
void TPandora3DLutFormat::Save(const std::string&, TLUT&, int) { throw ELUTError("Not available yet."); }
void TPandora3DLutFormat::ParseLine(const std::string&, TLUT&) {}

TCodex3DLutFormat::TCodex3DLutFormat() { Name = "Codex 3D"; Is3D = true; }
bool TCodex3DLutFormat::Identify(const std::string&) { return false; }
void TCodex3DLutFormat::Save(const std::string&, TLUT&, int) { throw ELUTError("Not available yet."); }
void TCodex3DLutFormat::ParseLine(const std::string&, TLUT&) {}

TLuther3DLutFormat::TLuther3DLutFormat() { Name = "Luther 3D"; Is3D = true; }
bool TLuther3DLutFormat::Identify(const std::string&) { return false; }
void TLuther3DLutFormat::Save(const std::string&, TLUT&, int) { throw ELUTError("Not available yet."); }
void TLuther3DLutFormat::ParseLine(const std::string&, TLUT&) {}

TQuantel3DLutFormat::TQuantel3DLutFormat() { Name = "Quantel 3D"; Is3D = true; }
bool TQuantel3DLutFormat::Identify(const std::string&) { return false; }
void TQuantel3DLutFormat::Save(const std::string&, TLUT&, int) { throw ELUTError("Not available yet."); }
void TQuantel3DLutFormat::ParseLine(const std::string&, TLUT&) {}

}  // namespace tintavo
