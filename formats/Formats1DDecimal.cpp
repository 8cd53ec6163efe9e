#include "formats/Formats1DDecimal.h"

namespace tintavo {

TCube1DLutFormat::TCube1DLutFormat() {
    Name = "Cube 1D";
    Is3D = false;
}

bool TCube1DLutFormat::Identify(const std::string&) { return false; }

void TCube1DLutFormat::Save(const std::string&, TLUT&, int) {}

void TCube1DLutFormat::ParseLine(const std::string&, TLUT&) {}

TFilmlight1DLutFormat::TFilmlight1DLutFormat() {
    Name = "Filmlight Truelight 1D";
    Is3D = false;
}

bool TFilmlight1DLutFormat::Identify(const std::string&) { return false; }

void TFilmlight1DLutFormat::Save(const std::string&, TLUT&, int) {}

void TFilmlight1DLutFormat::ParseLine(const std::string&, TLUT&) {}

TNucoda1DLutWriterFormat::TNucoda1DLutWriterFormat() {
    Name = "Nucoda 1D";
    Is3D = false;
}

bool TNucoda1DLutWriterFormat::Identify(const std::string&) { return false; }

void TNucoda1DLutWriterFormat::Save(const std::string&, TLUT&, int) {}

TColorFrontOSD1DLutFormat::TColorFrontOSD1DLutFormat() {
    Name = "Colorfront OSD 1D";
    Is3D = false;
}

bool TColorFrontOSD1DLutFormat::Identify(const std::string&) { return false; }

void TColorFrontOSD1DLutFormat::Save(const std::string&, TLUT&, int) {}

void TColorFrontOSD1DLutFormat::ParseLine(const std::string&, TLUT&) {}

TBlackmagic1DLutFormat::TBlackmagic1DLutFormat() {
    Name = "Blackmagic HDLink 1D";
    Is3D = false;
}

bool TBlackmagic1DLutFormat::Identify(const std::string&) { return false; }

void TBlackmagic1DLutFormat::Save(const std::string&, TLUT&, int) {}

void TBlackmagic1DLutFormat::ParseLine(const std::string&, TLUT&) {}

}  // namespace tintavo
