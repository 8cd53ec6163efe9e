#include "cli/Args.h"

#include <algorithm>
#include <charconv>
#include <iterator>

#include "formats/LutExport.h"

namespace tintavo::cli {

TArgs::TArgs(const std::vector<std::string>& args, const std::vector<TOptionRule>& rules,
             std::size_t positionalCount) {
    const auto findRule = [&](const std::string& name) -> const TOptionRule* {
        for (const TOptionRule& rule : rules)
            if (name == rule.Name) return &rule;
        return nullptr;
    };
    bool onlyPositionals = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (onlyPositionals || arg.size() < 2 || arg[0] != '-' || (arg[1] >= '0' && arg[1] <= '9')) {
            positionals_.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyPositionals = true;
            continue;
        }
        std::string name = arg;
        std::optional<std::string> value;
        const std::size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        const TOptionRule* rule = findRule(name);
        if (!rule) throw EUsageError("unknown option " + name);
        if (values_.count(name)) throw EUsageError("option " + name + " given twice");
        if (rule->TakesValue) {
            if (!value) {
                if (i + 1 >= args.size()) throw EUsageError("option " + name + " needs a value");
                value = args[++i];
            }
        } else if (value) {
            throw EUsageError("option " + name + " takes no value");
        }
        values_[name] = value.value_or("");
    }
    if (positionals_.size() != positionalCount) {
        throw EUsageError(positionals_.size() < positionalCount ? "missing argument" : "too many arguments");
    }
}

std::optional<std::string> TArgs::Value(const std::string& name) const {
    const auto it = values_.find(name);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

const std::string& TArgs::Required(const std::string& name) const {
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

}  // namespace

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
    for (int i = 0; i < count; ++i)
        if (ToLowerAscii(profiles[i]->Name) == wanted) return i;
    throw EUsageError("unknown output profile \"" + text + "\" (\"tintavo-cli profiles\" lists them)");
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
    for (int i = 0; i < count; ++i)
        if (ToLowerAscii(formats[i]->Name) == wanted) return i;
    throw EUsageError("unknown format \"" + text + "\" (\"tintavo-cli formats\" lists them)");
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

std::string ChartNames(const std::string& separator, const std::string& last) {
    std::string names;
    const auto charts = Charts();
    for (std::size_t i = 0; i < charts.size(); ++i)
        names += (i == 0 ? "" : i + 1 == charts.size() ? last : separator) + std::string(charts[i].CommandName);
    return names;
}

TChartType ParseChart(const std::string& text) {
    if (const TChartInfo* chart = FindChartByCommandName(text)) return chart->Type;
    throw EUsageError("unknown chart \"" + text + "\" (" + ChartNames(", ", " or ") + ")");
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
                              " pixels (x 0.." + std::to_string(width - 1) + ", y 0.." + std::to_string(height - 1) + ")";
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
