#include "common/FileIO.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/Errors.h"

namespace fs = std::filesystem;

// The file system calls of a save, recorded while a test asks for them. Defining fsync and
// renameat here puts these in front of the C library's for the whole test program.
namespace {
bool gRecordCalls = false;
std::vector<std::string> gCalls;

std::string PathOfDescriptor(int fd) {
    char path[PATH_MAX + 1];
    const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, PATH_MAX);
    return n < 0 ? "?" : std::string(path, static_cast<std::size_t>(n));
}
}  // namespace

extern "C" int fsync(int fd) {
    if (gRecordCalls) gCalls.push_back("fsync " + PathOfDescriptor(fd));
    static auto real = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fsync"));
    return real(fd);
}

extern "C" int renameat(int fromFolder, const char* from, int toFolder, const char* to) {
    if (gRecordCalls)
        gCalls.push_back("rename " + PathOfDescriptor(fromFolder) + "/" + from + " " + PathOfDescriptor(toFolder) +
                         "/" + to);
    static auto real = reinterpret_cast<int (*)(int, const char*, int, const char*)>(::dlsym(RTLD_NEXT, "renameat"));
    return real(fromFolder, from, toFolder, to);
}

namespace tintavo {
namespace {

class FileIOTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::path(TINTAVO_BINARY_DIR) / "test-files" / "common" / info->name();
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        dir_ = fs::canonical(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    static std::string Read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Every name in the folder (left-over temporary files would show here).
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
};

TEST_F(FileIOTest, WritesThroughSymbolicLinksAndKeepsThem) {
    WriteFileAtomically(Path("real.cube"), std::string_view("old\n"));
    fs::create_symlink("real.cube", Path("relative.cube"));
    WriteFileAtomically(Path("relative.cube"), std::string_view("through a relative link\n"));
    EXPECT_TRUE(fs::is_symlink(Path("relative.cube")));
    EXPECT_EQ(fs::read_symlink(Path("relative.cube")), "real.cube");
    EXPECT_EQ(Read(Path("real.cube")), "through a relative link\n");

    // A chain: each relative link is read from the folder it is in.
    fs::create_directories(dir_ / "sub");
    fs::create_symlink("../real.cube", Path("sub/up.cube"));
    fs::create_symlink("sub/up.cube", Path("chain.cube"));
    WriteFileAtomically(Path("chain.cube"), std::string_view("through a chain\n"));
    EXPECT_TRUE(fs::is_symlink(Path("chain.cube")));
    EXPECT_TRUE(fs::is_symlink(Path("sub/up.cube")));
    EXPECT_EQ(Read(Path("real.cube")), "through a chain\n");

    // An absolute link whose target does not exist yet: the target is created.
    fs::create_symlink(Path("sub/new.cube"), Path("dangling.cube"));
    WriteFileAtomically(Path("dangling.cube"), std::string_view("created\n"));
    EXPECT_TRUE(fs::is_symlink(Path("dangling.cube")));
    EXPECT_EQ(Read(Path("sub/new.cube")), "created\n");

    EXPECT_EQ(Names(), (std::vector<std::string>{"chain.cube", "dangling.cube", "real.cube", "relative.cube", "sub"}));
    std::vector<std::string> sub;
    for (const auto& entry : fs::directory_iterator(dir_ / "sub")) sub.push_back(entry.path().filename().string());
    std::sort(sub.begin(), sub.end());
    EXPECT_EQ(sub, (std::vector<std::string>{"new.cube", "up.cube"}));

    // A loop of links is an error naming the file, and nothing is written.
    fs::create_symlink("loop-b", Path("loop-a"));
    fs::create_symlink("loop-a", Path("loop-b"));
    try {
        WriteFileAtomically(Path("loop-a"), std::string_view("x"));
        FAIL() << "no error";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find("loop-a"), std::string::npos) << e.what();
    }
}

TEST_F(FileIOTest, AcceptsTheLongestNameTheFileSystemAllows) {
    const long longest = ::pathconf(dir_.c_str(), _PC_NAME_MAX);
    ASSERT_GT(longest, 20);
    const std::string name = std::string(static_cast<std::size_t>(longest) - 5, 'n') + ".cube";
    WriteFileAtomically(Path(name), std::string_view("first\n"));
    WriteFileAtomically(Path(name), std::string_view("second\n"));
    EXPECT_EQ(Read(Path(name)), "second\n");
    EXPECT_EQ(Names(), std::vector<std::string>{name});

    // One character more is the file system's own refusal, with its reason.
    try {
        WriteFileAtomically(Path(name + "x"), std::string_view("x"));
        FAIL() << "no error";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find("File name too long"), std::string::npos) << e.what();
    }
    EXPECT_EQ(Names(), std::vector<std::string>{name});
}

