#include "CliTestSupport.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>


extern char** environ;

namespace tintavo::clitest {

TRunResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
    char outName[] = "/tmp/tintavo-cli-out-XXXXXX";
    char errName[] = "/tmp/tintavo-cli-err-XXXXXX";
    const int outFd = mkstemp(outName);
    const int errFd = mkstemp(errName);
    if (outFd < 0 || errFd < 0) throw std::runtime_error("cannot create capture files");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    TRunResult result;
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outFd);
    close(errFd);
    if (rc == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    result.Out = ReadText(outName);
    result.Err = ReadText(errName);
    std::remove(outName);
    std::remove(errName);
    if (rc != 0) throw std::runtime_error("cannot start " + program);
    return result;
}

TRunResult RunCli(const std::vector<std::string>& args) { return RunProgram(TINTAVO_CLI_PATH, args); }

TScratchDir::TScratchDir() {
    char name[] = "/tmp/tintavo-cli-test-XXXXXX";
    if (!mkdtemp(name)) throw std::runtime_error("cannot create a scratch folder");
    dir_ = name;
}

TScratchDir::~TScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

std::vector<std::string> TScratchDir::Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadText(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const std::string& fileName, const std::string& text) {
    std::ofstream out(fileName, std::ios::binary);
    out << text;
}

// ---- JSON ----

const TJson& TJson::operator[](const std::string& key) const {
    const auto it = Members.find(key);
    if (it == Members.end()) throw std::runtime_error("JSON member \"" + key + "\" is missing");
    return it->second;
}

namespace {

class TJsonParser {
public:
    explicit TJsonParser(const std::string& text) : s_(text) {}

    TJson Document() {
        TJson v = Value();
        Skip();
        if (p_ != s_.size()) Fail("trailing text");
        return v;
    }

private:
    [[noreturn]] void Fail(const std::string& what) {
        throw std::runtime_error("malformed JSON at offset " + std::to_string(p_) + ": " + what);
    }
    void Skip() {
        while (p_ < s_.size() && (s_[p_] == ' ' || s_[p_] == '\n' || s_[p_] == '\t' || s_[p_] == '\r')) ++p_;
    }
    bool Take(char c) {
        Skip();
        if (p_ < s_.size() && s_[p_] == c) {
            ++p_;
            return true;
        }
        return false;
    }
    void Expect(char c) {
        if (!Take(c)) Fail(std::string("expected ") + c);
    }
    bool Word(const char* w) {
        const std::size_t n = std::char_traits<char>::length(w);
        if (s_.compare(p_, n, w) == 0) {
            p_ += n;
            return true;
        }
        return false;
    }

    TJson Value() {
        Skip();
        if (p_ >= s_.size()) Fail("unexpected end");
        TJson v;
        const char c = s_[p_];
        if (c == '{') {
            ++p_;
            v.Type = TJson::Object;
            if (Take('}')) return v;
            do {
                Skip();
                const std::string key = StringBody();
                Expect(':');
                v.Members[key] = Value();
            } while (Take(','));
            Expect('}');
        } else if (c == '[') {
            ++p_;
            v.Type = TJson::Array;
            if (Take(']')) return v;
            do v.Items.push_back(Value());
            while (Take(','));
            Expect(']');
        } else if (c == '"') {
            v.Type = TJson::String;
            v.StringValue = StringBody();
        } else if (Word("true")) {
            v.Type = TJson::Bool;
            v.BoolValue = true;
        } else if (Word("false")) {
            v.Type = TJson::Bool;
        } else if (Word("null")) {
            v.Type = TJson::Null;
        } else {
            const char* begin = s_.c_str() + p_;
            char* end = nullptr;
            v.NumberValue = std::strtod(begin, &end);
            if (end == begin) Fail("not a value");
            v.Type = TJson::Number;
            p_ += static_cast<std::size_t>(end - begin);
        }
        return v;
    }

    unsigned long Hex4() {
        if (p_ + 4 > s_.size()) Fail("unfinished \\u escape");
        const std::string digits = s_.substr(p_, 4);
        if (digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) Fail("bad \\u escape");
        p_ += 4;
        return std::stoul(digits, nullptr, 16);
    }

