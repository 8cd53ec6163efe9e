#include "formats/LUTFormatImps.h"

#include "common/Errors.h"
#include "formats/TextLayout.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <typeinfo>

namespace tintavo {

namespace {

inline bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

inline char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string_view TrimView(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// Words of a keyword list: commas and control characters or blanks separate words, except
// inside double quotes; the quotes themselves are not part of a word.
std::vector<std::string> SplitKeywordList(const std::string& list) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, inWord = false;
    for (char c : list) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ',' || IsBlank(c))) {
            if (!word.empty()) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += UpperAscii(c);
            inWord = true;
        }
    }
    if (inWord && !word.empty()) words.push_back(word);
    return words;
}

// Decimal integer: optional sign, at least one digit, nothing else.
bool ParseIntegerView(std::string_view s, long long& value) {
    s = TrimView(s);
    if (s.empty()) return false;
    bool negative = false;
    if (s.front() == '+' || s.front() == '-') {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || s.front() < '0' || s.front() > '9') return false;
    unsigned long long magnitude = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), magnitude);
    if (ec != std::errc() || ptr != s.data() + s.size()) return false;
    const unsigned long long limit = negative ? 9223372036854775808ULL : 9223372036854775807ULL;
    if (magnitude > limit) return false;
    value = negative ? static_cast<long long>(0ULL - magnitude) : static_cast<long long>(magnitude);
    return true;
}

// Position of the first significant digit of a valid decimal number relative to the decimal
// point (1 for 1.5, 0 for 0.5, -2 for 0.005), exponent included; 0 for a zero.
long long DecimalMagnitude(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    long long integerDigits = 0, leadingFractionZeros = 0;
    bool significant = false, inFraction = false;
    for (; i < s.size() && s[i] != 'e' && s[i] != 'E'; ++i) {
        const char c = s[i];
        if (c == '.') {
            inFraction = true;
        } else if (!inFraction) {
            if (significant || c != '0') {
                significant = true;
                ++integerDigits;
            }
        } else if (!significant) {
            if (c != '0') significant = true;
            else ++leadingFractionZeros;
        }
    }
    if (!significant) return 0;
    long long exponent = 0;
    if (i < s.size()) {
        std::string_view e = s.substr(i + 1);
        bool negative = false;
        if (!e.empty() && (e.front() == '+' || e.front() == '-')) {
            negative = e.front() == '-';
            e.remove_prefix(1);
        }
        for (char c : e) {
            exponent = exponent * 10 + (c - '0');
            if (exponent > 100000) break;  // far beyond any double
        }
        if (negative) exponent = -exponent;
    }
    return (integerDigits > 0 ? integerDigits : -leadingFractionZeros) + exponent;
}

// Decimal number with "." as separator and an optional exponent; no hexadecimal, no
// infinities or NaN, whatever the locale.
bool ParseFloatView(std::string_view s, double& value) {
    s = TrimView(s);
    if (s.empty()) return false;
    std::size_t i = 0;
    const bool negative = s[0] == '-';
    if (s[i] == '+' || s[i] == '-') ++i;
    std::size_t digits = 0, fractionDigits = 0;
    std::uint64_t mantissa = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        mantissa = mantissa * 10 + static_cast<unsigned>(s[i] - '0');
        ++i, ++digits;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            mantissa = mantissa * 10 + static_cast<unsigned>(s[i] - '0');
            ++i, ++digits, ++fractionDigits;
        }
    }
    if (digits == 0) return false;
    if (i == s.size() && digits <= 15) {
        // The common case ("0.123456"): an integer below 10^15 and a power of ten up to 10^15
        // are exact doubles, so one division is correctly rounded, as from_chars would be.
        static constexpr double powers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        const double v = static_cast<double>(mantissa) / powers[fractionDigits];
        value = negative ? -v : v;
        return true;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        std::size_t expDigits = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++expDigits;
        if (expDigits == 0) return false;
    }
    if (i != s.size()) return false;
    // from_chars takes no leading "+".
    if (s.front() == '+') s.remove_prefix(1);
    double v = 0.0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (ptr != s.data() + s.size()) return false;
    if (ec == std::errc::result_out_of_range) {
        // Underflow is a zero; overflow is not a representable number.
        if (DecimalMagnitude(s) > 0) return false;
        v = 0.0;
    } else if (ec != std::errc()) {
        return false;
    }
    if (!std::isfinite(v)) return false;
    value = v;
    return true;
}

