// TTextFile: a text file as a list of lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tintavo {

class TTextFile {
public:
    std::vector<std::string> Lines;
    const std::string LineBreak = "\n";  // every written line ends with one line feed

    // Reads the whole file and splits it into lines at CR, LF or CR LF; a NUL byte ends the
    // text. Raises EFileError naming the file when it cannot be read.
    void LoadFromFile(const std::string& fileName);
    // Sets the lines from a text, split the same way.
    void SetText(std::string_view text);
    void Add(std::string line) { Lines.push_back(std::move(line)); }
    // The text as written: every line followed by LineBreak.
    std::string Text() const;
    // Writes Text() as raw bytes, atomically. Raises EFileError naming the file.
    void WriteToFile(const std::string& fileName) const;

    std::size_t Count() const { return Lines.size(); }
    const std::string& operator[](std::size_t i) const { return Lines[i]; }
};

}  // namespace tintavo
