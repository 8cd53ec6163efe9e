#include "cli/BatchApply.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <map>
#include <mutex>
#include <system_error>

#include "cli/Commands.h"
#include "common/Parallel.h"
#include "picture/Picture.h"
#include "picture/PictureCodecs.h"

namespace tintavo::cli {

namespace fs = std::filesystem;

namespace {

// A frame pattern cut at its number field: folder, the name's text before and after the field,
// and the field's width when zero-padded.
struct TFramePattern {
    std::string Folder;  // with its closing separator, or empty for the current folder
    std::string Prefix;
    std::string Suffix;
    int Width = 0;  // 0 for %d
};

std::optional<TFramePattern> ParseFramePattern(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    TFramePattern pattern;
    pattern.Folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    bool field = false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        std::string& part = field ? pattern.Suffix : pattern.Prefix;
        if (name[i] != '%') {
            part += name[i];
            continue;
        }
        if (i + 1 < name.size() && name[i + 1] == '%') {
            part += '%';
            ++i;
            continue;
        }
        // %d or %0Nd, N one digit 1..9; anything else is no pattern of ours.
        if (field) return std::nullopt;
        if (i + 1 < name.size() && name[i + 1] == 'd') {
            ++i;
        } else if (i + 3 < name.size() && name[i + 1] == '0' && name[i + 2] >= '1' && name[i + 2] <= '9' &&
                   name[i + 3] == 'd') {
            pattern.Width = name[i + 2] - '0';
            i += 3;
        } else {
            return std::nullopt;
        }
        field = true;
    }
    if (!field) return std::nullopt;
    return pattern;
}

std::string FrameName(const TFramePattern& pattern, unsigned long long frame) {
    std::string digits = std::to_string(frame);
    if (digits.size() < static_cast<std::size_t>(pattern.Width))
        digits.insert(0, static_cast<std::size_t>(pattern.Width) - digits.size(), '0');
    return pattern.Prefix + digits + pattern.Suffix;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The system's reason without the library's decoration of the path.
std::string Reason(const fs::filesystem_error& e) { return e.code().message(); }

bool IsHidden(const fs::path& name) { return !name.empty() && name.filename().string().front() == '.'; }

// Limits the process-wide parallel loops while a batch runs its own threads.
class TThreadLimitGuard {
public:
    explicit TThreadLimitGuard(int limit) : previous_(ParallelThreadLimit()) { SetParallelThreadLimit(limit); }
    ~TThreadLimitGuard() { SetParallelThreadLimit(previous_); }
    TThreadLimitGuard(const TThreadLimitGuard&) = delete;
    TThreadLimitGuard& operator=(const TThreadLimitGuard&) = delete;

private:
    int previous_;
};

}  // namespace

bool IsFramePattern(const std::string& path) { return ParseFramePattern(path).has_value(); }

std::vector<std::string> FramePatternFiles(const std::string& patternText) {
    const std::optional<TFramePattern> pattern = ParseFramePattern(patternText);
    if (!pattern) return {};
    const fs::path folder = pattern->Folder.empty() ? fs::path(".") : fs::path(pattern->Folder);
    std::vector<std::pair<unsigned long long, std::string>> frames;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        const std::size_t fixed = pattern->Prefix.size() + pattern->Suffix.size();
        if (name.size() <= fixed || name.size() - fixed > 18) continue;
        if (name.compare(0, pattern->Prefix.size(), pattern->Prefix) != 0) continue;
        if (name.compare(name.size() - pattern->Suffix.size(), pattern->Suffix.size(), pattern->Suffix) != 0) continue;
        const std::string digits = name.substr(pattern->Prefix.size(), name.size() - fixed);
        if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
        const unsigned long long frame = std::stoull(digits);
        if (FrameName(*pattern, frame) != name) continue;
        std::error_code error;
        if (!entry.is_regular_file(error)) continue;
        frames.emplace_back(frame, pattern->Folder + name);
    }
    std::sort(frames.begin(), frames.end());
    std::vector<std::string> files;
    for (auto& frame : frames) files.push_back(std::move(frame.second));
    return files;
}

std::vector<TBatchInput> ExpandBatchInputs(const std::vector<std::string>& inputs) {
    std::vector<TBatchInput> expanded;
    for (const std::string& given : inputs) {
        TBatchInput input{given, {}, {}};
        std::error_code error;
        try {
            // A file that exists is itself, even when its name looks like a pattern.
            if (IsFramePattern(given) && !fs::exists(given, error)) {
                input.Files = FramePatternFiles(given);
                if (input.Files.empty()) input.Problem = "no file matches the frame pattern " + Quoted(given);
            } else if (fs::is_directory(given, error)) {
                for (const fs::directory_entry& entry : fs::directory_iterator(given)) {
                    if (IsHidden(entry.path()) || !entry.is_regular_file(error)) continue;
                    if (!PictureCodecForFileName(entry.path().filename().string())) continue;
                    input.Files.push_back((fs::path(given) / entry.path().filename()).string());
                }
                std::sort(input.Files.begin(), input.Files.end());
                if (input.Files.empty()) input.Problem = "no pictures in the folder " + Quoted(given);
            } else {
                input.Files.push_back(given);
            }
        } catch (const fs::filesystem_error& e) {
            input.Files.clear();
            input.Problem = "cannot read the folder of " + Quoted(given) + ": " + Reason(e);
        }
        expanded.push_back(std::move(input));
    }
    return expanded;
}

