#include "cli/Args.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <iterator>
#include <numeric>

#include "formats/LutExport.h"

namespace tintavo::cli {

namespace {

constexpr std::size_t HelpWidth = 100;
constexpr std::size_t OptionColumn = 24;  // where the explanations of --help start

// Breaks `text` into lines of at most `width` characters at spaces (a longer word keeps a line
// of its own).
std::string Wrap(const std::string& text, std::size_t width) {
    std::string out, line;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(start, end - start);
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            out += line + '\n';
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        start = end + 1;
    }
    return out + line;
}

std::string OptionHelp(const TOptionSpec& option) {
    std::string help = option.Help;
    if (option.Required) help += " (required)";
    if (option.Default) help += std::string(" (default: ") + option.Default + ")";
    return Wrap(help, HelpWidth - OptionColumn);
}

// The command's arguments and options as CLI11 declarations. The parser is set to report
// nothing itself but a missing option value: unknown options, surplus arguments, repeated
// options and missing required ones are found afterwards and reported in our own words.
void Declare(CLI::App& app, const TCommand& command) {
    app.set_help_flag();  // main answers --help before parsing
    app.allow_extras();
    for (const TArgumentSpec& argument : command.Arguments) {
        CLI::Option* declared = app.add_option(argument.Name)
                                    ->description(Wrap(argument.Help, HelpWidth - OptionColumn))
                                    ->type_name("")
                                    ->group("arguments");
        if (argument.Many) declared->expected(1, CLI::detail::expected_max_vector_size)->allow_extra_args();
    }
    for (const TOptionSpec& option : command.Options) {
        CLI::Option* declared = option.ValueName ? app.add_option(option.Name) : app.add_flag(option.Name);
        declared->description(OptionHelp(option))
            ->group("options")
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
        if (option.ValueName) declared->option_text(option.ValueName);
    }
}

// CLI11's help layout under our synopsis, with the command's notes at the end.
class THelpFormatter : public CLI::Formatter {
public:
    explicit THelpFormatter(const TCommand& command) : command_(command) {
        label("Positionals", "arguments");
        column_width(OptionColumn);
    }

    std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode mode) const override {
        std::string summary = std::string(command_.Summary) + ".";
        summary[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(summary[0])));
        std::string help = Synopsis(command_) + "\n\n" + Wrap(summary, HelpWidth) + "\n";
        help += make_positionals(app) + make_groups(app, mode);
        if (command_.Notes) help += "\n" + Wrap(command_.Notes, HelpWidth) + "\n";
        return help;
    }

private:
    const TCommand& command_;
};

// An argument that names an option rather than giving a value ("-5" is a value).
bool LooksLikeOption(const std::string& arg) {
    return arg.size() >= 2 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9');
}

}  // namespace

std::string Synopsis(const TCommand& command) {
    const std::string lead = std::string("usage: tintavo-cli ") + command.Name + ' ';
    std::string items;
    for (const TArgumentSpec& argument : command.Arguments)
        items += std::string(argument.Name) + (argument.Many ? "... " : " ");
    for (const TOptionSpec& option : command.Options) {
        std::string item = option.Name;
        if (option.ValueName) item += std::string(" ") + option.ValueName;
        items += (option.Required ? item : '[' + item + ']') + ' ';
    }
    // Continuation lines start under the first argument.
    std::string synopsis = lead;
    for (const char c : Wrap(items, HelpWidth - lead.size())) {
        synopsis += c;
        if (c == '\n') synopsis += std::string(lead.size(), ' ');
    }
    return synopsis;
}

std::string CommandHelp(const TCommand& command) {
    CLI::App app;
    Declare(app, command);
    app.formatter(std::make_shared<THelpFormatter>(command));
    return app.help();
}

TArgs::TArgs(const TCommand& command, const std::vector<std::string>& args) : command_(command) {
    CLI::App app;
    Declare(app, command);
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them last first
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError&) {
        // An option takes the next argument whatever it is, so a value is missing only when the
        // arguments ran out: the last one is the option.
        throw EUsageError("option " + args.back().substr(0, args.back().find('=')) + " needs a value");
    }
    bool surplus = false;
    for (const std::string& extra : app.remaining()) {
        if (extra == "--") continue;  // CLI11 keeps the end-of-options mark among the leftovers
        if (LooksLikeOption(extra)) throw EUsageError("unknown option " + extra.substr(0, extra.find('=')));
        surplus = true;
    }
    for (const TOptionSpec& option : command.Options) {
        const CLI::Option* parsed = app.get_option(option.Name);
        if (parsed->count() > 1) throw EUsageError(std::string("option ") + option.Name + " given twice");
        if (parsed->count() == 0) continue;
        const std::string& value = parsed->results().front();
        // A flag records "true"; anything else came from "--flag=value".
        if (!option.ValueName && value != "true")
            throw EUsageError(std::string("option ") + option.Name + " takes no value");
        values_[option.Name] = option.ValueName ? value : "";
    }
    for (const TArgumentSpec& argument : command.Arguments) {
        const CLI::Option* parsed = app.get_option(argument.Name);
        if (parsed->count() == 0) throw EUsageError("missing argument");
        positionals_.push_back(parsed->results());
    }
    if (surplus) throw EUsageError("too many arguments");
    for (const TOptionSpec& option : command.Options)
        if (option.Required && !values_.count(option.Name)) {
            throw EUsageError(std::string("option ") + option.Name + " is required");
        }
}

