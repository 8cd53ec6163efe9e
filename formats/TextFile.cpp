#include "formats/TextFile.h"

#include "common/Errors.h"
#include "common/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tintavo {

void TTextFile::LoadFromFile(const std::string& fileName) {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(fileName);
    SetText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void TTextFile::SetText(std::string_view text) {
    Lines.clear();
    // A NUL byte ends the text, as in a C string.
    const auto nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    std::size_t pos = 0;
    const std::size_t n = text.size();
    Lines.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    while (pos < n) {
        std::size_t end = pos;
        while (end < n && text[end] != '\n' && text[end] != '\r') ++end;
        Lines.emplace_back(text.substr(pos, end - pos));
        // CR, LF and CR LF each end one line.
        if (end < n && text[end] == '\r') {
            ++end;
            if (end < n && text[end] == '\n') ++end;
        } else if (end < n) {
            ++end;
        }
        pos = end;
    }
}

std::string TTextFile::Text() const {
    std::size_t total = 0;
    for (const auto& line : Lines) total += line.size() + LineBreak.size();
    std::string text;
    text.reserve(total);
    for (const auto& line : Lines) {
        text += line;
        text += LineBreak;
    }
    return text;
}

void TTextFile::WriteToFile(const std::string& fileName) const {
    WriteFileAtomically(fileName, Text());
}

// ---------------------------------------------------------------------------------------------
// TTextReader

namespace {

// Large enough that a cube is read in a few hundred blocks, small enough to stay in the cache.
constexpr std::size_t BlockSize = 256 * 1024;

[[noreturn]] void ThrowReadError(const char* what, const std::string& fileName, int err) {
    throw EFileError(std::string(what) + " \"" + fileName + "\": " + std::strerror(err));
}

}  // namespace

TTextReader::TTextReader(const std::string& fileName) : fileName_(fileName) {
    fd_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) ThrowReadError("Cannot open file", fileName, errno);
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd_);
        fd_ = -1;
        ThrowReadError("Cannot read file", fileName, err);
    }
    if (S_ISREG(st.st_mode)) {
        // A small file gets a buffer its size (one read, nothing more to touch).
        const auto size = static_cast<std::size_t>(st.st_size);
        buffer_.resize(std::min(BlockSize, std::max<std::size_t>(size + 1, 64)));
        return;
    }
    // A pipe or a device cannot be read twice: its whole text is kept instead.
    const int fd = fd_;
    fd_ = -1;
    std::size_t size = 0;
    for (;;) {
        if (buffer_.size() - size < BlockSize) buffer_.resize(size + BlockSize);
        const ssize_t n = ::read(fd, buffer_.data() + size, buffer_.size() - size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            ThrowReadError("Cannot read file", fileName, err);
        }
        if (n == 0) break;
        size += static_cast<std::size_t>(n);
    }
    ::close(fd);
    buffer_.resize(size);
    Rewind();
}

TTextReader TTextReader::FromText(std::string_view text) {
    TTextReader reader;
    reader.buffer_.assign(text.begin(), text.end());
    reader.Rewind();
    return reader;
}

TTextReader::TTextReader(TTextReader&& other) noexcept
    : fileName_(std::move(other.fileName_)),
      fd_(other.fd_),
      fileOffset_(other.fileOffset_),
      buffer_(std::move(other.buffer_)),
      start_(other.start_),
      end_(other.end_),
      atEnd_(other.atEnd_),
      skipLineFeed_(other.skipLineFeed_),
      lineNumber_(other.lineNumber_) {
    other.fd_ = -1;
}

TTextReader::~TTextReader() {
    if (fd_ >= 0) ::close(fd_);
}

void TTextReader::Rewind() {
    start_ = 0;
    skipLineFeed_ = false;
    lineNumber_ = 0;
    if (fd_ >= 0) {
        fileOffset_ = 0;
        end_ = 0;
        atEnd_ = false;
        return;
    }
    // The whole text is in the buffer: it ends at its first NUL byte.
    const void* nul = std::memchr(buffer_.data(), '\0', buffer_.size());
    end_ = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - buffer_.data()) : buffer_.size();
    atEnd_ = true;
}

bool TTextReader::Fill() {
    if (atEnd_) return false;
    // Keep the part of a line not yet handed out at the front, and make room behind it.
    if (start_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + start_, end_ - start_);
        end_ -= start_;
        start_ = 0;
    }
    if (end_ == buffer_.size()) buffer_.resize(std::max<std::size_t>(2 * buffer_.size(), 64));
    for (;;) {
        const ssize_t n = ::pread(fd_, buffer_.data() + end_, buffer_.size() - end_, fileOffset_);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowReadError("Cannot read file", fileName_, errno);
        }
        if (n == 0) {
            atEnd_ = true;
            return false;
        }
        fileOffset_ += n;
        const char* block = buffer_.data() + end_;
        const void* nul = std::memchr(block, '\0', static_cast<std::size_t>(n));
        if (nul) {
            end_ += static_cast<std::size_t>(static_cast<const char*>(nul) - block);
            atEnd_ = true;
        } else {
            end_ += static_cast<std::size_t>(n);
        }
        return true;
    }
}

bool TTextReader::NextLine(std::string& line) {
    std::size_t scanFrom = start_;
    for (;;) {
        if (skipLineFeed_) {
            // A CR ended the last block: an LF opening this one belongs to it.
            if (start_ == end_ && Fill()) {
                scanFrom = start_;
                continue;
            }
            if (start_ < end_ && buffer_[start_] == '\n') ++start_;
            skipLineFeed_ = false;
            scanFrom = start_;
        }
        const char* data = buffer_.data();
        // The first LF, then the first CR before it: memchr scans many bytes at a time.
        std::size_t i = end_;
        if (scanFrom < end_) {
            const void* lf = std::memchr(data + scanFrom, '\n', end_ - scanFrom);
            if (lf) i = static_cast<std::size_t>(static_cast<const char*>(lf) - data);
            const void* cr = std::memchr(data + scanFrom, '\r', i - scanFrom);
            if (cr) i = static_cast<std::size_t>(static_cast<const char*>(cr) - data);
        }
        if (i < end_) {
            line.assign(data + start_, i - start_);
            ++lineNumber_;
            if (data[i] == '\r') {
                if (i + 1 < end_) {
                    start_ = i + 1 + (data[i + 1] == '\n' ? 1 : 0);
                } else {
                    start_ = i + 1;
                    skipLineFeed_ = true;
                }
            } else {
                start_ = i + 1;
            }
            return true;
        }
        // No line break among the bytes read: read on, unless the text has ended.
        const std::size_t scanned = i - start_;
        if (!Fill()) {
            if (start_ == end_) return false;
            line.assign(buffer_.data() + start_, end_ - start_);
            ++lineNumber_;
            start_ = end_;
            return true;
        }
        scanFrom = start_ + scanned;
    }
}

std::size_t TTextReader::Count() {
    Rewind();
    std::size_t count = 0;
    std::string line;
    while (NextLine(line)) ++count;
    Rewind();
    return count;
}

}  // namespace tintavo