std::vector<TBatchJob> PlanBatch(const std::vector<TBatchInput>& inputs, const TBatchPlanOptions& options) {
    std::vector<TBatchJob> jobs;
    std::map<std::string, std::string> writers;  // output -> the input that writes it
    for (const TBatchInput& input : inputs) {
        if (input.Files.empty()) {
            jobs.push_back({input.Given, "", input.Problem});
            continue;
        }
        for (const std::string& file : input.Files) {
            const fs::path name = fs::path(file).filename();
            const std::string extension = options.Extension ? "." + *options.Extension : name.extension().string();
            TBatchJob job{file, (fs::path(options.OutDir) / name.stem()).string() + extension, ""};
            std::error_code error;
            if (!CanSavePicture(job.Output)) {
                job.Problem = "cannot write a picture named " + Quoted(job.Output) + " (the output is named " +
                              SavablePictureExtensions() + ")";
            } else if (const auto other = writers.find(job.Output); other != writers.end()) {
                job.Problem = Quoted(job.Output) + " is already the output of " + Quoted(other->second);
            } else if (!options.Overwrite && fs::exists(fs::symlink_status(job.Output, error))) {
                job.Problem = Quoted(job.Output) + " exists (--overwrite replaces it)";
            }
            if (job.Problem.empty()) writers.emplace(job.Output, file);
            jobs.push_back(std::move(job));
        }
    }
    return jobs;
}

TBatchResult RunBatch(const std::vector<TBatchJob>& jobs,
                      const std::function<void(const std::string& input, const std::string& output)>& step, int threads,
                      const TBatchReport& report) {
    const int total = static_cast<int>(jobs.size());
    std::vector<std::string> failures(jobs.size());
    std::atomic<int> next{0};
    std::mutex lock;
    int done = 0;
    const auto finish = [&](int index, std::string failure) {
        const std::lock_guard<std::mutex> hold(lock);
        ++done;
        if (report) report(jobs[static_cast<std::size_t>(index)], failure, done, total);
        failures[static_cast<std::size_t>(index)] = std::move(failure);
    };
    const auto work = [&](int, int) {
        for (int index = next++; index < total; index = next++) {
            const TBatchJob& job = jobs[static_cast<std::size_t>(index)];
            if (!job.Problem.empty()) {
                finish(index, job.Problem);
                continue;
            }
            std::string failure;
            try {
                step(job.Input, job.Output);
            } catch (const std::exception& e) {
                failure = e.what();
                if (failure.empty()) failure = "failed";
            }
            finish(index, std::move(failure));
        }
    };

    int workers = threads > 0 ? threads : ParallelThreadLimit();
    workers = std::max(1, std::min(workers, total));
    if (workers > 1) {
        const TThreadLimitGuard oneThreadInside(1);
        TParallelOptions options;
        options.MaxThreads = workers;
        ParallelFor(workers, work, options);
    } else {
        work(0, 1);
    }

    TBatchResult result;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (failures[i].empty())
            ++result.Written;
        else
            result.Failures.push_back({jobs[i].Input, failures[i]});
    }
    return result;
}

int RunBatchApply(const TArgs& args) {
    const std::string outDir = *args.Value("--out-dir");
    if (args.Has("-o")) throw EUsageError("give either -o or --out-dir, not both");
    TBatchPlanOptions plan;
    plan.OutDir = outDir;
    plan.Overwrite = args.Has("--overwrite");
    if (const auto type = args.Value("--type")) {
        std::string extension = ToLowerAscii(*type);
        if (!extension.empty() && extension.front() == '.') extension.erase(0, 1);
        if (extension.empty() || !CanSavePicture("x." + extension))
            throw EUsageError("unknown picture type " + Quoted(*type) + "; the types written are " +
                              SavablePictureExtensions());
        plan.Extension = extension;
    }
    int threads = 0;
    if (const auto jobs = args.Value("--jobs")) {
        threads = ParseInteger(*jobs, "--jobs");
        if (threads < 1 || threads > 256) throw EUsageError("--jobs takes 1 to 256 threads");
    }

    const std::string& lutFile = args.Positional(0);
    const TLoadedLut loaded = LoadLutFile(lutFile, args.Value("--from"));
    CheckUsableLut(loaded, lutFile);

    const std::vector<TBatchJob> jobs = PlanBatch(ExpandBatchInputs(args.Positionals(1)), plan);
    std::error_code error;
    fs::create_directories(outDir, error);
    if (!fs::is_directory(outDir)) {
        throw std::runtime_error("cannot make the folder " + Quoted(outDir) + ": " +
                                 (error ? error.message() : std::string("a file of that name exists")));
    }
    const bool terminal = isatty(STDERR_FILENO) == 1;
    const TBatchReport report = [terminal](const TBatchJob& job, const std::string& failure, int done, int total) {
        // On a terminal one line shows the progress and is redrawn; failures stay above it.
        if (terminal) std::fputs("\r\033[K", stderr);
        // Most messages name the picture already.
        if (!failure.empty() && failure.find(job.Input) != std::string::npos)
            std::fprintf(stderr, "error: %s\n", failure.c_str());
        else if (!failure.empty())
            std::fprintf(stderr, "error: %s: %s\n", job.Input.c_str(), failure.c_str());
        if (terminal) std::fprintf(stderr, "[%d/%d] %s", done, total, job.Input.c_str());
        std::fflush(stderr);
    };
    const TLUT& lut = *loaded.Lut;
    const TBatchResult result = RunBatch(
        jobs,
        [&lut](const std::string& input, const std::string& output) { ApplyLutToPictureFile(lut, input, output); },
        threads, report);
    if (terminal) std::fputs("\r\033[K", stderr);

    const std::size_t failed = result.Failures.size();
    std::cout << "Wrote " << result.Written << " of " << jobs.size() << " pictures to " << outDir << "\n";
    if (failed > 0) {
        std::cout.flush();
        std::fprintf(stderr, "error: %zu of %zu pictures failed\n", failed, jobs.size());
        return 1;
    }
    return 0;
}

}  // namespace tintavo::cli
