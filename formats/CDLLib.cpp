#include "formats/CDLLib.h"

#include <cmath>

#include "formats/LUTFormatImps.h"
#include "formats/XMLNode.h"

namespace tintavo {

namespace {

// Slope, Offset and Power hold three numbers; the text is cut as stored, untrimmed, so a
// leading blank gives an empty first item, which is not a number.
void ReadTriple(const TXMLNode& sop, const char* element, float TCDLChannel::*field, TCDLData& cdl) {
    std::string text = sop.FindChild(element).Value.AsString();
    TCDLChannel* channels[3] = {&cdl.R, &cdl.G, &cdl.B};
    for (TCDLChannel* channel : channels) {
        const std::string item = NextToken(text);
        channel->*field = static_cast<float>(StrToFloat(item));
    }
}

}  // namespace

TCDLData ReadCDLFile(const std::string& fileName) {
    TXMLNode document;
    document.LoadFromFile(fileName);

    TCDLData cdl;
    TXMLNode& correction = document.FindChild("ColorCorrection");
    cdl.Id = correction.Attributes.Item("id").AsString();

    const TXMLNode& sop = correction.FindChild("SOPNode");
    ReadTriple(sop, "Slope", &TCDLChannel::Slope, cdl);
    ReadTriple(sop, "Offset", &TCDLChannel::Offset, cdl);
    ReadTriple(sop, "Power", &TCDLChannel::Power, cdl);

    cdl.Saturation = 1.0f;
    if (correction.HasChild("SATNode")) {
        const TXMLNode& sat = correction.FindChild("SATNode");
        if (sat.HasChild("Saturation"))
            cdl.Saturation = static_cast<float>(sat.FindChild("Saturation").Value.AsFloat());
    }
    return cdl;
}

float ApplySlopeOffsetPower(const TCDLChannel& c, float in) {
    const float t = in * c.Slope + c.Offset;
    return t > 0.0f ? std::pow(t, c.Power) : 0.0f;
}

void ApplySaturation(float s, float r, float g, float b, float& outR, float& outG, float& outB) {
    const float mean = (r + g + b) / 3.0f;
    const float rest = (1.0f - s) * mean;
    outR = r * s + rest;
    outG = g * s + rest;
    outB = b * s + rest;
}

void ApplyCDL(const TCDLData& cdl, float inR, float inG, float inB, float& outR, float& outG, float& outB) {
    ApplySaturation(cdl.Saturation, ApplySlopeOffsetPower(cdl.R, inR), ApplySlopeOffsetPower(cdl.G, inG),
                    ApplySlopeOffsetPower(cdl.B, inB), outR, outG, outB);
}

}  // namespace tintavo
