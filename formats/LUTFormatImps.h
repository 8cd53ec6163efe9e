// TGenericLutFormat, the base of the text layouts, and the number and token routines every
// text layout shares. Numbers are formatted and parsed with "." as the decimal separator,
// whatever the process locale.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "formats/LUTFormat.h"
#include "formats/TextFile.h"

namespace tintavo {

class TGenericLutFormat : public TLUTFormat {
public:
    // Loads through a fresh object of the format's own class (NewParser), whose fields hold the
    // parse state of this one load: the format object itself never changes, so several threads
    // may load through it at once. The fresh object runs Read.
    void Load(const std::string& fileName, TLUT& lut) const override;

protected:
    // A new object of the same class as this one (every class that can be instantiated
    // overrides it; Load checks that it did).
    virtual std::unique_ptr<TGenericLutFormat> NewParser() const = 0;

    // Generic load: resets the parse state, reads the file line by line (Prepare first, then
    // ParseLine for every line); raises ELUTError("Incomplete file.") unless Complete, and the
    // CheckSize error when Size does not fit the tables; only then sets LutKind (lk3D when
    // Is3D, else lk1D) and Size3D or Size1D from Size. A failed load leaves kind and sizes.
    // Formats whose reading differs override it; it runs on the fresh object of Load.
    virtual void Read(const std::string& fileName, TLUT& lut);

    // Steps of the generic load up to the end of the line loop: resets the parse state, opens
    // the file as Lines, calls Prepare and ParseLine for every line. An ELUTError or
    // EConvertError raised for a line is raised again with " at line N" added to its message.
    // For formats whose own Read decides the LUT's kind and sizes afterwards.
    void ParseFile(const std::string& fileName, TLUT& lut);

    // Called once with the opened file before the line loop (it may read the lines; the loop
    // starts at the first line whatever it did); empty in TGenericLutFormat.
    virtual void Prepare(TTextReader& lines);
    virtual void ParseLine(const std::string& line, TLUT& lut);

    // Header keyword test on the first 4096 bytes (upper-cased): false when any excluded word
    // occurs, false when any required word is missing, true otherwise. Words are separated by
    // commas and by characters with code <= 32 outside double quotes.
    bool TestHeaderKeywords(const std::string& fileName, const std::string& required,
                            const std::string& excluded) const;

    // Refuses a size learned from a file that the tables cannot hold: raises ELUTError naming
    // the size and the limit (2..MaxLut3DSize points per axis for 3D, 2..MaxLut1DSize entries
    // for 1D). Call it as soon as the size is known, before storing any entry. The generic
    // load checks Size once more before it hands the size to the LUT.
    void CheckSize3D(long long size) const;
    void CheckSize1D(long long size) const;

    // Stores one entry at [RedIndex][GreenIndex][BlueIndex] and advances red fastest (red,
    // then green, then blue); sets Complete after the last entry. Returns false and stores
    // nothing when the indices are outside 0..Size-1 (Size unknown, beyond the tables, or all
    // Size^3 entries stored), so a reader can never write outside Table3D.
    bool StoreRedFastest(TLUT& lut, double r, double g, double b);

    // Stores the next 1D entry at Index1D and sets Complete after the last of Size entries.
    // Returns false and stores nothing when Index1D is outside 0..Size-1 or the tables.
    bool StoreNext1D(TLUT& lut, double r, double g, double b);

    // Parse state of one Load.
    std::int32_t RedIndex = 0;
    std::int32_t GreenIndex = 0;
    std::int32_t BlueIndex = 0;
    std::int32_t Index1D = 0;
    std::int32_t Size = -1;        // -1 = not yet known
    std::int32_t ValueRange = -1;  // -1 = not yet known
    bool Complete = false;
    TTextReader* Lines = nullptr;  // the file being parsed; set only while ParseFile runs
};

// Integer code: clamp to 0..1 (NaN -> 0), times 2^bits - 1, rounded half to even. Raises
// ELUTError for a bit depth outside 1..62.
std::string FormatLutCode(int bits, double value);
// Fixed-point with exactly `decimals` digits after ".", at most 15 significant digits.
// A negative value that rounds to zero is written without its minus sign.
std::string FormatLutFixed(int decimals, double value);
// The same text written to `out` (room for 400 characters); returns its length. For writers
// that build large files without a string per value.
std::size_t FormatLutFixedTo(char* out, int decimals, double value);

// Three integer codes divided by `largestCode`; with skipFirst an index column is dropped first.
bool ParseCodeTriple(const std::string& line, double largestCode, bool skipFirst, double& v1, double& v2,
                     double& v3);
// Three decimal numbers ("." separator, exponents accepted).
bool ParseFixedTriple(const std::string& line, double& v1, double& v2, double& v3);
bool ParseFixedTriple(std::string_view line, double& v1, double& v2, double& v3);

// Removes and returns the part before the first tab, blank or comma (and that separator).
std::string NextToken(std::string& text);
// Removes and returns the part before the first `separator` (and the separator).
std::string SplitAt(const std::string& separator, std::string& text);
// 1-based position of `keyword` in `line`, ASCII letters compared case-insensitively; 0 if absent.
int PosNoCase(const std::string& keyword, const std::string& line);

// Trims characters with code <= 32 from both ends.
std::string Trim(const std::string& s);

// Locale-independent conversions that raise the system's conversion errors:
// "'%s' is not a valid integer value" and "'%s' is not a valid floating point value".
int StrToInt(const std::string& s);
double StrToFloat(const std::string& s);
// Leading and trailing blanks are ignored; integers are decimal with an optional sign; floating
// point numbers accept an exponent but no infinities or NaN.
// Non-raising variants (TryStrToInt accepts the 64-bit range, StrToInt the 32-bit range).
bool TryStrToInt(const std::string& s, long long& value);
bool TryStrToFloat(const std::string& s, double& value);

}  // namespace tintavo