void TArgs::CheckDeclared(const std::string& name) const {
    for (const TOptionSpec& option : command_.Options)
        if (name == option.Name) return;
    throw std::logic_error(std::string("the command ") + command_.Name + " declares no option " + name);
}

bool TArgs::Has(const std::string& name) const {
    CheckDeclared(name);
    return values_.count(name) != 0;
}

std::optional<std::string> TArgs::Value(const std::string& name) const {
    CheckDeclared(name);
    const auto it = values_.find(name);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

const std::string& TArgs::Required(const std::string& name) const {
    CheckDeclared(name);
    const auto it = values_.find(name);
    if (it == values_.end()) throw EUsageError("option " + name + " is required");
    return it->second;
}

std::string ToLowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

namespace {

bool ParseWholeInt(const std::string& text, int& value) {
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end;
}

bool AllDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Levenshtein distance: the fewest single-letter insertions, deletions and substitutions.
std::size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    std::iota(row.begin(), row.end(), std::size_t{0});
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find_first_of(" ,", start);
        if (end == std::string::npos) end = text.size();
        if (end > start) words.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

// How far `typed` is from `name` (lower case), or SIZE_MAX when too far to suggest: either the
// whole text a few letters off ("Nucoda3D", "Cube 4D"), or every typed word inside a word of the
// name or a few letters off one ("davinci", "luster 3d"). A third of the letters may differ.
std::size_t Distance(const std::string& typed, const std::string& name) {
    constexpr std::size_t TooFar = static_cast<std::size_t>(-1);
    const auto allowed = [](const std::string& text) { return std::max<std::size_t>(1, text.size() / 3); };
    std::size_t best = TooFar;
    if (const std::size_t d = EditDistance(typed, name); d <= allowed(typed)) best = d;
    const std::vector<std::string> typedWords = Words(typed), nameWords = Words(name);
    std::size_t sum = 0;
    for (const std::string& t : typedWords) {
        std::size_t wordBest = TooFar;
        for (const std::string& n : nameWords) {
            // Part of a word counts from three letters on ("3dl" in "3dl"; "d" is in too many).
            const std::size_t d = t.size() >= 3 && n.find(t) != std::string::npos ? 0 : EditDistance(t, n);
            if (d <= (t.size() >= 3 ? allowed(t) : 0)) wordBest = std::min(wordBest, d);
        }
        if (wordBest == TooFar) return best;
        sum += wordBest;
    }
    return typedWords.empty() ? best : std::min(best, sum);
}

std::vector<std::string> NearestNames(const std::string& text, const std::vector<std::string>& names) {
    const std::string typed = ToLowerAscii(text);
    std::vector<std::pair<std::size_t, std::size_t>> found;  // distance, index into names
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::size_t d = Distance(typed, ToLowerAscii(names[i]));
        if (d != static_cast<std::size_t>(-1)) found.emplace_back(d, i);
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> nearest;
    for (std::size_t k = 0; k < found.size() && k < 3; ++k) nearest.push_back(names[found[k].second]);
    return nearest;
}

}  // namespace

std::string DidYouMean(const std::string& text, const std::vector<std::string>& names) {
    const std::vector<std::string> nearest = NearestNames(text, names);
    std::string suggestion;
    for (std::size_t i = 0; i < nearest.size(); ++i) {
        suggestion += i == 0 ? "; did you mean " : i + 1 == nearest.size() ? " or " : ", ";
        suggestion += '"' + nearest[i] + '"';
    }
    return suggestion.empty() ? suggestion : suggestion + "?";
}

int ParseInteger(const std::string& text, const std::string& what) {
    int value = 0;
    if (!ParseWholeInt(text, value)) throw EUsageError(what + " must be a whole number, not \"" + text + "\"");
    return value;
}

int ResolveProfile(const std::string& text) {
    const auto& profiles = OutputProfiles();
    const int count = static_cast<int>(profiles.size());
    if (AllDigits(text)) {
        int number = 0;
        if (ParseWholeInt(text, number) && number >= 1 && number <= count) return number - 1;
        throw EUsageError("there is no output profile number " + text + " (1.." + std::to_string(count) + ")");
    }
    const std::string wanted = ToLowerAscii(text);
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        if (ToLowerAscii(profiles[i]->Name) == wanted) return i;
        names.push_back(profiles[i]->Name);
    }
    throw EUsageError("unknown output profile \"" + text + "\" (\"tintavo-cli profiles\" lists them)" +
                      DidYouMean(text, names));
}

