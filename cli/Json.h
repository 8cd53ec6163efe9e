// A minimal streaming JSON writer for the command-line tool's --json output.
//
// Numbers are written in the shortest form that reads back to the same double (std::to_chars),
// so a table printed by `info --values` round-trips exactly. Not-a-number and infinite values
// have no JSON form and are written as null. Strings are 8-bit texts from LUT files: valid UTF-8
// passes through, any other byte is taken as Latin-1 and escaped.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tintavo::cli {

class TJsonWriter {
public:
    explicit TJsonWriter(std::ostream& out, bool pretty = true) : out_(out), pretty_(pretty) {}

    TJsonWriter& BeginObject() { return Open('{'); }
    TJsonWriter& EndObject() { return Close('}'); }
    TJsonWriter& BeginArray() { return Open('['); }
    // A compact array keeps its elements on one line (colour triples, number rows).
    TJsonWriter& BeginCompactArray() { return Open('[', true); }
    TJsonWriter& EndArray() { return Close(']'); }

    TJsonWriter& Key(std::string_view key) {
        Separate();
        WriteString(key);
        out_ << (pretty_ ? ": " : ":");
        afterKey_ = true;
        return *this;
    }

    TJsonWriter& String(std::string_view s) {
        Separate();
        WriteString(s);
        return *this;
    }
    TJsonWriter& Number(double v) {
        Separate();
        WriteNumber(v);
        return *this;
    }
    TJsonWriter& Integer(long long v) {
        Separate();
        out_ << v;
        return *this;
    }
    TJsonWriter& Bool(bool v) {
        Separate();
        out_ << (v ? "true" : "false");
        return *this;
    }
    TJsonWriter& Null() {
        Separate();
        out_ << "null";
        return *this;
    }
    TJsonWriter& Triple(double a, double b, double c) {
        BeginCompactArray();
        Number(a).Number(b).Number(c);
        return EndArray();
    }

    // Ends the document with a line feed.
    void Finish() { out_ << '\n'; }

    static std::string FormatNumber(double v) {
        if (!std::isfinite(v)) return "null";
        char buf[64];
        const auto result = std::to_chars(buf, buf + sizeof buf, v);
        return std::string(buf, result.ptr);
    }

private:
    struct TLevel {
        bool first = true;
        bool compact = false;
    };

    TJsonWriter& Open(char c, bool compact = false) {
        Separate();
        out_ << c;
        const bool parentCompact = !levels_.empty() && levels_.back().compact;
        levels_.push_back(TLevel{true, compact || parentCompact});
        return *this;
    }

    TJsonWriter& Close(char c) {
        const TLevel level = levels_.back();
        levels_.pop_back();
        if (!level.first && pretty_ && !level.compact) NewLine();
        out_ << c;
        return *this;
    }

    // Writes what comes before a value or key: a comma and the indentation, unless the value
    // follows its key.
    void Separate() {
        if (afterKey_) {
            afterKey_ = false;
            return;
        }
        if (levels_.empty()) return;
        TLevel& level = levels_.back();
        if (!level.first) out_ << ',';
        if (level.compact) {
            if (!level.first && pretty_) out_ << ' ';
        } else if (pretty_) {
            NewLine();
        }
        level.first = false;
    }

    void NewLine() {
        out_ << '\n';
        for (std::size_t i = 0; i < levels_.size(); ++i) out_ << "  ";
    }

    void WriteNumber(double v) { out_ << FormatNumber(v); }

    // Length of the valid UTF-8 sequence starting at s[i], or 0 when it is not one.
    static std::size_t Utf8Length(std::string_view s, std::size_t i) {
        const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
        const std::uint8_t c = byte(i);
        std::size_t n;
        std::uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            n = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 4;
            cp = c & 0x07;
        } else {
            return 0;
        }
        if (i + n > s.size()) return 0;
        for (std::size_t k = 1; k < n; ++k) {
            if ((byte(i + k) & 0xC0) != 0x80) return 0;
            cp = (cp << 6) | (byte(i + k) & 0x3F);
        }
        // Overlong forms, surrogates and values beyond U+10FFFF are not valid.
        if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return 0;
        }
        return n;
    }

    void WriteString(std::string_view s) {
        static const char hex[] = "0123456789abcdef";
        out_ << '"';
        for (std::size_t i = 0; i < s.size();) {
            const auto c = static_cast<std::uint8_t>(s[i]);
            if (c == '"' || c == '\\') {
                out_ << '\\' << static_cast<char>(c);
            } else if (c == '\n') {
                out_ << "\\n";
            } else if (c == '\r') {
                out_ << "\\r";
            } else if (c == '\t') {
                out_ << "\\t";
            } else if (c < 0x20 || c == 0x7F) {
                out_ << "\\u00" << hex[c >> 4] << hex[c & 15];
            } else if (c >= 0x80) {
                const std::size_t n = Utf8Length(s, i);
                if (n > 0) {
                    out_.write(s.data() + i, static_cast<std::streamsize>(n));
                    i += n;
                    continue;
                }
                out_ << "\\u00" << hex[c >> 4] << hex[c & 15];
            } else {
                out_ << static_cast<char>(c);
            }
            ++i;
        }
        out_ << '"';
    }

    std::ostream& out_;
    bool pretty_;
    bool afterKey_ = false;
    std::vector<TLevel> levels_;
};

}  // namespace tintavo::cli
