// ASC CDL: one colour correction (slope, offset, power per channel, then saturation) read from
// a .cc file and applied to a colour.
//
//   <ColorCorrection id="shot42">
//     <SOPNode>
//       <Slope>1.1 1.0 0.9</Slope>
//       <Offset>0.01 0 -0.02</Offset>
//       <Power>1 1 1.2</Power>
//     </SOPNode>
//     <SATNode><Saturation>0.8</Saturation></SATNode>
//   </ColorCorrection>
#pragma once

#include <string>

namespace tintavo {

struct TCDLChannel {
    float Slope = 1.0f;
    float Offset = 0.0f;
    float Power = 1.0f;
};

struct TCDLData {
    TCDLChannel R;
    TCDLChannel G;
    TCDLChannel B;
    float Saturation = 1.0f;
    std::string Id;
};

// Reads the single ColorCorrection at the top of the file. A missing element raises
// `The "Slope" node is not found`; an item that is not a number raises EConvertError
// "'x' is not a valid floating point value".
TCDLData ReadCDLFile(const std::string& fileName);

// out = max(in * slope + offset, 0) ^ power per channel (no clamp at 1), then saturation
// around the plain mean of the three channels. All arithmetic in single precision.
void ApplyCDL(const TCDLData& cdl, float inR, float inG, float inB, float& outR, float& outG, float& outB);

// The two steps of ApplyCDL, for callers that reuse a channel's result over a grid:
// max(in * slope + offset, 0) ^ power, and the saturation of the three results.
float ApplySlopeOffsetPower(const TCDLChannel& channel, float in);
void ApplySaturation(float saturation, float r, float g, float b, float& outR, float& outG, float& outB);

}  // namespace tintavo