// Token steps shared by the two triple parsers. `convert` turns one token into a double.
template <typename Convert>
bool ParseTriple(std::string_view line, bool skipFirst, Convert convert, double& v1, double& v2, double& v3) {
    auto nextToken = [](std::string_view& text) {
        std::size_t i = 0;
        while (i < text.size() && text[i] != '\t' && text[i] != ' ' && text[i] != ',') ++i;
        std::string_view token = text.substr(0, i);
        text.remove_prefix(i < text.size() ? i + 1 : i);
        return token;
    };
    std::string_view text = TrimView(line);
    if (skipFirst) nextToken(text);
    double values[3];
    for (int k = 0; k < 2; ++k) {
        text = TrimView(text);
        std::string_view token = TrimView(nextToken(text));
        if (token.empty() || !convert(token, values[k])) return false;
    }
    std::string_view rest = TrimView(text);
    if (rest.empty() || !convert(rest, values[2])) return false;
    v1 = values[0];
    v2 = values[1];
    v3 = values[2];
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Generic load

void TGenericLutFormat::Prepare(TTextReader& /*lines*/) {}

void TGenericLutFormat::ParseLine(const std::string& /*line*/, TLUT& /*lut*/) {}

void TGenericLutFormat::Load(const std::string& fileName, TLUT& lut) const {
    const std::unique_ptr<TGenericLutFormat> parser = NewParser();
    // A class that forgot NewParser would parse with its base class's rules.
    const TGenericLutFormat& fresh = *parser;
    if (typeid(fresh) != typeid(*this)) throw std::logic_error(Name + ": NewParser makes another class");
    parser->Read(fileName, lut);
}

namespace {

// "'x' is not a valid integer value at line 12"; a message ending in a full stop keeps it at
// the end: "LUT size 1 is too small: at least 2 entries are needed at line 3."
std::string WithLine(const char* message, long long line) {
    std::string text = message;
    const bool fullStop = !text.empty() && text.back() == '.';
    if (fullStop) text.pop_back();
    return text + " at line " + std::to_string(line) + (fullStop ? "." : "");
}

}  // namespace

void TGenericLutFormat::ParseFile(const std::string& fileName, TLUT& lut) {
    RedIndex = GreenIndex = BlueIndex = Index1D = 0;
    Size = -1;
    ValueRange = -1;
    Complete = false;
    TTextReader text(fileName);
    // Lines points at the file only while it is parsed, also when parsing raises.
    struct LinesGuard {
        TTextReader*& lines;
        ~LinesGuard() { lines = nullptr; }
    } guard{Lines};
    Lines = &text;
    Prepare(text);
    text.Rewind();
    std::string line;
    try {
        while (text.NextLine(line)) ParseLine(line, lut);
    } catch (const ELUTError& e) {
        throw ELUTError(WithLine(e.what(), text.LineNumber()));
    } catch (const EConvertError& e) {
        throw EConvertError(WithLine(e.what(), text.LineNumber()));
    }
}

void TGenericLutFormat::Read(const std::string& fileName, TLUT& lut) {
    ParseFile(fileName, lut);
    // The sizes of a load that failed are never handed out: the LUT keeps its kind and sizes
    // until the file turned out complete and its size fits the tables.
    if (!Complete) throw ELUTError("Incomplete file.");
    if (Is3D) {
        CheckSize3D(Size);
        lut.LutKind = lk3D;
        lut.Size3D = Size;
    } else {
        CheckSize1D(Size);
        lut.LutKind = lk1D;
        lut.Size1D = Size;
    }
}

void TGenericLutFormat::CheckSize3D(long long size) const {
    if (size > MaxLut3DSize)
        throw ELUTError("LUT size " + std::to_string(size) + " is too large: at most " +
                        std::to_string(MaxLut3DSize) + " points per axis are supported.");
    if (size < 2)
        throw ELUTError("LUT size " + std::to_string(size) + " is too small: at least 2 points per axis are needed.");
}

void TGenericLutFormat::CheckSize1D(long long size) const {
    if (size > MaxLut1DSize)
        throw ELUTError("LUT size " + std::to_string(size) + " is too large: at most " +
                        std::to_string(MaxLut1DSize) + " entries are supported.");
    if (size < 2)
        throw ELUTError("LUT size " + std::to_string(size) + " is too small: at least 2 entries are needed.");
}

bool TGenericLutFormat::StoreRedFastest(TLUT& lut, double r, double g, double b) {
    if (Size < 1 || Size > MaxLut3DSize || RedIndex < 0 || GreenIndex < 0 || BlueIndex < 0 ||
        RedIndex >= Size || GreenIndex >= Size || BlueIndex >= Size)
        return false;
    lut.Table3D[RedIndex][GreenIndex][BlueIndex] = {r, g, b};
    if (++RedIndex == Size) {
        RedIndex = 0;
        if (++GreenIndex == Size) {
            GreenIndex = 0;
            if (++BlueIndex == Size) Complete = true;
        }
    }
    return true;
}

bool TGenericLutFormat::StoreNext1D(TLUT& lut, double r, double g, double b) {
    if (Size < 1 || Size > MaxLut1DSize || Index1D < 0 || Index1D >= Size) return false;
    lut.Table1D[Index1D] = {r, g, b};
    if (++Index1D == Size) Complete = true;
    return true;
}

bool TGenericLutFormat::TestHeaderKeywords(const std::string& fileName, const std::string& required,
                                           const std::string& excluded) const {
    std::string head = ReadFileHead(fileName, 4096);
    for (char& c : head) c = UpperAscii(c);
    for (const auto& word : SplitKeywordList(excluded))
        if (head.find(word) != std::string::npos) return false;
    for (const auto& word : SplitKeywordList(required))
        if (head.find(word) == std::string::npos) return false;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Numbers

std::string FormatLutCode(int bits, double value) {
    CheckBitDepth(bits, MaxCodeBits);
    if (!(value >= 0.0)) value = 0.0;  // also NaN
    if (value > 1.0) value = 1.0;
    const long double largest = std::ldexp(1.0L, bits) - 1.0L;
    const auto code = static_cast<long long>(std::nearbyint(largest * static_cast<long double>(value)));
    char buf[24];
    auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, code);
    (void)ec;
    return std::string(buf, ptr);
}

std::size_t FormatLutFixedTo(char* out, int decimals, double value) {
    if (decimals < 0) decimals = 0;
    if (decimals > 30) decimals = 30;
    if (std::isnan(value)) {
        std::memcpy(out, "NAN", 3);
        return 3;
    }
    if (std::isinf(value)) {
        if (value < 0) {
            std::memcpy(out, "-INF", 4);
            return 4;
        }
        std::memcpy(out, "INF", 3);
        return 3;
    }
    // At most 15 significant digits: large values are first rounded to 15 digits, the places
    // beyond them are written as zeros.
    const double magnitude = std::fabs(value);
    const int intDigits = magnitude >= 1.0 ? static_cast<int>(std::floor(std::log10(magnitude))) + 1 : 0;
    char* p = out;
    if (intDigits + decimals > 15) {
        char sci[40];
        auto [end, ec] = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific, 14);
        (void)ec;
        // sci: [-]d.dddddddddddddde[+-]xx
        const char* s = sci;
        if (*s == '-') *p++ = *s++;
        char mantissa[16];
        int m = 0;
        for (; s < end && *s != 'e'; ++s)
            if (*s != '.') mantissa[m++] = *s;
        int exponent = 0;
        std::from_chars(s + 1 + (s[1] == '+' ? 1 : 0), end, exponent);
        const int pointAfter = exponent + 1;  // digits before the decimal point
        if (pointAfter <= 0) {
            *p++ = '0';
        } else {
            for (int k = 0; k < pointAfter; ++k) *p++ = k < m ? mantissa[k] : '0';
        }
        if (decimals > 0) {
            *p++ = '.';
            for (int k = 0; k < decimals; ++k) {
                const int idx = pointAfter + k;
                *p++ = (idx >= 0 && idx < m) ? mantissa[idx] : '0';
            }
        }
    } else {
        auto [end, ec] = std::to_chars(p, p + 64, value, std::chars_format::fixed, decimals);
        (void)ec;
        p = end;
    }
    // No minus sign on a value that rounds to zero.
    if (out[0] == '-') {
        bool allZero = true;
        for (char* q = out + 1; q < p; ++q)
            if (*q != '0' && *q != '.') allZero = false;
        if (allZero) {
            std::memmove(out, out + 1, static_cast<std::size_t>(p - out - 1));
            --p;
        }
    }
    return static_cast<std::size_t>(p - out);
}

