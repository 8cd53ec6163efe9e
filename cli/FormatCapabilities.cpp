#include "cli/FormatCapabilities.h"

namespace tintavo::cli {

TFormatCapabilities FormatCapabilities(int formatIndex) {
    switch (formatIndex) {
        case 18:  // Nucoda 1D: a writer; its Identify is always false
        case 22:  // Cine-tal 1D
        case 23:  // Shake 1D
            return {false, true};
        case 24:  // DaVinci Resolve ilut 1D: readers whose Save writes nothing
        case 25:  // DaVinci Resolve olut 1D
        case 26:  // Adobe Speedgrade Look 3D
        case 27:  // ASC CDL
            return {true, false};
        default:
            return {true, true};
    }
}

}  // namespace tintavo::cli
