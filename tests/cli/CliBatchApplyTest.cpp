// tintavo-cli apply with --out-dir: many pictures, folders and frame patterns, a bad picture among
// good ones, outputs that exist, and the driver's threads.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "CliTestSupport.h"
#include "cli/BatchApply.h"
#include "common/Parallel.h"
#include "picture/Picture.h"

namespace tintavo {
namespace {

using namespace clitest;
namespace fs = std::filesystem;

// A 2-point cube that swaps red and blue and halves green: every pixel changes.
const char* const kSwapCube =
    "LUT_3D_SIZE 2\n"
    "0 0 0\n0 0 1\n0 0.5 0\n0 0.5 1\n1 0 0\n1 0 1\n1 0.5 0\n1 0.5 1\n";

TBitmap24 Gradient(int width, int height, int seed) {
    TBitmap24 bmp;
    bmp.SetSize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bmp.SetPixel(x, y, static_cast<std::uint8_t>(x * 7 + seed), static_cast<std::uint8_t>(y * 5 + seed * 3),
                         static_cast<std::uint8_t>((x + y) * 3 + seed * 11));
    return bmp;
}

bool SamePixels(const TBitmap24& a, const TBitmap24& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            std::uint8_t ar, ag, ab, br, bg, bb;
            a.GetPixel(x, y, ar, ag, ab);
            b.GetPixel(x, y, br, bg, bb);
            if (ar != br || ag != bg || ab != bb) return false;
        }
    return true;
}

TBitmap24 Load(const std::string& file) {
    TBitmap24 bmp;
    LoadPicture(file, bmp);
    return bmp;
}

class CliBatchApply : public ::testing::Test {
protected:
    void SetUp() override {
        WriteText(dir.Path("swap.cube"), kSwapCube);
        fs::create_directory(dir.Path("in"));
        for (int i = 1; i <= 3; ++i) SavePicture(In("shot.000" + std::to_string(i) + ".png"), Gradient(40, 30, i));
    }

    std::string In(const std::string& name) const { return dir.Path("in/" + name); }
    std::string Out(const std::string& name) const { return dir.Path("out/" + name); }

    // What apply -o writes for one picture: the reference every batch output must equal.
    std::string Single(const std::string& input) {
        const std::string output = dir.Path("single-" + fs::path(input).filename().string());
        const TRunResult run = RunCli({"apply", dir.Path("swap.cube"), input, "-o", output});
        EXPECT_EQ(run.Status, 0) << run.Err;
        return ReadText(output);
    }

    TScratchDir dir;
};

TEST_F(CliBatchApply, BadPicturesAreReportedAndTheOthersAreStillWritten) {
    WriteText(In("shot.0004.png"), "\x89PNG\r\n\x1a\n but nothing after");
    const TRunResult run =
        RunCli({"apply", dir.Path("swap.cube"), In("shot.0001.png"), In("shot.0004.png"), In("missing.png"),
                In("shot.0002.png"), In("shot.0003.png"), "--out-dir", dir.Path("out"), "--jobs", "2"});
    EXPECT_EQ(run.Status, 1) << run.Err;
    EXPECT_EQ(run.Out, "Wrote 3 of 5 pictures to " + dir.Path("out") + "\n");
    EXPECT_NE(run.Err.find("error: Cannot read picture \"" + In("shot.0004.png") + "\""), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find(In("missing.png")), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("error: 2 of 5 pictures failed\n"), std::string::npos) << run.Err;
    // Not on a terminal: no progress line.
    EXPECT_EQ(run.Err.find("/5]"), std::string::npos) << run.Err;
    EXPECT_EQ(run.Err.find('\r'), std::string::npos) << run.Err;

    EXPECT_FALSE(fs::exists(Out("shot.0004.png")));
    EXPECT_FALSE(fs::exists(Out("missing.png")));
    for (int i = 1; i <= 3; ++i) {
        const std::string name = "shot.000" + std::to_string(i) + ".png";
        ASSERT_TRUE(fs::exists(Out(name))) << name;
        EXPECT_EQ(ReadText(Out(name)), Single(In(name))) << name << " differs from apply -o";
    }
    // No temporary files are left behind beside the outputs.
    EXPECT_EQ(fs::directory_iterator(dir.Path("out")) == fs::directory_iterator(), false);
    int count = 0;
    for (const auto& entry : fs::directory_iterator(dir.Path("out"))) count += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(count, 3);
}

TEST_F(CliBatchApply, ExistingOutputsAreKeptUnlessOverwriteIsGiven) {
    fs::create_directory(dir.Path("out"));
    WriteText(Out("shot.0002.png"), "precious");
    TRunResult run = RunCli({"apply", dir.Path("swap.cube"), dir.Path("in"), "--out-dir", dir.Path("out")});
    EXPECT_EQ(run.Status, 1) << run.Err;
    EXPECT_NE(run.Err.find("\"" + Out("shot.0002.png") + "\" exists (--overwrite replaces it)"), std::string::npos)
        << run.Err;
    EXPECT_EQ(ReadText(Out("shot.0002.png")), "precious");
    EXPECT_EQ(ReadText(Out("shot.0001.png")), Single(In("shot.0001.png")));
    EXPECT_EQ(ReadText(Out("shot.0003.png")), Single(In("shot.0003.png")));

    // Run again: now every output exists, nothing is replaced.
    const std::string first = ReadText(Out("shot.0001.png"));
    WriteText(Out("shot.0001.png"), "mine");
    run = RunCli({"apply", dir.Path("swap.cube"), dir.Path("in"), "--out-dir", dir.Path("out")});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Out, "Wrote 0 of 3 pictures to " + dir.Path("out") + "\n");
    EXPECT_EQ(ReadText(Out("shot.0001.png")), "mine");

