#include "formats/FormatFSIDIT.h"

namespace tintavo {

TFSI_DIT_3DLutFormat::TFSI_DIT_3DLutFormat() { Name = "FSI DIT (Flanders Scientific) 3D"; Is3D = true; }
bool TFSI_DIT_3DLutFormat::Identify(const std::string&) { return false; }
void TFSI_DIT_3DLutFormat::Load(const std::string&, TLUT&) { throw ELUTError("Not available yet."); }
void TFSI_DIT_3DLutFormat::Save(const std::string&, TLUT&, int) { throw ELUTError("Not available yet."); }
std::vector<std::uint8_t> TFSI_DIT_3DLutFormat::Encode(const TLUT&) { return {}; }
std::uint32_t TFSI_DIT_3DLutFormat::PackWord(const TLutColor&) { return 0; }

}  // namespace tintavo