    static void AppendUtf8(std::string& out, unsigned long code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    std::string StringBody() {
        if (p_ >= s_.size() || s_[p_] != '"') Fail("expected a string");
        ++p_;
        std::string out;
        while (p_ < s_.size() && s_[p_] != '"') {
            char c = s_[p_++];
            if (static_cast<unsigned char>(c) < 0x20) Fail("control character in a string");
            if (c == '\\') {
                if (p_ >= s_.size()) Fail("unfinished escape");
                const char e = s_[p_++];
                switch (e) {
                    case 'n': out += '\n'; break;
                    case 'r': out += '\r'; break;
                    case 't': out += '\t'; break;
                    case 'b': out += '\b'; break;
                    case 'f': out += '\f'; break;
                    case 'u': {
                        unsigned long code = Hex4();
                        // Characters beyond U+FFFF come as a pair of surrogate escapes.
                        if (code >= 0xD800 && code <= 0xDBFF) {
                            if (s_.compare(p_, 2, "\\u") != 0) Fail("lone high surrogate");
                            p_ += 2;
                            const unsigned long low = Hex4();
                            if (low < 0xDC00 || low > 0xDFFF) Fail("bad low surrogate");
                            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                        } else if (code >= 0xDC00 && code <= 0xDFFF) {
                            Fail("lone low surrogate");
                        }
                        AppendUtf8(out, code);
                        break;
                    }
                    default: out += e;
                }
            } else {
                out += c;
            }
        }
        if (p_ >= s_.size()) Fail("unfinished string");
        ++p_;
        return out;
    }

    const std::string& s_;
    std::size_t p_ = 0;
};

double ClampUnit(double v) { return std::min(1.0, std::max(0.0, v)); }

}  // namespace

TJson ParseJson(const std::string& text) { return TJsonParser(text).Document(); }

// ---- synthetic charts ----

TLutColor DistortColor(const TLutColor& c) {
    return {ClampUnit(0.86 * c.R + 0.08 * c.G + 0.03), ClampUnit(0.96 * std::pow(c.G, 1.15) + 0.03 * c.B),
            ClampUnit(0.80 * c.B + 0.12 * c.R + 0.02)};
}

void DrawChart(TChartType chart, const TSelection& rect, int width, int height, TBitmap24& out) {
    out.SetSizeAndFill(width, height, 128);
    const int columns = ChartColumns(chart);
    const int rows = ChartRows(chart);
    const int cellW = std::abs(rect.X2 - rect.X1) / columns;
    const int cellH = std::abs(rect.Y2 - rect.Y1) / rows;
    const int left = std::min(rect.X1, rect.X2), top = std::min(rect.Y1, rect.Y2);
    for (int y = top; y <= std::max(rect.Y1, rect.Y2); ++y)
        for (int x = left; x <= std::max(rect.X1, rect.X2); ++x) out.SetPixel(x, y, 30, 30, 30);
    const TLutColor* reference = ChartReference(chart);
    for (int column = 0; column < columns; ++column) {
        for (int row = 0; row < rows; ++row) {
            const int index = chart == TChartType::Classic ? row * columns + column : column * rows + row;
            const TLutColor c = DistortColor(reference[index]);
            // The patch centre as the reader finds it.
            const int cx = rect.X1 + (column * (rect.X2 - rect.X1)) / columns + ((rect.X2 - rect.X1) / columns) / 2;
            const int cy = rect.Y1 + (row * (rect.Y2 - rect.Y1)) / rows + ((rect.Y2 - rect.Y1) / rows) / 2;
            const int hw = cellW * 35 / 100, hh = cellH * 35 / 100;
            const auto byte = [](double v) { return static_cast<std::uint8_t>(std::lround(255.0 * v)); };
            for (int y = cy - hh; y <= cy + hh; ++y)
                for (int x = cx - hw; x <= cx + hw; ++x) out.SetPixel(x, y, byte(c.R), byte(c.G), byte(c.B));
        }
    }
}

std::string RectText(const TSelection& r) {
    return std::to_string(r.X1) + "," + std::to_string(r.Y1) + "," + std::to_string(r.X2) + "," + std::to_string(r.Y2);
}

}  // namespace tintavo::clitest