    run = RunCli({"apply", dir.Path("swap.cube"), dir.Path("in"), "--out-dir", dir.Path("out"), "--overwrite"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(ReadText(Out("shot.0001.png")), first);
    EXPECT_EQ(ReadText(Out("shot.0002.png")), Single(In("shot.0002.png")));

    // Two inputs of the same name would write one output: the second fails, even with --overwrite.
    fs::create_directory(dir.Path("more"));
    fs::copy_file(In("shot.0003.png"), dir.Path("more/shot.0001.png"));
    run = RunCli({"apply", dir.Path("swap.cube"), In("shot.0001.png"), dir.Path("more/shot.0001.png"), "--out-dir",
                  dir.Path("twice"), "--overwrite"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("is already the output of \"" + In("shot.0001.png") + "\""), std::string::npos) << run.Err;
    EXPECT_EQ(ReadText(dir.Path("twice/shot.0001.png")), Single(In("shot.0001.png")));
}

TEST_F(CliBatchApply, FoldersAndFramePatternsExpandInOrder) {
    SavePicture(In("shot.0010.png"), Gradient(8, 8, 10));
    SavePicture(In("shot.12.png"), Gradient(8, 8, 12));    // not %04d
    SavePicture(In("shot.00005.png"), Gradient(8, 8, 5));  // five digits for a small number: not %04d
    SavePicture(In("shotX0007.png"), Gradient(8, 8, 7));   // another prefix
    SavePicture(In(".hidden.png"), Gradient(8, 8, 1));
    WriteText(In("notes.txt"), "not a picture");
    WriteText(In("shot.0008.png.bak"), "a backup");
    fs::create_directory(In("shot.0009.png"));  // a folder that looks like a frame

    EXPECT_EQ(
        cli::FramePatternFiles(In("shot.%04d.png")),
        (std::vector<std::string>{In("shot.0001.png"), In("shot.0002.png"), In("shot.0003.png"), In("shot.0010.png")}));
    EXPECT_EQ(cli::FramePatternFiles(In("shot.%d.png")), (std::vector<std::string>{In("shot.12.png")}));
    EXPECT_EQ(cli::FramePatternFiles(In("shot.%05d.png")), (std::vector<std::string>{In("shot.00005.png")}));

    EXPECT_TRUE(cli::IsFramePattern("a/b.%d.tif"));
    EXPECT_TRUE(cli::IsFramePattern("100%%.%03d.tif"));
    EXPECT_FALSE(cli::IsFramePattern("a%%d.tif"));  // a literal percent sign and a d
    EXPECT_FALSE(cli::IsFramePattern("shot.%s.tif"));
    EXPECT_FALSE(cli::IsFramePattern("shot.%4d.tif"));  // space padding is not a frame number
    EXPECT_FALSE(cli::IsFramePattern("%d/shot.tif"));   // only the name holds the number
    EXPECT_FALSE(cli::IsFramePattern("a.%d.%d.tif"));
    WriteText(In("100%.7.txt"), "x");
    EXPECT_EQ(cli::FramePatternFiles(In("100%%.%d.txt")), (std::vector<std::string>{In("100%.7.txt")}));

    const std::vector<cli::TBatchInput> inputs =
        cli::ExpandBatchInputs({dir.Path("in"), In("none.%04d.png"), dir.Path("swap.cube")});
    ASSERT_EQ(inputs.size(), 3u);
    // The folder: pictures by extension, sorted by name, no hidden files, no folders.
    EXPECT_EQ(inputs[0].Files, (std::vector<std::string>{In("shot.00005.png"), In("shot.0001.png"), In("shot.0002.png"),
                                                         In("shot.0003.png"), In("shot.0010.png"), In("shot.12.png"),
                                                         In("shotX0007.png")}));
    EXPECT_TRUE(inputs[1].Files.empty());
    EXPECT_NE(inputs[1].Problem.find("no file matches"), std::string::npos);
    EXPECT_EQ(inputs[2].Files, (std::vector<std::string>{dir.Path("swap.cube")}));
    // A file whose name looks like a pattern is that file.
    WriteText(In("take%d.png"), "x");
    EXPECT_EQ(cli::ExpandBatchInputs({In("take%d.png")})[0].Files, (std::vector<std::string>{In("take%d.png")}));

    // End to end: a frame pattern, and --type choosing the output type.
    const TRunResult run =
        RunCli({"apply", dir.Path("swap.cube"), In("shot.%04d.png"), "--out-dir", dir.Path("out"), "--type", "TIF"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "Wrote 4 of 4 pictures to " + dir.Path("out") + "\n");
    for (const char* frame : {"0001", "0002", "0003", "0010"}) {
        const std::string name = std::string("shot.") + frame;
        ASSERT_TRUE(fs::exists(Out(name + ".tif"))) << name;
        EXPECT_EQ(ReadText(Out(name + ".tif")).substr(0, 2), "II") << "not a TIFF";
        (void)Single(In(name + ".png"));
        EXPECT_TRUE(SamePixels(Load(Out(name + ".tif")), Load(dir.Path("single-" + name + ".png")))) << name;
    }
    EXPECT_FALSE(fs::exists(Out("shot.12.tif")));
}

TEST_F(CliBatchApply, CommandLineMistakes) {
    const auto usage = [this](std::vector<std::string> extra, const std::string& mention) {
        std::vector<std::string> args = {"apply", dir.Path("swap.cube"), In("shot.0001.png")};
        args.insert(args.end(), extra.begin(), extra.end());
        const TRunResult run = RunCli(args);
        EXPECT_EQ(run.Status, 2) << mention << ": " << run.Err;
        EXPECT_NE(run.Err.find(mention), std::string::npos) << run.Err;
    };
    usage({In("shot.0002.png"), "-o", dir.Path("x.png")}, "several pictures are written with --out-dir");
    usage({"-o", dir.Path("x.png"), "--overwrite"}, "--overwrite goes with --out-dir");
    usage({"-o", dir.Path("x.png"), "--jobs", "2"}, "--jobs goes with --out-dir");
    usage({"--out-dir", dir.Path("out"), "-o", dir.Path("x.png")}, "either -o or --out-dir");
    usage({"--out-dir", dir.Path("out"), "--type", "gif"}, "unknown picture type \"gif\"");
    usage({"--out-dir", dir.Path("out"), "--jobs", "0"}, "--jobs takes 1 to 256");
    usage({}, "-o is required");
    EXPECT_FALSE(fs::exists(dir.Path("out")));
    EXPECT_FALSE(fs::exists(dir.Path("x.png")));

    // A LUT that cannot be read stops the batch before anything is made.
    const TRunResult run =
        RunCli({"apply", dir.Path("missing.cube"), In("shot.0001.png"), "--out-dir", dir.Path("out")});
    EXPECT_EQ(run.Status, 1);
    EXPECT_FALSE(fs::exists(dir.Path("out")));
}

TEST_F(CliBatchApply, ProgressIsShownOnATerminalOnly) {
    if (access("/usr/bin/script", X_OK) != 0) GTEST_SKIP() << "script (util-linux) is not installed";
    // script runs the command on a pseudo-terminal and copies what it shows into typescript.
    const std::string command = std::string("'") + TINTAVO_CLI_PATH + "' apply '" + dir.Path("swap.cube") + "' '" +
                                dir.Path("in") + "' --out-dir '" + dir.Path("out") + "' --jobs 1";
    const TRunResult run = RunProgram("/usr/bin/script", {"-qec", command, dir.Path("typescript")});
    ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
    const std::string shown = ReadText(dir.Path("typescript"));
    for (int i = 1; i <= 3; ++i)
        EXPECT_NE(shown.find("[" + std::to_string(i) + "/3] " + In("shot.000" + std::to_string(i) + ".png")),
                  std::string::npos)
            << shown;
    // The progress line is wiped before the summary.
    EXPECT_NE(shown.find("\r\033[KWrote 3 of 3 pictures"), std::string::npos) << shown;
}

// The driver itself, with steps that record what they see.
TEST(BatchDriver, JobsRunAtOnceEachFailureStaysWithItsJobAndTheThreadLimitComesBack) {
    SetParallelThreadLimit(3);
    std::vector<cli::TBatchJob> jobs;
    for (int i = 0; i < 12; ++i) jobs.push_back({"in" + std::to_string(i), "out" + std::to_string(i), ""});
    jobs[4].Problem = "planned failure";

    std::mutex lock;
    std::condition_variable changed;
    int inside = 0, mostInside = 0;
    std::vector<int> limits;
    std::vector<std::string> ran;
    std::vector<int> reportedDone;
    const auto step = [&](const std::string& input, const std::string& output) {
        std::unique_lock<std::mutex> hold(lock);
        ran.push_back(input + ">" + output);
        limits.push_back(ParallelThreadLimit());
        ++inside;
        mostInside = std::max(mostInside, inside);
        changed.notify_all();
        // The first jobs wait (a while at most) for a second one to run beside them.
        changed.wait_for(hold, std::chrono::seconds(10), [&] { return mostInside >= 2; });
        --inside;
        if (input == "in7") throw std::runtime_error("broken picture");
    };
    const cli::TBatchResult result =
        cli::RunBatch(jobs, step, 2, [&](const cli::TBatchJob&, const std::string&, int done, int total) {
            EXPECT_EQ(total, 12);
            reportedDone.push_back(done);
        });

    EXPECT_EQ(mostInside, 2) << "two threads never worked at once";
    EXPECT_EQ(ran.size(), 11u);       // the planned failure never runs
    for (const std::string& r : ran)  // "inN>outN": each step was given its own job's output
        EXPECT_EQ(r.substr(2, r.find('>') - 2), r.substr(r.find('>') + 4)) << r;
    for (const int limit : limits) EXPECT_EQ(limit, 1) << "the loops inside a job compete with the jobs";
    EXPECT_EQ(ParallelThreadLimit(), 3) << "the thread limit was not restored";
    EXPECT_EQ(result.Written, 10);
    ASSERT_EQ(result.Failures.size(), 2u);
    EXPECT_EQ(result.Failures[0].Input, "in4");
    EXPECT_EQ(result.Failures[0].Message, "planned failure");
    EXPECT_EQ(result.Failures[1].Input, "in7");
    EXPECT_EQ(result.Failures[1].Message, "broken picture");
    std::vector<int> expectedDone(12);
    for (int i = 0; i < 12; ++i) expectedDone[static_cast<std::size_t>(i)] = i + 1;
    EXPECT_EQ(reportedDone, expectedDone);

    // One thread: the jobs run in order on the caller's thread and the inner loops keep theirs.
    ran.clear();
    limits.clear();
    mostInside = 2;  // nothing to wait for
    const cli::TBatchResult alone = cli::RunBatch(jobs, step, 1);
    EXPECT_EQ(alone.Written, 10);
    ASSERT_EQ(ran.size(), 11u);
    EXPECT_EQ(ran.front(), "in0>out0");
    EXPECT_EQ(ran.back(), "in11>out11");
    for (const int limit : limits) EXPECT_EQ(limit, 3);
    SetParallelThreadLimit(0);
}

}  // namespace
}  // namespace tintavo
