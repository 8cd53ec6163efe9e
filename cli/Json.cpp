#include "cli/Json.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

namespace tintavo::cli {

namespace {

// Length of the valid UTF-8 sequence starting at s[i], or 0 when it is not one.
std::size_t Utf8Length(std::string_view s, std::size_t i) {
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

// A number, string, true, false, null or empty container on its own, in ASCII. Numbers go
// through std::to_chars: the shortest form that reads back to the same double, written without
// building a string (a 101-point table has three million of them).
void PrintScalar(std::ostream& out, const TJson& value) {
    char buffer[64];
    std::to_chars_result written{buffer, std::errc()};
    if (value.is_number_float()) {
        const double v = value.get<double>();
        if (!std::isfinite(v)) {
            out << "null";
            return;
        }
        written = std::to_chars(buffer, buffer + sizeof buffer, v);
    } else if (value.is_number_unsigned()) {
        written = std::to_chars(buffer, buffer + sizeof buffer, value.get<std::uint64_t>());
    } else if (value.is_number_integer()) {
        written = std::to_chars(buffer, buffer + sizeof buffer, value.get<std::int64_t>());
    } else {
        out << value.dump(-1, ' ', true, TJson::error_handler_t::replace);
        return;
    }
    out.write(buffer, written.ptr - buffer);
}

void Print(std::ostream& out, const TJson& value, std::size_t depth) {
    if (!value.is_structured() || value.empty()) {
        PrintScalar(out, value);
        return;
    }
    const bool numbersOnly = value.is_array() && std::all_of(value.begin(), value.end(), [](const TJson& item) {
                                 return item.is_number() || item.is_null();
                             });
    if (numbersOnly) {
        out << '[';
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (i) out << ", ";
            PrintScalar(out, value[i]);
        }
        out << ']';
        return;
    }
    const std::string indent(2 * depth + 2, ' ');
    out << (value.is_object() ? '{' : '[');
    bool first = true;
    for (auto it = value.begin(); it != value.end(); ++it) {
        out << (first ? "\n" : ",\n") << indent;
        first = false;
        if (value.is_object()) {
            PrintScalar(out, TJson(it.key()));
            out << ": ";
        }
        Print(out, it.value(), depth + 1);
    }
    out << '\n' << indent.substr(2) << (value.is_object() ? '}' : ']');
}

}  // namespace

TJson JsonText(std::string_view text) {
    std::string utf8;
    utf8.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<std::uint8_t>(text[i]);
        const std::size_t n = c < 0x80 ? 1 : Utf8Length(text, i);
        if (n > 0) {
            utf8.append(text.data() + i, n);
            i += n;
        } else {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
            ++i;
        }
    }
    return TJson(std::move(utf8));
}

void PrintJson(std::ostream& out, const TJson& document) {
    Print(out, document, 0);
    out << '\n';
}

}  // namespace tintavo::cli