int ResolveFormat(const std::string& text) {
    const auto& formats = LutFormats();
    const int count = static_cast<int>(formats.size());
    if (AllDigits(text)) {
        int index = 0;
        if (ParseWholeInt(text, index) && index >= 0 && index < count) return index;
        throw EUsageError("there is no format index " + text + " (0.." + std::to_string(count - 1) + ")");
    }
    const std::string wanted = ToLowerAscii(text);
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        if (ToLowerAscii(formats[i]->Name) == wanted) return i;
        names.push_back(formats[i]->Name);
    }
    throw EUsageError("unknown format \"" + text + "\" (\"tintavo-cli formats\" lists them)" + DidYouMean(text, names));
}

int ProfileForFileName(const std::string& fileName) {
    const std::string lower = ToLowerAscii(fileName);
    const auto& profiles = OutputProfiles();
    std::vector<int> matches;
    for (int i = 0; i < static_cast<int>(profiles.size()); ++i) {
        std::string suffix(1, '.');
        suffix += ToLowerAscii(profiles[i]->Extension);
        if (lower.size() > suffix.size() && lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) == 0) {
            matches.push_back(i);
        }
    }
    if (matches.size() == 1) return matches[0];
    if (matches.empty()) {
        throw EUsageError("no output profile writes files named like \"" + fileName + "\"; choose one with --profile");
    }
    std::string numbers;
    for (int m : matches) numbers += (numbers.empty() ? "" : ", ") + std::to_string(m + 1);
    throw EUsageError("several output profiles (" + numbers + ") write files named like \"" + fileName +
                      "\"; choose one with --profile");
}

TChartType ParseChart(const std::string& text) {
    // The command-line names, then the names the window's chart list shows.
    const std::string lower = ToLowerAscii(text);
    if (const TChartInfo* chart = FindChartByCommandName(lower)) return chart->Type;
    for (const TChartInfo& chart : Charts())
        if (lower == ToLowerAscii(chart.DisplayName)) return chart.Type;
    throw EUsageError("unknown chart \"" + text + "\" (" + ChartCommandNames(", ", " or ") + ")");
}

TSelection ParseRect(const std::string& text) {
    int v[4] = {};
    std::size_t start = 0;
    for (int k = 0; k < 4; ++k) {
        const std::size_t comma = text.find(',', start);
        if ((k < 3) == (comma == std::string::npos) || !ParseWholeInt(text.substr(start, comma - start), v[k])) {
            throw EUsageError("--rect must be four whole numbers X1,Y1,X2,Y2, not \"" + text + "\"");
        }
        start = comma + 1;
    }
    return TSelection{v[0], v[1], v[2], v[3]};
}

void CheckRect(const TSelection& r, int width, int height) {
    const std::string image = "the working image is " + std::to_string(width) + " x " + std::to_string(height) +
                              " pixels (x 0.." + std::to_string(width - 1) + ", y 0.." + std::to_string(height - 1) +
                              ")";
    const auto inside = [](int v, int limit) { return v >= 0 && v < limit; };
    if (!inside(r.X1, width) || !inside(r.X2, width) || !inside(r.Y1, height) || !inside(r.Y2, height)) {
        throw EUsageError("the rectangle lies outside the image: " + image);
    }
    if (r.X1 == r.X2 || r.Y1 == r.Y2) {
        throw EUsageError(std::string("the rectangle has zero ") + (r.X1 == r.X2 ? "width" : "height") + "; " + image);
    }
}

int ResolveSize(const TLutOutputProfile& profile, const std::optional<std::string>& sizeText) {
    if (!sizeText) return profile.DefaultSize;
    if (!profile.SizeSelectable) {
        throw EUsageError("the output profile \"" + profile.Name + "\" writes only its default size " +
                          std::to_string(profile.DefaultSize) + "; --size is not allowed");
    }
    const TLUTFormat* format = GetLutFormat(profile.FormatIndex);
    const bool is3D = format && format->Is3D;
    const int largest = is3D ? MaxLut3DSize : MaxLut1DSize;
    const int size = ParseInteger(*sizeText, "--size");
    if (size < 2 || size > largest) {
        throw EUsageError("--size " + *sizeText + " is outside 2.." + std::to_string(largest) + " for a " +
                          (is3D ? "3D" : "1D") + " LUT");
    }
    return size;
}

int ResolveBits(const TLutOutputProfile& profile, const std::optional<std::string>& bitsText) {
    if (!bitsText) return profile.DefaultBits;
    if (!profile.BitsSelectable) {
        throw EUsageError("the output profile \"" + profile.Name + "\" writes only its default bit depth; " +
                          "--bits is not allowed");
    }
    const int bits = ParseInteger(*bitsText, "--bits");
    if (!ProfileAllowsBits(profile, bits)) {
        std::string depths;
        const std::size_t count = std::size(SelectableBitDepths);
        for (std::size_t i = 0; i < count; ++i)
            depths += (i == 0 ? "" : i + 1 == count ? " or " : ", ") + std::to_string(SelectableBitDepths[i]);
        throw EUsageError("--bits must be " + depths + ", not " + *bitsText);
    }
    return bits;
}

}  // namespace tintavo::cli
