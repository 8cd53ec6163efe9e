// Which formats read files and which write them. The format classes answer this only through
// their behaviour (a writer-only class never identifies a file, a reader-only class writes
// nothing), so the tool keeps the answer as a table by registry index.
#pragma once

namespace tintavo::cli {

struct TFormatCapabilities {
    bool CanRead;
    bool CanWrite;
};

TFormatCapabilities FormatCapabilities(int formatIndex);

}  // namespace tintavo::cli
