#include "engine/CrossValidation.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <numeric>
#include <random>

#include "common/Parallel.h"
#include "engine/ColorDifference.h"
#include "engine/ThinPlateSplineModel.h"

namespace tintavo {

namespace {

// Set on the threads of a fold loop, so that a fold loop inside it stays on its thread.
thread_local bool tInsideFoldLoop = false;

double ReferenceDistance(const TLutColor& a, const TLutColor& b) {
    const double dr = a.R - b.R, dg = a.G - b.G, db = a.B - b.B;
    return std::sqrt(dr * dr + dg * dg + db * db);
}

int FindRoot(std::vector<int>& parent, int i) {
    while (parent[static_cast<std::size_t>(i)] != i) {
        parent[static_cast<std::size_t>(i)] = parent[static_cast<std::size_t>(parent[static_cast<std::size_t>(i)])];
        i = parent[static_cast<std::size_t>(i)];
    }
    return i;
}

inline double GridCoordinate(int k) {
    return static_cast<double>(k / static_cast<long double>(CalibrationLutSize - 1));
}

}  // namespace

std::vector<int> TFoldPlan::Training(int fold) const {
    std::vector<int> out;
    for (std::size_t i = 0; i < FoldOf.size(); ++i)
        if (FoldOf[i] != fold) out.push_back(static_cast<int>(i));
    return out;
}

std::vector<int> TFoldPlan::HeldOut(int fold) const {
    std::vector<int> out;
    for (std::size_t i = 0; i < FoldOf.size(); ++i)
        if (FoldOf[i] == fold) out.push_back(static_cast<int>(i));
    return out;
}

std::vector<int> NearDuplicateGroups(std::span<const TPatchPair> patches) {
    const int n = static_cast<int>(patches.size());
    std::vector<int> parent(static_cast<std::size_t>(n));
    std::iota(parent.begin(), parent.end(), 0);
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j) {
            if (ReferenceDistance(patches[static_cast<std::size_t>(i)].Reference,
                                  patches[static_cast<std::size_t>(j)].Reference) >= NearDuplicateDistance)
                continue;
            const int a = FindRoot(parent, i), b = FindRoot(parent, j);
            // The smaller position becomes the root, so a group is named by its first patch.
            parent[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
        }
    std::vector<int> group(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) group[static_cast<std::size_t>(i)] = FindRoot(parent, i);
    return group;
}

TFoldPlan PlanFolds(std::span<const TPatchPair> patches) {
    const int n = static_cast<int>(patches.size());
    const std::vector<int> group = NearDuplicateGroups(patches);
    // The groups by their first patch, in patch order, with their sizes.
    std::vector<int> firsts;
    std::vector<int> sizeOf(static_cast<std::size_t>(n), 0);
    for (int i = 0; i < n; ++i) {
        if (group[static_cast<std::size_t>(i)] == i) firsts.push_back(i);
        ++sizeOf[static_cast<std::size_t>(group[static_cast<std::size_t>(i)])];
    }

    TFoldPlan plan;
    plan.FoldOf.assign(static_cast<std::size_t>(n), 0);
    const int groups = static_cast<int>(firsts.size());
    if (groups < 2) return plan;  // nothing can be held out with something left to fit on

    std::vector<int> foldOfGroup(static_cast<std::size_t>(n), 0);
    if (n < ThinningMinPatches) {
        // Leave one out: each patch (each group of near-duplicates) is a fold of its own.
        plan.LeaveOneOut = true;
        plan.FoldCount = groups;
        for (int g = 0; g < groups; ++g) foldOfGroup[static_cast<std::size_t>(firsts[static_cast<std::size_t>(g)])] = g;
    } else {
        plan.FoldCount = std::min(CrossValidationFoldCount, groups);
        // Fisher-Yates with the generator's own output (std::shuffle and the standard
        // distributions differ between libraries; the Mersenne Twister does not).
        std::mt19937 rng(CrossValidationSeed);
        std::vector<int> order = firsts;
        for (int i = groups - 1; i > 0; --i)
            std::swap(order[static_cast<std::size_t>(i)], order[static_cast<std::size_t>(rng() % (i + 1u))]);
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            return sizeOf[static_cast<std::size_t>(a)] > sizeOf[static_cast<std::size_t>(b)];
        });
        std::vector<int> load(static_cast<std::size_t>(plan.FoldCount), 0);
        for (int first : order) {
            const int fold = static_cast<int>(std::min_element(load.begin(), load.end()) - load.begin());
            foldOfGroup[static_cast<std::size_t>(first)] = fold;
            load[static_cast<std::size_t>(fold)] += sizeOf[static_cast<std::size_t>(first)];
        }
    }
    for (int i = 0; i < n; ++i)
        plan.FoldOf[static_cast<std::size_t>(i)] = foldOfGroup[static_cast<std::size_t>(group[static_cast<std::size_t>(i)])];
    return plan;
}

TLutColor LookUpThroughTable(const TCalibrationMapping& mapping, const TLutColor& colour) {
    const TLutCell cell = LutCell(CalibrationLutSize, colour);
    TLutColor corners[2][2][2];
    for (int dr = 0; dr < 2; ++dr)
        for (int dg = 0; dg < 2; ++dg)
            for (int db = 0; db < 2; ++db)
                corners[dr][dg][db] =
                    mapping.MapNode(GridCoordinate(cell.R + dr), GridCoordinate(cell.G + dg), GridCoordinate(cell.B + db));
    return InterpolateCell(corners, cell);
}

void ForEachFold(const TFoldPlan& plan, const std::function<void(int fold)>& body) {
    TParallelOptions options;
    if (tInsideFoldLoop) options.MaxThreads = 1;
    ParallelFor(
        plan.FoldCount,
        [&](int f0, int f1) {
            const bool outer = tInsideFoldLoop;
            tInsideFoldLoop = true;
            try {
                for (int f = f0; f < f1; ++f) body(f);
            } catch (...) {
                tInsideFoldLoop = outer;
                throw;
            }
            tInsideFoldLoop = outer;
        },
        options);
}

std::vector<TLutColor> HeldOutColours(std::span<const TPatchPair> patches, const TFoldPlan& plan,
                                      std::string_view model, bool colorsOnly) {
    std::vector<TLutColor> out(patches.size());
    ForEachFold(plan, [&](int fold) {
        std::vector<TPatchPair> training;
        for (int i : plan.Training(fold)) training.push_back(patches[static_cast<std::size_t>(i)]);
        const TCalibrationMapping mapping(training, colorsOnly, model);
        for (int i : plan.HeldOut(fold))
            out[static_cast<std::size_t>(i)] = LookUpThroughTable(mapping, patches[static_cast<std::size_t>(i)].Measured);
    });
    return out;
}

std::vector<double> HeldOutDeltaE(std::span<const TPatchPair> patches, const TFoldPlan& plan,
                                  std::string_view model, bool colorsOnly) {
    const std::vector<TLutColor> colours = HeldOutColours(patches, plan, model, colorsOnly);
    std::vector<double> out(patches.size());
    for (std::size_t i = 0; i < patches.size(); ++i) out[i] = DeltaE2000(colours[i], patches[i].Reference);
    return out;
}

}  // namespace tintavo