std::string FormatLutFixed(int decimals, double value) {
    char buf[400];
    return std::string(buf, FormatLutFixedTo(buf, decimals, value));
}

bool ParseCodeTriple(const std::string& line, double largestCode, bool skipFirst, double& v1, double& v2,
                     double& v3) {
    auto convert = [largestCode](std::string_view token, double& v) {
        long long code = 0;
        if (!ParseIntegerView(token, code)) return false;
        v = static_cast<double>(code) / largestCode;
        return true;
    };
    return ParseTriple(line, skipFirst, convert, v1, v2, v3);
}

bool ParseFixedTriple(const std::string& line, double& v1, double& v2, double& v3) {
    return ParseFixedTriple(std::string_view(line), v1, v2, v3);
}

bool ParseFixedTriple(std::string_view line, double& v1, double& v2, double& v3) {
    return ParseTriple(line, false, ParseFloatView, v1, v2, v3);
}

// ---------------------------------------------------------------------------------------------
// Strings

std::string NextToken(std::string& text) {
    const auto pos = text.find_first_of("\t ,");
    if (pos == std::string::npos) {
        std::string token = std::move(text);
        text.clear();
        return token;
    }
    std::string token = text.substr(0, pos);
    text.erase(0, pos + 1);
    return token;
}

std::string SplitAt(const std::string& separator, std::string& text) {
    const auto pos = separator.empty() ? std::string::npos : text.find(separator);
    if (pos == std::string::npos) {
        std::string part = std::move(text);
        text.clear();
        return part;
    }
    std::string part = text.substr(0, pos);
    text.erase(0, pos + separator.size());
    return part;
}

