#pragma once
// Atom types and bonds. The atom parameter file atompar2.txt gives, per element
// label, a bond radius and a tolerance; each atom of the map gets the type number
// of its label, and two atoms are bonded when their distance lies strictly between
// (radius sum - tolerance sum) and (radius sum + tolerance sum).
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mapio/map_model.h"

namespace tivarel {

// One line of the parameter file, cut by fixed columns (1-based); the other columns
// are not used.
struct AtomParEntry {
    double TypeNumber = 0.0;     // columns 1-3; must equal the entry's row (1, 2, 3 ...)
    float BondRadius = 0.0f;     // columns 14-16, written in hundredths: 77 means 0.77
    float BondTolerance = 0.0f;  // columns 27-29, written as the value itself
    std::string EntryLabel;      // columns 34-37 unchanged, blanks included
};

// Row k of the file's table is entries[k - 1]; an atom's type number is its row.
struct AtomParTable {
    std::vector<AtomParEntry> entries;
    int count() const { return static_cast<int>(entries.size()); }
};

// Most entries the table holds.
constexpr int kMaxAtomParEntries = 400;
constexpr const char* kAtomParFileName = "atompar2.txt";

// The heading line, then entries up to the first line whose columns 1-3 give a
// number below 1. Faults of the file throw InputError with a message naming `path`.
AtomParTable ParseAtomParameters(std::string_view text, const std::string& path);
AtomParTable ReadAtomParameters(const std::string& path);

// Gives every atom the type number of the first entry whose label equals its
// four-character name exactly; an unknown name throws InputError.
void AssignAtomTypes(std::vector<AtomRecord>& atoms, const AtomParTable& table);

// Differences, squares and their sum in single precision; the root in double.
double AtomDistance(float x1, float y1, float z1, float x2, float y2, float z2);

// (low, high) bond distance limits of two type numbers, in single precision.
std::pair<float, float> BondLimits(const AtomParTable& table, int type1, int type2);

struct Bond {
    int16_t first = 0;   // 1-based atom index
    int16_t second = 0;  // 1-based atom index, always greater than first
    friend bool operator==(const Bond&, const Bond&) = default;
};

constexpr int kMaxBonds = 100000;

// Bonds by ascending first atom, then ascending second atom; at most kMaxBonds.
struct BondList {
    std::vector<Bond> bonds;
    int32_t count() const { return static_cast<int32_t>(bonds.size()); }
};

// The pair search over typed atoms. Returns true when the structure has more
// bonds than the list holds; the list then keeps the first kMaxBonds of them.
bool FindBonds(const std::vector<AtomRecord>& atoms, const AtomParTable& table, BondList& bonds);

// Reads atompar2.txt from the program's directory, types the map's atoms and finds
// their bonds. Returns true when the bond list was cut short (see TooManyBondsMessage).
bool BuildBonds(DensityMap& map, const std::string& programDir, BondList& bonds);

// What the caller tells the user, once, when the bond list was cut short.
std::string TooManyBondsMessage();

}  // namespace tivarel
