// TTextFile: a text file as a list of lines, and TTextReader: a text file read line by line.
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

// The lines of a file, split as TTextFile splits them, read in blocks through one buffer that
// is reused: a reader keeps neither the whole file nor a string per line in memory, so a
// 101-point cube is read without allocating for its million lines. The readers of the text
// layouts go through it.
//
//     TTextReader text(fileName);
//     std::string line;
//     while (text.NextLine(line)) ...   // text.LineNumber() is the line's number, from 1
class TTextReader {
public:
    // Opens the file. Raises EFileError naming the file and the reason when it cannot be read.
    explicit TTextReader(const std::string& fileName);
    // A text held in memory, for readers of a file's head and for tests.
    static TTextReader FromText(std::string_view text);
    TTextReader(TTextReader&& other) noexcept;
    TTextReader& operator=(TTextReader&&) = delete;
    TTextReader(const TTextReader&) = delete;
    TTextReader& operator=(const TTextReader&) = delete;
    ~TTextReader();

    // The next line, without its line break, into `line`; false after the last line.
    bool NextLine(std::string& line);
    // The number of the line NextLine gave last (1 for the first line; 0 before it).
    long long LineNumber() const { return lineNumber_; }
    // Starts again at the first line (the file is read again).
    void Rewind();
    // The number of lines; rewinds.
    std::size_t Count();

private:
    TTextReader() = default;
    // Reads more of the file behind the bytes not yet split; false at the end of the file.
    bool Fill();

    std::string fileName_;
    int fd_ = -1;               // -1 once the whole text is in buffer_
    long long fileOffset_ = 0;  // where the next block of the file starts
    std::vector<char> buffer_;
    std::size_t start_ = 0;  // first byte of buffer_ not yet handed out
    std::size_t end_ = 0;    // end of the bytes read into buffer_
    bool atEnd_ = false;     // the file is read to its end (or to a NUL byte)
    bool skipLineFeed_ = false;  // the last line ended with a CR at the end of a block
    long long lineNumber_ = 0;
};

}  // namespace tintavo
