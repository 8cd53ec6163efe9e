// Command-line parsing shared by the commands: the arguments and options a command declares,
// the parsed command line, and the names the user gives for output profiles, formats, charts
// and selection rectangles.
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

// An argument given by its place ("INPUT"). The last argument of a command may take one or more
// values ("IMAGE...").
struct TArgumentSpec {
    const char* Name;
    const char* Help;
    bool Many = false;
};

// An option ("--size N", "--json"). The help says what it does; Default says what happens
// without it and is shown as "(default: ...)".
struct TOptionSpec {
    const char* Name;       // "--size", "-o", "--json"
    const char* ValueName;  // "N"; nullptr for an option that takes no value
    const char* Help;
    const char* Default = nullptr;
    bool Required = false;
};

class TArgs;

struct TCommand {
    const char* Name;
    const char* Summary;  // one line for the general help
    std::vector<TArgumentSpec> Arguments;
    std::vector<TOptionSpec> Options;
    const char* Notes;  // closing paragraph of the command's help, or nullptr
    int (*Run)(const TArgs& args);
};

// "usage: tintavo-cli NAME ARGUMENTS [--option VALUE] ...", wrapped to fit 100 columns.
std::string Synopsis(const TCommand& command);
// The synopsis, the summary and every argument and option with its default.
std::string CommandHelp(const TCommand& command);

// A command line parsed against a command's arguments and options ("--name value",
// "--name=value"). Unknown, repeated, valueless and missing required options and a wrong
// number of arguments are usage errors.
class TArgs {
public:
    TArgs(const TCommand& command, const std::vector<std::string>& args);

    const std::string& Positional(std::size_t i) const { return positionals_.at(i).front(); }
    // Every value of the argument at place `i` (one, except for an argument that takes many).
    const std::vector<std::string>& Positionals(std::size_t i) const { return positionals_.at(i); }
    // Whether the option was given. Asking for an option the command does not declare is a
    // programming error (std::logic_error).
    bool Has(const std::string& name) const;
    std::optional<std::string> Value(const std::string& name) const;
    // The value of an option declared Required.
    const std::string& Required(const std::string& name) const;

private:
    void CheckDeclared(const std::string& name) const;

    const TCommand& command_;
    std::vector<std::vector<std::string>> positionals_;
    std::map<std::string, std::string> values_;
};

std::string ToLowerAscii(std::string s);

// "; did you mean "A", "B" or "C"?" naming the names a mistyped `text` most likely meant (letter
// case ignored): those holding every word of it, else those a few letters away, closest first,
// at most three. Empty when none is near.
std::string DidYouMean(const std::string& text, const std::vector<std::string>& names);

// A whole decimal integer (optional leading minus), else a usage error naming `what`.
int ParseInteger(const std::string& text, const std::string& what);

// An output profile by its name (letter case ignored) or its number 1..31; returns the 0-based
// index into OutputProfiles().
int ResolveProfile(const std::string& text);
// A format by its name (letter case ignored) or its registry index.
int ResolveFormat(const std::string& text);
// The profile whose extension the file name ends with, when exactly one profile has it.
int ProfileForFileName(const std::string& fileName);

// A chart by its command-line name ("classic", "sg") or the window's name ("ColorChecker
// Classic", "ColorChecker Digital SG"), letter case ignored.
TChartType ParseChart(const std::string& text);
// "X1,Y1,X2,Y2" (syntax only; the image decides whether the rectangle fits).
TSelection ParseRect(const std::string& text);
// Checks that the rectangle lies inside a width x height image and has an area.
void CheckRect(const TSelection& rect, int width, int height);

// The size and bit depth written through `profile`, as the Save LUT dialog resolves them:
// the profile's defaults unless the option is given, which the profile must allow.
int ResolveSize(const TLutOutputProfile& profile, const std::optional<std::string>& sizeText);
int ResolveBits(const TLutOutputProfile& profile, const std::optional<std::string>& bitsText);

}  // namespace tintavo::cli