int PosNoCase(const std::string& keyword, const std::string& line) {
    if (keyword.empty() || keyword.size() > line.size()) return 0;
    const std::size_t last = line.size() - keyword.size();
    // Candidates are found with memchr, for both cases of the keyword's first letter: most lines
    // searched (data lines) hold neither, and are passed over many bytes at a time.
    const char upper = UpperAscii(keyword[0]);
    const char lower = (upper >= 'A' && upper <= 'Z') ? static_cast<char>(upper - 'A' + 'a') : upper;
    const char* data = line.data();
    std::size_t i = 0;
    while (i <= last) {
        const std::size_t span = last + 1 - i;
        const void* u = std::memchr(data + i, upper, span);
        const void* l = lower == upper ? nullptr : std::memchr(data + i, lower, span);
        if (!u && !l) return 0;
        const char* first = !u ? static_cast<const char*>(l)
                            : !l ? static_cast<const char*>(u)
                                 : std::min(static_cast<const char*>(u), static_cast<const char*>(l));
        i = static_cast<std::size_t>(first - data);
        std::size_t k = 1;
        while (k < keyword.size() && UpperAscii(data[i + k]) == UpperAscii(keyword[k])) ++k;
        if (k == keyword.size()) return static_cast<int>(i + 1);
        ++i;
    }
    return 0;
}

std::string Trim(const std::string& s) { return std::string(TrimView(s)); }

bool TryStrToInt(const std::string& s, long long& value) { return ParseIntegerView(s, value); }

bool TryStrToFloat(const std::string& s, double& value) { return ParseFloatView(s, value); }

int StrToInt(const std::string& s) {
    long long v = 0;
    if (!ParseIntegerView(s, v) || v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        throw EConvertError("'" + s + "' is not a valid integer value");
    return static_cast<int>(v);
}

double StrToFloat(const std::string& s) {
    double v = 0.0;
    if (!ParseFloatView(s, v)) throw EConvertError("'" + s + "' is not a valid floating point value");
    return v;
}

}  // namespace tintavo
