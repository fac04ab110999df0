#include "mapio/fou_reader.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "mapio/grid_counts.h"
#include "mapio/input_error.h"
#include "mapio/side_files.h"
#include "mapio/text_scanner.h"
#include "mapio/threads.h"

namespace tivarel {
namespace {

// Maps of this many values or more are read on every core unless told otherwise.
constexpr uint64_t kThreadedValues = uint64_t{1} << 20;
// Items of an atom record that fit its four lines; longer records add lines.
constexpr int32_t kPlainRecordItems = 14;
const char* const kBadAtomName = "Your atom name looks strange, name lengh  <> [1,2,3,4]";

void SkipNumbers(TextScanner& in, int count, const char* what) {
    for (int i = 0; i < count; ++i) in.readFloat(what);
}

// The head of the file: titles, cell matrix, origin, cell constants.
void ReadCellRecords(TextScanner& in, DensityMap& map) {
    in.skipLine("the first title line");
    in.skipLine("the second title line");
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) map.cellMatrix(i, j) = in.readFloat("the cell matrix");
    for (int c = 0; c < 3; ++c) map.mapOrigin[c] = in.readFloat("the map origin");
    in.skipLine("the line after the map origin");
    for (float& constant : map.cellParams) constant = in.readFloat("the cell constants");
    in.skipLine("the line after the cell constants");
}

// Per axis the first grid coordinate, the step and two numbers not used.
void ReadAxes(TextScanner& in, GridParams& g) {
    for (int axis = 1; axis <= 3; ++axis) {
        g(3 + axis) = in.readFloat("the first grid coordinate");
        g(6 + axis) = in.readFloat("the grid step");
        SkipNumbers(in, 2, "the axis numbers not used");
    }
    in.skipLine("the line after the grid axes");
}

// The values: nz sections, each a skipped line, a number not used, then the values
// with y running fastest.
void ReadSection(TextScanner& in, DensityGrid& grid, int z, ValueAcceptor& acceptor) {
    in.skipLine("the head line of a Z section");
    in.readFloat("the Z section number");
    float* section = &grid(1, 1, z);
    for (int x = 1; x <= grid.nx(); ++x) {
        // Along y the values lie nx apart.
        size_t at = static_cast<size_t>(x - 1);
        for (int y = 1; y <= grid.ny(); ++y, at += static_cast<size_t>(grid.nx()))
            section[at] = acceptor.accept(in.readFloat("the Z section values"));
    }
}

void ReadSections(TextScanner& in, DensityMap& map) {
    ValueAcceptor acceptor;
    for (int z = 1; z <= map.grid.nz(); ++z) ReadSection(in, map.grid, z, acceptor);
    acceptor.store(map.gridParams);
}

// Where each section starts as the one-thread reading finds it: past its head line
// follow 1 + nx * ny numbers, one item each. Exact up to the first section that
// cannot be read; beyond it only a guess, but that section's fault ends the reading.
std::vector<size_t> SectionStarts(std::string_view text, size_t first, const DensityGrid& grid, int threads) {
    const ItemStarts items(text, first, threads);
    const uint64_t numbers = 1 + uint64_t(grid.nx()) * uint64_t(grid.ny());
    std::vector<size_t> starts{first};
    for (int z = 2; z <= grid.nz(); ++z)
        starts.push_back(PastItem(text, items.nth(PastLine(text, starts.back()), numbers)));
    return starts;
}

// Sections first to last - 1 as one thread reads them.
struct SectionRun {
    int first = 1, last = 1;
    size_t end = 0;   // where the reading stands after them
    ValueAcceptor acceptor;
    std::exception_ptr fault;
};

// The sections in runs of about equal size on `threads` threads. The fault of the
// earliest run that has one is the fault a single thread meets first.
void ReadSectionsOnThreads(TextScanner& in, DensityMap& map, int threads) {
    const int nz = map.grid.nz();
    const std::vector<size_t> starts = SectionStarts(in.text(), in.position(), map.grid, threads);
    std::vector<SectionRun> runs(static_cast<size_t>(threads));
    const size_t span = in.text().size() - starts.front();
    for (size_t t = 1; t < runs.size(); ++t) {
        const size_t from = starts.front() + span * t / runs.size();
        runs[t].first = 1 + static_cast<int>(std::lower_bound(starts.begin(), starts.end(), from) - starts.begin());
        runs[t - 1].last = runs[t].first;
    }
    runs.back().last = nz + 1;
    RunShares(threads, [&](int t) {
        SectionRun& run = runs[static_cast<size_t>(t)];
        if (run.first >= run.last) return;
        TextScanner part(in.text(), in.fileName());
        part.seek(starts[static_cast<size_t>(run.first - 1)]);
        try {
            for (int z = run.first; z < run.last; ++z) ReadSection(part, map.grid, z, run.acceptor);
        } catch (...) {
            run.fault = std::current_exception();
        }
        run.end = part.position();
    });
    ValueAcceptor acceptor;
    for (const SectionRun& run : runs) {
        if (run.first >= run.last) continue;
        if (run.fault) std::rethrow_exception(run.fault);
        acceptor.merge(run.acceptor);
        in.seek(run.end);
    }
    acceptor.store(map.gridParams);
}

std::string PaddedAtomName(std::string label) {
    if (label.empty() || label.size() > 4) Fail(kBadAtomName);
    label.resize(4, ' ');
    return label;
}

AtomRecord ReadAtom(TextScanner& in, int32_t itemsPerRecord) {
    AtomRecord atom;
    atom.name = PaddedAtomName(in.readTextLine("an atom label"));
    SkipNumbers(in, 3, "the atom numbers not used");
    for (int c = 0; c < 3; ++c) atom.position[c] = in.readFloat("an atom position");
    SkipNumbers(in, 7, "the atom numbers not used");
    for (int32_t item = kPlainRecordItems; item < itemsPerRecord; ++item)
        in.skipLine("the extra lines of an atom record");
    return atom;
}

// The atom list after the sections: a skipped line, the count and the items per record,
// then the records. A count below 1 means no atoms.
void ReadAtoms(TextScanner& in, DensityMap& map) {
    in.skipLine("the line before the atom list");
    const int32_t count = in.readInt("the atom count");
    const int32_t itemsPerRecord = in.readInt("the number of items per atom record");
    CheckAtomCount(in, count);
    for (int32_t i = 0; i < count; ++i) map.atoms.push_back(ReadAtom(in, itemsPerRecord));
}

}  // namespace

DensityMap ParseFouMap(std::string_view text, const std::string& path, FouOptions options) {
    TextScanner in(text, path);
    DensityMap map;
    ReadCellRecords(in, map);
    ReadAxes(in, map.gridParams);
    ReadGridCounts(in, map, TextGridBytes);
    const uint64_t values = map.grid.values().size();
    const int threads = options.threads > 0 ? options.threads : (values < kThreadedValues ? 1 : ThreadCountFor(0));
    if (threads > 1)
        ReadSectionsOnThreads(in, map, threads);
    else
        ReadSections(in, map);
    ReadAtoms(in, map);
    FinishCellGeometry(map);
    return map;
}

DensityMap ReadFouMap(const std::string& path) { return ParseFouMap(FileBytes(path).view(), path); }

}  // namespace tivarel
