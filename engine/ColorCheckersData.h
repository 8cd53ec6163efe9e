// Unit ColorCheckersData: the known colours of the two supported charts and their patch order.
//
// ColorChecker Classic: 24 patches, 6 columns x 4 rows, numbered row-major
// (index = row x 6 + column). ColorChecker Digital SG: 140 patches, 14 columns x 10 rows,
// numbered column-major (index = column x 10 + row). Row 0 and column 0 are at the corner where
// the user started dragging the selection.
//
// The values are kept in the RGB encoding of the 8-bit pixels of the photographed chart (no
// linearisation). They are written on the 0..255 scale and brought to 0..1 once, when the
// program starts (NormalizeReferences); from then on every consumer sees 0..1 values.
#pragma once

#include "lut/LUT.h"

namespace tintavo {

constexpr int MaxPatches = 140;  // capacity of both tables
constexpr int ClassicPatchCount = 24;
constexpr int SGPatchCount = 140;

// Read-only after start-up. Classic entries 24..139 are (0, 0, 0) and never used.
extern const TLutColor (&ClassicReference)[MaxPatches];
extern const TLutColor (&SGReference)[MaxPatches];

// Brings both tables from 0..255 to 0..1: negative components become 0, the others are divided
// by 255, and Digital SG components above 1 become 1. Runs once from this unit's static
// initialisation; later calls do nothing, so code that runs during static initialisation of
// another unit may call it before reading the tables.
void NormalizeReferences();

}  // namespace tintavo
