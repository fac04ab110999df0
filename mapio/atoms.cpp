#include "mapio/atoms.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <sstream>
#include <stdexcept>

#include "mapio/input_error.h"
#include "mapio/side_files.h"
#include "mapio/text_scanner.h"

namespace tivarel {
namespace {

std::string NumberText(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

std::string FileText(const std::string& path) { return "The atom parameter file " + path; }

AtomParEntry ParseEntry(std::string_view line) {
    AtomParEntry e;
    e.TypeNumber = LenientNumber(Columns(line, 1, 3));
    e.BondRadius = static_cast<float>(LenientNumber(Columns(line, 14, 16)) / 100.0);
    e.BondTolerance = static_cast<float>(LenientNumber(Columns(line, 27, 29)));
    e.EntryLabel = std::string(Columns(line, 34, 37));
    return e;
}

// The bond rule uses an atom's type number as its row, so the two must agree.
void CheckTypeNumber(const AtomParEntry& e, int row, size_t lineNumber, const std::string& path) {
    if (e.TypeNumber == row) return;
    Fail(FileText(path) + " gives the type number " + NumberText(e.TypeNumber) + " on line " +
                std::to_string(lineNumber) + ", where " + std::to_string(row) +
                " is expected: entries are numbered 1, 2, 3 ... in the order of their lines.");
}

const AtomParEntry& Row(const AtomParTable& table, int type) {
    if (type < 1 || type > table.count())
        throw std::out_of_range("atom type " + std::to_string(type) + " has no row in the atom parameter table");
    return table.entries[static_cast<size_t>(type - 1)];
}

// Row of the first entry labelled exactly `name`, which is also its type number.
int16_t TypeOf(const std::string& name, const AtomParTable& table) {
    for (int row = 1; row <= table.count(); ++row)
        if (table.entries[static_cast<size_t>(row - 1)].EntryLabel == name) return static_cast<int16_t>(row);
    Fail("I do not know this atom name: " + name);
}

bool Bonded(const AtomRecord& a, const AtomRecord& b, const AtomParTable& table) {
    const double d = AtomDistance(a.position.x, a.position.y, a.position.z, b.position.x, b.position.y, b.position.z);
    const auto [low, high] = BondLimits(table, a.type, b.type);
    return d > low && d < high;
}

// Appends (i, j) in order; false once the list is full and one more bond was found.
bool AddBond(BondList& bonds, size_t i, size_t j) {
    if (bonds.count() == kMaxBonds) return false;
    bonds.bonds.push_back({static_cast<int16_t>(i + 1), static_cast<int16_t>(j + 1)});
    return true;
}

// The largest high limit of the type pairs present (limits that are NaN bond nothing).
float LongestBond(const std::vector<AtomRecord>& atoms, const AtomParTable& table) {
    std::vector<int> types;
    for (const AtomRecord& atom : atoms) types.push_back(atom.type);
    std::sort(types.begin(), types.end());
    types.erase(std::unique(types.begin(), types.end()), types.end());
    float longest = 0.0f;
    for (const int t1 : types)
        for (const int t2 : types) longest = std::max(longest, BondLimits(table, t1, t2).second);
    return longest;
}

bool Finite(const Vec3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// Atoms sorted into boxes at least as wide as the longest bond (with a margin for
// rounding), so that bonded atoms lie in the same or neighbouring boxes. Atoms at
// infinite or NaN coordinates have no box: their distances compare false. (An
// infinite longest bond makes one box of all atoms: every pair is tried.)
class CellList {
public:
    CellList(const std::vector<AtomRecord>& atoms, float reach) {
        const double width = static_cast<double>(reach) * (1.0 + 1.0 / 1024.0);
        double low[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, high[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
        for (const AtomRecord& atom : atoms)
            if (Finite(atom.position))
                for (int a = 0; a < 3; ++a) {
                    low[a] = std::min(low[a], static_cast<double>(atom.position[a]));
                    high[a] = std::max(high[a], static_cast<double>(atom.position[a]));
                }
        // Wider boxes stay correct: a sparse or far-flung structure gets fewer of them.
        const bool anyBox = high[0] >= low[0];
        for (int a = 0; a < 3; ++a) {
            low_[a] = low[a];
            width_[a] = anyBox ? std::max(width, (high[a] - low[a]) / 1024.0) : width;
        }
        auto boxesAlong = [&](int a) { return anyBox ? std::floor((high[a] - low[a]) / width_[a]) + 1.0 : 1.0; };
        const double maxBoxes = 4.0 * static_cast<double>(atoms.size()) + 64.0;
        while (boxesAlong(0) * boxesAlong(1) * boxesAlong(2) > maxBoxes) {
            int most = 0;
            for (int a = 1; a < 3; ++a)
                if (boxesAlong(a) > boxesAlong(most)) most = a;
            width_[most] *= 2.0;
        }
        for (int a = 0; a < 3; ++a) size_[a] = static_cast<int>(boxesAlong(a));
        fill(atoms);
    }

    // The bonds of the rule in its order: for each first atom its partners from the
    // 27 boxes around it, sorted.
    bool findBonds(const std::vector<AtomRecord>& atoms, const AtomParTable& table, BondList& bonds) const {
        std::vector<uint32_t> partners;
        for (size_t i = 0; i < atoms.size(); ++i) {
            if (box_[i] < 0) continue;
            partners.clear();
            const int k[3] = {box_[i] % size_[0], box_[i] / size_[0] % size_[1], box_[i] / size_[0] / size_[1]};
            for (int z = std::max(0, k[2] - 1); z <= std::min(size_[2] - 1, k[2] + 1); ++z)
                for (int y = std::max(0, k[1] - 1); y <= std::min(size_[1] - 1, k[1] + 1); ++y)
                    for (int x = std::max(0, k[0] - 1); x <= std::min(size_[0] - 1, k[0] + 1); ++x) {
                        const auto box = static_cast<size_t>(x + size_[0] * (y + size_[1] * z));
                        for (uint32_t n = start_[box]; n < start_[box + 1]; ++n) {
                            const uint32_t j = members_[n];
                            if (j > i && Bonded(atoms[i], atoms[j], table)) partners.push_back(j);
                        }
                    }
            std::sort(partners.begin(), partners.end());
            for (const uint32_t j : partners)
                if (!AddBond(bonds, i, j)) return true;
        }
        return false;
    }

private:
    int boxOf(const Vec3& p) const {
        int index = 0;
        for (int a = 2; a >= 0; --a) {
            const double u = std::floor((static_cast<double>(p[a]) - low_[a]) / width_[a]);
            index = index * size_[a] + static_cast<int>(std::clamp(u, 0.0, static_cast<double>(size_[a] - 1)));
        }
        return index;
    }

    // Boxes as ranges of one array, each holding its atoms in ascending order.
    void fill(const std::vector<AtomRecord>& atoms) {
        const size_t boxes = static_cast<size_t>(size_[0]) * static_cast<size_t>(size_[1]) * static_cast<size_t>(size_[2]);
        box_.resize(atoms.size());
        start_.assign(boxes + 1, 0);
        for (size_t i = 0; i < atoms.size(); ++i) {
            box_[i] = Finite(atoms[i].position) ? boxOf(atoms[i].position) : -1;
            if (box_[i] >= 0) ++start_[static_cast<size_t>(box_[i]) + 1];
        }
        for (size_t b = 0; b < boxes; ++b) start_[b + 1] += start_[b];
        members_.resize(start_[boxes]);
        std::vector<uint32_t> next(start_.begin(), start_.end() - 1);
        for (size_t i = 0; i < atoms.size(); ++i)
            if (box_[i] >= 0) members_[next[static_cast<size_t>(box_[i])]++] = static_cast<uint32_t>(i);
    }

    double low_[3] = {}, width_[3] = {};
    int size_[3] = {1, 1, 1};
    std::vector<int> box_;          // per atom, or -1
    std::vector<uint32_t> start_;   // per box, the first of its members
    std::vector<uint32_t> members_;
};

}  // namespace

AtomParTable ParseAtomParameters(std::string_view text, const std::string& path) {
    const std::vector<std::string_view> lines = SideFileLines(text);
    AtomParTable table;
    for (size_t n = 1; n < lines.size(); ++n) {  // lines[0] is the heading
        if (LenientNumber(Columns(lines[n], 1, 3)) < 1) return table;
        if (table.count() == kMaxAtomParEntries)
            Fail(FileText(path) + " holds more than " + std::to_string(kMaxAtomParEntries) + " entries.");
        table.entries.push_back(ParseEntry(lines[n]));
        CheckTypeNumber(table.entries.back(), table.count(), n + 1, path);
    }
    Fail(FileText(path) + " has no end line (a line whose columns 1 to 3 give a number below 1).");
}

AtomParTable ReadAtomParameters(const std::string& path) {
    return ParseAtomParameters(ReadWholeFile(path), path);
}

void AssignAtomTypes(std::vector<AtomRecord>& atoms, const AtomParTable& table) {
    for (AtomRecord& atom : atoms) atom.type = TypeOf(atom.name, table);
}

double AtomDistance(float x1, float y1, float z1, float x2, float y2, float z2) {
    const float dx = x2 - x1, dy = y2 - y1, dz = z2 - z1;
    const float sum = dx * dx + dy * dy + dz * dz;
    return std::sqrt(static_cast<double>(sum));
}

std::pair<float, float> BondLimits(const AtomParTable& table, int type1, int type2) {
    const AtomParEntry& e1 = Row(table, type1);
    const AtomParEntry& e2 = Row(table, type2);
    const float radii = e2.BondRadius + e1.BondRadius;
    const float tolerances = e2.BondTolerance + e1.BondTolerance;
    return {radii - tolerances, radii + tolerances};
}

bool FindBonds(const std::vector<AtomRecord>& atoms, const AtomParTable& table, BondList& bonds) {
    bonds.bonds.clear();
    // Bonds hold 16-bit atom indices; the map readers keep atom counts within that.
    if (atoms.size() > static_cast<size_t>(kMaxCount))
        Fail("The structure has " + std::to_string(atoms.size()) + " atoms; bonds are found for at most " +
                    std::to_string(kMaxCount) + ".");
    if (atoms.size() < 2) return false;
    // Every pair looks up both types, so an atom without a row fails whatever the distances.
    for (const AtomRecord& atom : atoms) Row(table, atom.type);
    const float reach = LongestBond(atoms, table);
    if (!(reach > 0.0f)) return false;   // no distance lies below a high limit of 0 or less
    return CellList(atoms, reach).findBonds(atoms, table, bonds);
}

bool BuildBonds(DensityMap& map, const std::string& programDir, BondList& bonds) {
    const AtomParTable table = ReadAtomParameters(SideFilePath(programDir, kAtomParFileName));
    AssignAtomTypes(map.atoms, table);
    return FindBonds(map.atoms, table, bonds);
}

std::string TooManyBondsMessage() {
    return "The structure has more than " + std::to_string(kMaxBonds) + " bonds; only the first " +
           std::to_string(kMaxBonds) + " are drawn.";
}

}  // namespace tivarel
