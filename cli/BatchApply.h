// Applying one LUT to many pictures: `tintavo-cli apply LUT IMAGE... --out-dir DIR`.
//
// The inputs are picture files, folders (the pictures in them) and printf-style frame patterns
// ("shot.%04d.tif"). Each picture is one job for one thread, start to end (read, apply, write),
// so memory holds at most one picture per thread whatever the number of frames, and the loops
// inside a job run single-threaded while several jobs run at once. A picture that fails is
// reported and the others go on; an existing output is never replaced unless asked.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/Args.h"

namespace tintavo::cli {

// Whether the file-name part of `path` holds one frame-number field: %d or %0Nd (N 1..9).
// "%%" is a literal percent sign.
bool IsFramePattern(const std::string& path);
// The files that a frame pattern names, in frame-number order. A file counts only when the
// pattern, filled in with its number, gives back exactly its name ("%04d" matches "0012", not
// "12" or "00012").
std::vector<std::string> FramePatternFiles(const std::string& pattern);

// One input as the user gave it, expanded: a folder into the pictures in it (by file-name
// extension, sorted by name, hidden files and subfolders left out), a frame pattern into its
// frames (unless a file of that very name exists), anything else into itself. An input that
// gives no picture carries the reason.
struct TBatchInput {
    std::string Given;
    std::vector<std::string> Files;
    std::string Problem;  // empty unless Files is empty
};
std::vector<TBatchInput> ExpandBatchInputs(const std::vector<std::string>& inputs);

// One picture to write, or the reason it will not be: an input whose output already exists, or
// that two inputs would write to the same output, fails before any work starts.
struct TBatchJob {
    std::string Input;
    std::string Output;
    std::string Problem;
};
struct TBatchPlanOptions {
    std::string OutDir;
    std::optional<std::string> Extension;  // the output type ("png"); the input's own without it
    bool Overwrite = false;
};
std::vector<TBatchJob> PlanBatch(const std::vector<TBatchInput>& inputs, const TBatchPlanOptions& options);

struct TBatchFailure {
    std::string Input;
    std::string Message;
};
struct TBatchResult {
    int Written = 0;
    std::vector<TBatchFailure> Failures;  // in the order of the jobs
};

// Reports the batch's course: a job done (with its failure message, empty on success).
// Called under a lock, one call at a time.
using TBatchReport = std::function<void(const TBatchJob& job, const std::string& failure, int done, int total)>;

// Runs step(input, output) for every job without a problem on `threads` threads (0: one per
// core), each thread taking the next job when it is free. A step that throws fails its job
// only. While more than one thread runs, the process-wide parallel loops are limited to one
// thread, so the jobs do not compete for the cores; the limit is restored afterwards.
TBatchResult RunBatch(const std::vector<TBatchJob>& jobs,
                      const std::function<void(const std::string& input, const std::string& output)>& step, int threads,
                      const TBatchReport& report = {});

// The command: apply with --out-dir.
int RunBatchApply(const TArgs& args);

}  // namespace tintavo::cli
