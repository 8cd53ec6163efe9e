// Command-line parsing shared by the commands: options, numbers, and the names the user gives
// for output profiles, formats, charts and selection rectangles.
#pragma once

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/Calibration.h"
#include "formats/LUTFormat.h"

namespace tintavo::cli {

// A mistake in the command line: exit status 2 and the command's usage text.
class EUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TOptionRule {
    const char* Name;  // "--size", "-o", "--json"
    bool TakesValue;
};

class TArgs {
public:
    // Splits `args` into positional arguments and the options of `rules` ("--name value" or
    // "--name=value"). Unknown, repeated or valueless options and a wrong number of positional
    // arguments are usage errors.
    TArgs(const std::vector<std::string>& args, const std::vector<TOptionRule>& rules, std::size_t positionalCount);

    const std::string& Positional(std::size_t i) const { return positionals_[i]; }
    bool Has(const std::string& name) const { return values_.count(name) != 0; }
    std::optional<std::string> Value(const std::string& name) const;
    // The value of an option the command cannot do without.
    const std::string& Required(const std::string& name) const;

private:
    std::vector<std::string> positionals_;
    std::map<std::string, std::string> values_;
};

std::string ToLowerAscii(std::string s);

// A whole decimal integer (optional leading minus), else a usage error naming `what`.
int ParseInteger(const std::string& text, const std::string& what);

// An output profile by its name (letter case ignored) or its number 1..31; returns the 0-based
// index into OutputProfiles().
int ResolveProfile(const std::string& text);
// A format by its name (letter case ignored) or its registry index.
int ResolveFormat(const std::string& text);
// The profile whose extension the file name ends with, when exactly one profile has it.
int ProfileForFileName(const std::string& fileName);

// A chart by its command-line name, "classic" or "sg" (letter case ignored).
TChartType ParseChart(const std::string& text);
// The charts' command-line names in table order, joined by `separator` and, before the last one,
// by `last`: ChartNames(", ", " or ") is "classic or sg".
std::string ChartNames(const std::string& separator, const std::string& last);
// "X1,Y1,X2,Y2" (syntax only; the image decides whether the rectangle fits).
TSelection ParseRect(const std::string& text);
// Checks that the rectangle lies inside a width x height image and has an area.
void CheckRect(const TSelection& rect, int width, int height);

// The size and bit depth written through `profile`, as the Save LUT dialog resolves them:
// the profile's defaults unless the option is given, which the profile must allow.
int ResolveSize(const TLutOutputProfile& profile, const std::optional<std::string>& sizeText);
int ResolveBits(const TLutOutputProfile& profile, const std::optional<std::string>& bitsText);

}  // namespace tintavo::cli
