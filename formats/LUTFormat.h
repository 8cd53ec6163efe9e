// The LUT file format framework: the format base class, the output profiles and the registry.
//
// The registry is one explicit list (RegisterLutFormats): formats at fixed indices, output
// profiles in the order the Save dialog lists them. It is built on first use (safely, also when
// several threads get there at once), lives until the program ends, and hands out its formats
// and profiles read-only. Formats keep no state between calls: a format's operations are const,
// and a text format parses each file on a fresh object of its own class (TGenericLutFormat), so
// any number of threads may identify, load and save through the registry's objects at once.
//
// Each format says what it does: its Name, whether its data is a 3D table (Is3D), and whether it
// reads files (CanRead) and writes them (CanWrite). A format that cannot read never identifies a
// file and its Load raises; one that cannot write creates no file.
//
// A failed Load leaves the table entries of the TLUT holding whatever was stored so far; the
// generic load sets LutKind and the sizes only when it succeeds (never to a size read from a
// file that failed, and never beyond the capacities), but formats with a Load of their own may
// have set them before they fail. The entries of a failed load are a mix of old and new values,
// so callers must not apply such a LUT: read files with LoadLut below, which loads into a
// scratch TLUT and copies it over the caller's only when Load returned normally, so that a
// failed load leaves the caller's LUT exactly as it was.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "lut/LUT.h"

namespace tintavo {

// A format error ("Incomplete file.", a size beyond the capacities, ...).
class ELUTError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TLUTFormat {
public:
    virtual ~TLUTFormat() = default;

    std::string Name;       // display name
    bool Is3D = false;      // true for formats whose data is a 3D table
    bool CanRead = true;    // Identify and Load read files of this layout
    bool CanWrite = true;   // Save writes files of this layout

    // True when the named file is in this format's layout.
    virtual bool Identify(const std::string& fileName) const = 0;
    // Reads the file into `lut`.
    virtual void Load(const std::string& fileName, TLUT& lut) const = 0;
    // Writes `lut` to the file; `bits` is the bit depth of integer-code layouts (ignored by
    // layouts that write decimal fractions). Written atomically.
    virtual void Save(const std::string& fileName, const TLUT& lut, int bits) const = 0;
};

struct TLutOutputProfile {
    std::string Name;       // as listed in the Save dialog
    std::string Extension;  // without the dot
    int FormatIndex = 0;    // index in LutFormats()
    int DefaultSize = 0;    // grid points per axis (3D) or entries (1D)
    int DefaultBits = 0;    // 0 for layouts that write decimal fractions
    bool SizeSelectable = false;
    bool BitsSelectable = false;
};

// The registry lists, filled by RegisterLutFormats on first use; read-only for everyone else.
const std::vector<std::unique_ptr<const TLUTFormat>>& LutFormats();
const std::vector<std::unique_ptr<const TLutOutputProfile>>& OutputProfiles();

// Builds the registry (called once, from the first use of LutFormats/OutputProfiles).
void RegisterLutFormats();

// The format at `index`, or nullptr when index < 0 or index >= the number of formats.
const TLUTFormat* GetLutFormat(int index);
// The profile at `index` (0-based; must be valid).
const TLutOutputProfile* GetOutputProfile(int index);
// Appends a profile to OutputProfiles. Part of building the registry: the lists are shared
// between threads without locks, so profiles are added before any other thread reads them.
const TLutOutputProfile* AddOutputProfile(const std::string& name, const std::string& extension, int formatIndex,
                                          int defaultSize, int defaultBits, bool sizeSelectable,
                                          bool bitsSelectable);

// Reads the file through `format` into a scratch copy of `lut` (so comments are appended and
// entries the file leaves out keep their values, as with a direct Load) and copies the result
// over `lut` only when Load succeeds; when it raises, `lut` is unchanged and the error passes on.
void LoadLut(const TLUTFormat& format, const std::string& fileName, TLUT& lut);

// The index of the first readable format in registry order that identifies the file, or -1 when
// none does. Raises EFileError when the file cannot be opened.
int IdentifyLutFormat(const std::string& fileName);

// At most `count` bytes from the start of the file. Raises EFileError when it cannot be opened.
std::string ReadFileHead(const std::string& fileName, int count);

}  // namespace tintavo