TEST_F(FileIOTest, KeepsThePermissionsAndTheOwnerOfTheReplacedFile) {
    const std::string file = Path("kept.lut");
    for (mode_t mode : {0640, 0604, 0755, 0600}) {
        WriteFileAtomically(file, std::string_view("old\n"));
        ASSERT_EQ(::chmod(file.c_str(), mode), 0);
        WriteFileAtomically(file, std::string_view("new\n"));
        struct stat st {};
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
        EXPECT_EQ(Read(file), "new\n");
    }

    // A new file gets the usual permissions of a created file.
    const mode_t mask = ::umask(022);
    ::umask(mask);
    WriteFileAtomically(Path("fresh.lut"), std::string_view("x"));
    struct stat fresh {};
    ASSERT_EQ(::stat(Path("fresh.lut").c_str(), &fresh), 0);
    EXPECT_EQ(fresh.st_mode & 07777, 0666 & ~mask);

    if (::geteuid() != 0) GTEST_SKIP() << "only the superuser can give a file to another owner";
    WriteFileAtomically(file, std::string_view("old\n"));
    ASSERT_EQ(::chown(file.c_str(), 65534, 65533), 0);
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    WriteFileAtomically(file, std::string_view("new\n"));
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65533u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// A read-only file is not replaced, although its folder would allow the rename: a save must not
// do what writing the file in place could not. (As the superuser, the test saves as "nobody".)
TEST_F(FileIOTest, DoesNotReplaceAFileTheUserMayNotWrite) {
    ASSERT_EQ(::chmod(dir_.c_str(), 0777), 0);
    struct SaveAsNobody {
        const bool root = ::geteuid() == 0;
        SaveAsNobody() {
            if (root && ::seteuid(65534) != 0) ADD_FAILURE() << "cannot become nobody";
        }
        ~SaveAsNobody() {
            if (root && ::seteuid(0) != 0) std::abort();
        }
    };
    const std::string file = Path("read-only.cube");
    std::string message;
    {
        SaveAsNobody nobody;
        WriteFileAtomically(file, std::string_view("old\n"));
        ::chmod(file.c_str(), 0444);
        try {
            WriteFileAtomically(file, std::string_view("new\n"));
        } catch (const EFileError& e) {
            message = e.what();
        }
        EXPECT_EQ(Read(file), "old\n");
        ::chmod(file.c_str(), 0644);
        WriteFileAtomically(file, std::string_view("writable again\n"));
    }
    EXPECT_EQ(message, "Cannot create file \"" + file + "\": Permission denied");
    EXPECT_EQ(Read(file), "writable again\n");
    EXPECT_EQ(Names(), std::vector<std::string>{"read-only.cube"});
}

TEST_F(FileIOTest, SyncsTheFileBeforeTheRenameAndTheFolderAfterIt) {
    const std::string file = Path("synced.cube");
    WriteFileAtomically(file, std::string_view("old\n"));
    gCalls.clear();
    gRecordCalls = true;
    WriteFileAtomically(file, std::string_view("new\n"));
    gRecordCalls = false;
    ASSERT_EQ(gCalls.size(), 3u) << ::testing::PrintToString(gCalls);
    // fsync <temporary>, rename <temporary> <target>, fsync <folder>.
    const std::string folder = dir_.string();
    const std::string temporary = gCalls[0].substr(6);
    EXPECT_EQ(gCalls[0].rfind("fsync " + folder + "/.", 0), 0u) << gCalls[0];
    EXPECT_EQ(gCalls[1], "rename " + temporary + " " + file);
    EXPECT_EQ(gCalls[2], "fsync " + folder);
    // The temporary name is short, whatever the target is called.
    EXPECT_LE(fs::path(temporary).filename().string().size(), 20u);
    EXPECT_EQ(Read(file), "new\n");
}

TEST_F(FileIOTest, AFailedSaveLeavesTheOldFileAndNoTemporary) {
    const std::string file = Path("keep.cube");
    WriteFileAtomically(file, std::string_view("old\n"));
    fs::create_directories(dir_ / "folder.cube");
    EXPECT_THROW(WriteFileAtomically(Path("folder.cube"), std::string_view("x")), EFileError);
    EXPECT_THROW(WriteFileAtomically(Path("missing/x.cube"), std::string_view("x")), EFileError);
    EXPECT_EQ(Read(file), "old\n");
    EXPECT_EQ(Names(), (std::vector<std::string>{"folder.cube", "keep.cube"}));
}

// Large files can be read into memory of the caller's own: once for a file with a size, growing
// for one without (a pipe), keeping what was read so far.
TEST_F(FileIOTest, ReadsAWholeFileIntoTheCallersMemory) {
    std::string content(300000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 1000);
    WriteFileAtomically(Path("file.bin"), content);
    std::vector<std::size_t> asked;
    std::string buffer;
    auto room = [&](std::size_t n) {
        asked.push_back(n);
        buffer.resize(n);
        return reinterpret_cast<std::uint8_t*>(buffer.data());
    };
    EXPECT_EQ(ReadWholeFile(Path("file.bin"), room), content.size());
    EXPECT_EQ(asked, std::vector<std::size_t>{content.size() + 1});
    EXPECT_EQ(buffer.substr(0, content.size()), content);

    ASSERT_EQ(::mkfifo(Path("pipe").c_str(), 0600), 0);
    std::thread writer([&] {
        std::ofstream pipe(Path("pipe"), std::ios::binary);
        pipe.write(content.data(), static_cast<std::streamsize>(content.size()));
    });
    asked.clear();
    const std::size_t got = ReadWholeFile(Path("pipe"), room);
    writer.join();
    EXPECT_EQ(got, content.size());
    EXPECT_GT(asked.size(), 1u);
    EXPECT_EQ(buffer.substr(0, got), content);

    try {
        ReadWholeFile(Path("absent.bin"), room);
        FAIL() << "no error";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find("absent.bin"), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace tintavo
