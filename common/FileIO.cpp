#include "common/FileIO.h"

#include "common/Errors.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace tintavo {

namespace {

[[noreturn]] void ThrowFileError(const char* what, const std::string& fileName, int err) {
    throw EFileError(std::string(what) + " \"" + fileName + "\": " + std::strerror(err));
}

// Closes a descriptor on every path out of a function.
struct FdGuard {
    int fd = -1;
    ~FdGuard() {
        if (fd >= 0) ::close(fd);
    }
    int release() {
        int f = fd;
        fd = -1;
        return f;
    }
};

std::string FolderOf(const std::string& fileName) {
    auto slash = fileName.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return fileName.substr(0, slash);
}

}  // namespace

std::vector<std::uint8_t> ReadWholeFile(const std::string& fileName) {
    FdGuard g{::open(fileName.c_str(), O_RDONLY | O_CLOEXEC)};
    if (g.fd < 0) ThrowFileError("Cannot open file", fileName, errno);
    struct stat st {};
    if (::fstat(g.fd, &st) != 0) ThrowFileError("Cannot read file", fileName, errno);
    if (S_ISDIR(st.st_mode)) ThrowFileError("Cannot read file", fileName, EISDIR);
    std::vector<std::uint8_t> data;
    if (st.st_size > 0) data.reserve(static_cast<std::size_t>(st.st_size));
    std::uint8_t buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(g.fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowFileError("Cannot read file", fileName, errno);
        }
        if (n == 0) break;
        data.insert(data.end(), buf, buf + n);
    }
    return data;
}

std::string ReadFileHeadBytes(const std::string& fileName, std::size_t count) {
    FdGuard g{::open(fileName.c_str(), O_RDONLY | O_CLOEXEC)};
    if (g.fd < 0) ThrowFileError("Cannot open file", fileName, errno);
    std::string head(count, '\0');
    std::size_t got = 0;
    while (got < count) {
        ssize_t n = ::read(g.fd, head.data() + got, count - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EISDIR) ThrowFileError("Cannot read file", fileName, errno);
            ThrowFileError("Cannot read file", fileName, errno);
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    head.resize(got);
    return head;
}

void WriteFileAtomically(const std::string& fileName, std::string_view data) {
    const std::string folder = FolderOf(fileName);
    std::string tmp;
    FdGuard g;
    std::random_device rd;
    for (int attempt = 0; attempt < 100 && g.fd < 0; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".tintavo-%08x.tmp", static_cast<unsigned>(rd()));
        std::string base = fileName.substr(fileName.find_last_of('/') == std::string::npos
                                               ? 0
                                               : fileName.find_last_of('/') + 1);
        tmp = (folder == "." && fileName.find('/') == std::string::npos ? std::string() : folder + "/") +
              "." + base + suffix;
        g.fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (g.fd < 0 && errno != EEXIST) ThrowFileError("Cannot create file", fileName, errno);
    }
    if (g.fd < 0) ThrowFileError("Cannot create file", fileName, EEXIST);

    auto fail = [&](int err) {
        ::close(g.release());
        ::unlink(tmp.c_str());
        ThrowFileError("Cannot write file", fileName, err);
    };
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(g.fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    // Keep the permissions of a file we replace.
    struct stat st {};
    if (::stat(fileName.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) fail(EISDIR);
        ::fchmod(g.fd, st.st_mode & 07777);
    }
    if (::close(g.release()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        ThrowFileError("Cannot write file", fileName, err);
    }
    if (::rename(tmp.c_str(), fileName.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        ThrowFileError("Cannot create file", fileName, err);
    }
}

void WriteFileAtomically(const std::string& fileName, const std::vector<std::uint8_t>& data) {
    WriteFileAtomically(fileName,
                        std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}

}  // namespace tintavo
