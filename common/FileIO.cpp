#include "common/FileIO.h"

#include "common/Errors.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
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

std::string BaseNameOf(const std::string& fileName) {
    const auto slash = fileName.find_last_of('/');
    return slash == std::string::npos ? fileName : fileName.substr(slash + 1);
}

// The file a save replaces: `fileName` itself or, when that is a symbolic link, the end of its
// chain of links (which need not exist yet). Saving replaces the target and keeps the links.
std::string SaveTarget(const std::string& fileName) {
    std::string path = fileName;
    for (int links = 0;; ++links) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        if (links == 40) ThrowFileError("Cannot create file", fileName, ELOOP);
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        for (;;) {
            const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
            if (n < 0) ThrowFileError("Cannot create file", fileName, errno);
            if (static_cast<std::size_t>(n) < target.size()) {
                target.resize(static_cast<std::size_t>(n));
                break;
            }
            target.resize(target.size() * 2);  // the link changed meanwhile
        }
        // A relative link is relative to the folder the link is in.
        if (!target.empty() && target[0] != '/' && path.find('/') != std::string::npos)
            target = path.substr(0, path.find_last_of('/') + 1) + target;
        path = target;
    }
}

// Opens a file to read it whole, with its status; a folder is an error.
int OpenWholeFile(const std::string& fileName, struct stat& st) {
    FdGuard g{::open(fileName.c_str(), O_RDONLY | O_CLOEXEC)};
    if (g.fd < 0) ThrowFileError("Cannot open file", fileName, errno);
    if (::fstat(g.fd, &st) != 0) ThrowFileError("Cannot read file", fileName, errno);
    if (S_ISDIR(st.st_mode)) ThrowFileError("Cannot read file", fileName, EISDIR);
    return g.release();
}

}  // namespace

std::vector<std::uint8_t> ReadWholeFile(const std::string& fileName) {
    struct stat st {};
    FdGuard g{OpenWholeFile(fileName, st)};
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

std::size_t ReadWholeFile(const std::string& fileName, const std::function<std::uint8_t*(std::size_t)>& room) {
    struct stat st {};
    FdGuard g{OpenWholeFile(fileName, st)};
    // One byte more than the file's size, so that the end shows without growing the room.
    std::size_t capacity = st.st_size > 0 ? static_cast<std::size_t>(st.st_size) + 1 : std::size_t(1) << 16;
    std::uint8_t* buffer = room(capacity);
    std::size_t got = 0;
    for (;;) {
        if (got == capacity) {  // a file without a size, or one that grew meanwhile
            capacity *= 2;
            buffer = room(capacity);
        }
        const ssize_t n = ::read(g.fd, buffer + got, capacity - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowFileError("Cannot read file", fileName, errno);
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
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
    const std::string target = SaveTarget(fileName);
    FdGuard folder{::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (folder.fd < 0) ThrowFileError("Cannot create file", fileName, errno);
    const std::string base = BaseNameOf(target);
    if (base.empty()) ThrowFileError("Cannot create file", fileName, EISDIR);

    struct stat old {};
    const bool replacing = ::fstatat(folder.fd, base.c_str(), &old, 0) == 0;
    if (replacing && S_ISDIR(old.st_mode)) ThrowFileError("Cannot create file", fileName, EISDIR);
    // A file the user may not write stays as it is, although the folder would let us replace it.
    if (replacing && ::faccessat(folder.fd, base.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES)
        ThrowFileError("Cannot create file", fileName, EACCES);

    // A short name of our own, so that a target name as long as the file system allows still
    // leaves room for it.
    char tmp[32] = "";
    FdGuard file;
    std::random_device random;
    for (int attempt = 0; attempt < 100 && file.fd < 0; ++attempt) {
        std::snprintf(tmp, sizeof tmp, ".tintavo-%08x", static_cast<unsigned>(random()));
        file.fd = ::openat(folder.fd, tmp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file.fd < 0 && errno != EEXIST) ThrowFileError("Cannot create file", fileName, errno);
    }
    if (file.fd < 0) ThrowFileError("Cannot create file", fileName, EEXIST);

    auto fail = [&](const char* what, int err) {
        if (file.fd >= 0) ::close(file.release());
        ::unlinkat(folder.fd, tmp, 0);
        ThrowFileError(what, fileName, err);
    };
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(file.fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("Cannot write file", errno);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (replacing) {
        // The replacement keeps the owner and the permissions of the file it replaces. Only the
        // superuser may give a file away, and some file systems store no modes: what cannot be
        // kept is left as created (the user's own file, with the default permissions).
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            (void)!::fchown(file.fd, old.st_uid, old.st_gid);
        (void)!::fchmod(file.fd, old.st_mode & 07777);
    }
    // The bytes reach the disk before the name points at them: a crash right after the rename
    // must not leave an empty file where the old one was.
    if (::fsync(file.fd) != 0) fail("Cannot write file", errno);
    if (::close(file.release()) != 0) fail("Cannot write file", errno);
    if (::renameat(folder.fd, tmp, folder.fd, base.c_str()) != 0) fail("Cannot create file", errno);
    // And the rename itself reaches the disk. Some file systems cannot sync a folder (EINVAL).
    if (::fsync(folder.fd) != 0 && errno != EINVAL) ThrowFileError("Cannot write file", fileName, errno);
}

void WriteFileAtomically(const std::string& fileName, const std::vector<std::uint8_t>& data) {
    WriteFileAtomically(fileName,
                        std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}

}  // namespace tintavo
