#include "mapio/atoms.h"

#include <cmath>
#include <sstream>
#include <stdexcept>

#include "mapio/program_stop.h"
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
    e.Unused2 = static_cast<float>(LenientNumber(Columns(line, 7, 9)) / 100.0);
    e.BondRadius = static_cast<float>(LenientNumber(Columns(line, 14, 16)) / 100.0);
    e.Unused4 = static_cast<float>(LenientNumber(Columns(line, 21, 23)) / 100.0);
    e.BondTolerance = static_cast<float>(LenientNumber(Columns(line, 27, 29)));
    e.EntryLabel = std::string(Columns(line, 34, 37));
    e.Unused7 = LenientNumber(Columns(line, 38, 47));
    return e;
}

// The bond rule uses an atom's type number as its row, so the two must agree.
void CheckTypeNumber(const AtomParEntry& e, int row, size_t lineNumber, const std::string& path) {
    if (e.TypeNumber == row) return;
    stopProgram(FileText(path) + " gives the type number " + NumberText(e.TypeNumber) + " on line " +
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
    stopProgram("I do not know this atom name: " + name);
}

bool Bonded(const AtomRecord& a, const AtomRecord& b, const AtomParTable& table) {
    const double d = AtomDistance(a.position.x, a.position.y, a.position.z, b.position.x, b.position.y, b.position.z);
    const auto [low, high] = BondLimits(table, a.type, b.type);
    return d > low && d < high;
}

}  // namespace

AtomParTable ParseAtomParameters(std::string_view text, const std::string& path) {
    const std::vector<std::string_view> lines = SideFileLines(text);
    AtomParTable table;
    for (size_t n = 1; n < lines.size(); ++n) {  // lines[0] is the heading
        if (LenientNumber(Columns(lines[n], 1, 3)) < 1) return table;
        if (table.count() == kMaxAtomParEntries)
            stopProgram(FileText(path) + " holds more than " + std::to_string(kMaxAtomParEntries) + " entries.");
        table.entries.push_back(ParseEntry(lines[n]));
        CheckTypeNumber(table.entries.back(), table.count(), n + 1, path);
    }
    stopProgram(FileText(path) + " has no end line (a line whose columns 1 to 3 give a number below 1).");
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
        stopProgram("The structure has " + std::to_string(atoms.size()) + " atoms; bonds are found for at most " +
                    std::to_string(kMaxCount) + ".");
    const int n = static_cast<int>(atoms.size());
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j) {
            if (!Bonded(atoms[static_cast<size_t>(i)], atoms[static_cast<size_t>(j)], table)) continue;
            if (bonds.count() == kMaxBonds) return true;
            bonds.bonds.push_back({static_cast<int16_t>(i + 1), static_cast<int16_t>(j + 1)});
        }
    return false;
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
