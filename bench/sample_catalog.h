#pragma once

// Sample knowledge stores for the benchmarks: a fresh database filled with a catalog tree of a
// chosen size and shape, deterministic from run to run.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mwdx::bench {

enum class Shape {
    Wide, // many top-level projects, each a few sub-catalogs of ~50 documents (3 levels)
    Deep, // catalogs nested 12 levels, a few sub-catalogs and documents at every level
    // Wide for 80% of the rows, then what a damaged store holds: a chain nested far deeper than
    // any path Linux takes (10%), orphans (5%), pairs of rows that are each other's parent (5%),
    // and one project in twenty moved under a newer catalog, so its rows come before their parent.
    Damaged,
    // One top-level catalog, "Big", holding every other row as a sub-catalog of its own, and
    // nothing else: the widest a single catalog gets.
    Flat,
};

std::string_view ShapeName(Shape shape);

// The shapes named in a list such as "wide,deep,damaged,flat", in that order (wide first).
std::vector<Shape> ParseShapes(std::string_view list);
// Reads a --shapes= value into `into` for the option reader; false when a name is not a shape.
inline auto ShapesInto(std::vector<Shape>& into) {
    return [&into](std::string_view list) {
        into = ParseShapes(list);
        return !into.empty();
    };
}

struct SampleStats {
    std::int64_t rows = 0;
    std::int64_t unplaceable = 0; // rows the loader cannot place (Damaged only)
    std::int64_t catalogs = 0;
    std::int64_t documents = 0;
    std::int64_t topLevel = 0;
    std::int32_t maxLevel = 0;
    double meanLevel = 0;
    std::int64_t fileBytes = 0;
    double seconds = 0; // time to build
};

// The Home Directory written into SYS_CONFIG of every sample store.
inline constexpr std::string_view kSampleHomeDirectory = "/home/someone/Knowledge";

// Creates a fresh database at `path` (nothing may exist there) and fills FILE_NODE with exactly
// `rows` rows of the given shape, in one transaction: parents before children, ids given by the
// database, levels and types as the program writes them. Marks the configuration as confirmed.
// On failure returns false with a reason in *error.
bool BuildSampleCatalog(const std::string& path, Shape shape, std::int64_t rows, SampleStats* stats,
                        std::string* error);

} // namespace mwdx::bench
