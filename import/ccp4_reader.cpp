#include "import/ccp4_reader.h"

#include <gemmi/ccp4.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "import/import_error.h"
#include "mapio/map_model.h"

namespace tivarel {
namespace {

using Ccp4 = gemmi::Ccp4<float>;
constexpr size_t kHeaderBytes = 1024;
constexpr const char* kStoredAxes[3] = {"columns", "rows", "sections"};
constexpr int kMaxGridIndex = 1 << 30;

// Word `n` (from 1) of the header in the byte order its machine stamp gives (byte 213:
// 0x11 big-endian, anything else little-endian, as gemmi reads it).
uint32_t HeaderWord(std::string_view bytes, size_t n) {
    const bool big = static_cast<unsigned char>(bytes[212]) == 0x11;
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) {
        const uint32_t b = static_cast<unsigned char>(bytes[4 * (n - 1) + (big ? i : 3 - i)]);
        v = (v << 8) | b;
    }
    return v;
}

Ccp4 ReadHeader(std::string_view bytes, const std::string& path) {
    if (bytes.empty()) FailImport(path, "is empty, not a CCP4/MRC map");
    if (bytes.size() < kHeaderBytes)
        FailImport(path, "is too short for a CCP4/MRC map: " + std::to_string(bytes.size()) +
                             " bytes, but the header alone takes 1024");
    const uint64_t extended = HeaderWord(bytes, 24);   // NSYMBT: bytes of the extended header
    if (bytes.substr(208, 4) == "MAP " && kHeaderBytes + extended > bytes.size())
        FailImport(path, "is truncated: " + std::to_string(bytes.size()) + " of at least " +
                             std::to_string(kHeaderBytes + extended) + " bytes (its header and extended header)");
    Ccp4 map;
    WithGemmi(path, "", [&] {
        gemmi::MemoryStream stream(bytes.data(), bytes.size());
        map.read_ccp4_header(stream, path);
    });
    return map;
}

int BytesPerValue(int mode, const std::string& path) {
    switch (mode) {
    case 0: return 1;   // signed 8-bit integers
    case 1: return 2;   // signed 16-bit integers
    case 2: return 4;   // 32-bit floats
    case 6: return 2;   // unsigned 16-bit integers
    default:
        FailImport(path, "has data of mode " + std::to_string(mode) +
                             ", which is not supported (only modes 0, 1, 2 and 6 are)");
    }
}

// Counts, sampling and the file's length, checked before any data is allocated.
void CheckDimensions(const Ccp4& map, size_t fileBytes, const std::string& path) {
    const std::array<int, 3> n = map.header_3i32(1), start = map.header_3i32(5), m = map.header_3i32(8);
    uint64_t values = 1, cellValues = 1;
    for (size_t i = 0; i < 3; ++i) {
        if (n[i] < 1)
            FailImport(path, "declares " + std::to_string(n[i]) + " " + kStoredAxes[i] + "; a map needs at least 1");
        // The box's ends are computed in int by the reader; keep them far from overflow.
        if (start[i] < -kMaxGridIndex || int64_t{start[i]} + n[i] > kMaxGridIndex)
            FailImport(path, "declares its " + std::string(kStoredAxes[i]) + " to start at " + std::to_string(start[i]) +
                                 ", too far from the cell's origin");
        if (m[i] < 1)
            FailImport(path, "declares a cell sampling of " + std::to_string(m[i]) + " intervals along " + "xyz"[i]);
        values *= uint64_t(n[i]);
        cellValues *= uint64_t(m[i]);
    }
    // Past the most a grid holds, also for the whole cell of a map given as part of it,
    // the map is refused before anything is allocated.
    if (values > kMaxGridValues || cellValues > kMaxGridValues)
        FailImport(path, "declares more grid points than this command can hold");
    const uint64_t needed = 4 * uint64_t(map.ccp4_header.size()) + values * uint64_t(BytesPerValue(map.header_i32(4), path));
    if (needed > fileBytes)
        FailImport(path, "is truncated: " + std::to_string(fileBytes) + " of " + std::to_string(needed) + " bytes (its " +
                             std::to_string(n[0]) + " x " + std::to_string(n[1]) + " x " +
                             std::to_string(n[2]) + " values after a header of " +
                             std::to_string(4 * map.ccp4_header.size()) + " bytes)");
}

void CheckCell(const gemmi::UnitCell& cell, const std::string& path) {
    const bool lengths = cell.a > 0 && cell.b > 0 && cell.c > 0 && std::isfinite(cell.a * cell.b * cell.c);
    if (!lengths || !(cell.volume > 1e-6 * cell.a * cell.b * cell.c))
        FailImport(path, "has no usable cell: a, b, c = " + ShortNumber(cell.a) + ", " + ShortNumber(cell.b) + ", " +
                             ShortNumber(cell.c) + "; angles " + ShortNumber(cell.alpha) + ", " +
                             ShortNumber(cell.beta) + ", " + ShortNumber(cell.gamma));
}

// The file's box along x, y, z: first grid point and number of points.
struct FileBox {
    std::array<int, 3> start{}, size{};
};

FileBox BoxOf(const Ccp4& map) {
    const std::array<int, 3> pos = map.axis_positions();   // file dimension of x, y, z
    const std::array<int, 3> start = map.header_3i32(5), n = map.header_3i32(1);
    FileBox box;
    for (size_t a = 0; a < 3; ++a) {
        box.start[a] = start[size_t(pos[a])];
        box.size[a] = n[size_t(pos[a])];
    }
    return box;
}

// An MRC map of no symmetry whose box starts at 0 may place its data by the origin
// (Angstrom) instead: the shift in grid intervals.
Vec3d OriginShift(const Ccp4& map, const FileBox& box, const MapDensity& density) {
    const bool noSymmetry = map.grid.spacegroup == nullptr || map.grid.spacegroup->number == 1;
    if (!noSymmetry || box.start != std::array<int, 3>{0, 0, 0}) return {0, 0, 0};
    const Vec3d origin{map.header_float(50), map.header_float(51), map.header_float(52)};
    if (!std::all_of(origin.begin(), origin.end(), [](double v) { return std::isfinite(v); })) return {0, 0, 0};
    const Vec3d fractional = Times(Inverse(density.orthogonalisation), origin);
    return {fractional[0] * density.sampling[0], fractional[1] * density.sampling[1],
            fractional[2] * density.sampling[2]};
}

int SymmetryOrder(const Ccp4& map) {
    return map.grid.spacegroup == nullptr ? 1 : map.grid.spacegroup->operations().order();
}

// The data fills the cell by itself, or may do so once its symmetry mates are added.
bool MayFillCell(const FileBox& box, const std::array<int, 3>& m, int order) {
    uint64_t boxValues = 1, cellValues = 1;
    for (size_t a = 0; a < 3; ++a) {
        boxValues *= uint64_t(box.size[a]);
        cellValues *= uint64_t(m[a]);
    }
    return cellValues <= boxValues * uint64_t(order);
}

// Reads the data and expands it over the whole cell by symmetry, with the extremes found by
// the one pass that looks for points left without data; nothing (and the map left spent)
// when some of the cell stays without data.
std::optional<ValueExtremes> ExpandToCell(Ccp4& map, std::string_view bytes, const std::string& path) {
    const float kNoData = std::numeric_limits<float>::quiet_NaN();
    WithGemmi(path, "", [&] {
        map.read_ccp4_from_memory(bytes.data(), bytes.size(), path);
        for (int w : {50, 51, 52}) map.set_header_float(w, 0.0f);   // placed by OriginShift, not by gemmi
        map.setup(kNoData, gemmi::MapSetup::Full);
    });
    const ValueExtremes extremes = ExtremesOf(map.grid.data);
    if (extremes.anyNaN) return std::nullopt;
    return extremes;
}

void ReadBox(Ccp4& map, std::string_view bytes, const std::string& path) {
    WithGemmi(path, "", [&] {
        map.read_ccp4_from_memory(bytes.data(), bytes.size(), path);
        map.setup(0.0f, gemmi::MapSetup::ReorderOnly);
    });
}

void SetCell(MapDensity& density, const gemmi::UnitCell& cell, const std::array<int, 3>& sampling) {
    density.cell = {cell.a, cell.b, cell.c, cell.alpha, cell.beta, cell.gamma};
    for (size_t i = 0; i < 3; ++i)
        for (size_t j = 0; j < 3; ++j) density.orthogonalisation[i][j] = cell.orth.mat.a[i][j];
    density.sampling = sampling;
}

// The space group's operations with the identity first, as fractions.
std::vector<SymmetryOperation> OperationsOf(const gemmi::SpaceGroup* group) {
    std::vector<SymmetryOperation> out;
    if (!group) return out;
    for (const gemmi::Op& op : group->operations()) {
        SymmetryOperation o;
        for (size_t i = 0; i < 3; ++i) {
            for (size_t j = 0; j < 3; ++j) o.rotation[i][j] = double(op.rot[i][j]) / gemmi::Op::DEN;
            o.translation[i] = double(op.tran[i]) / gemmi::Op::DEN;
        }
        out.push_back(o);
    }
    return out;
}

void TakeData(MapDensity& density, Ccp4& map) {
    density.dataSize = {map.grid.nu, map.grid.nv, map.grid.nw};
    density.values = std::move(map.grid.data);
    if (!density.extremes) density.extremes = ExtremesOf(density.values);
}

}  // namespace

MapDensity ParseCcp4Map(std::string_view bytes, const std::string& path) {
    Ccp4 map = ReadHeader(bytes, path);
    CheckDimensions(map, bytes.size(), path);
    CheckCell(map.grid.unit_cell, path);
    MapDensity density;
    const std::array<int, 3> sampling = map.header_3i32(8);
    SetCell(density, map.grid.unit_cell, sampling);
    density.operations = OperationsOf(map.grid.spacegroup);
    const FileBox box = BoxOf(map);
    const Vec3d shift = OriginShift(map, box, density);
    if (MayFillCell(box, sampling, SymmetryOrder(map))) density.extremes = ExpandToCell(map, bytes, path);
    density.wholeCell = density.extremes.has_value();
    if (!density.wholeCell) {
        map = ReadHeader(bytes, path);
        ReadBox(map, bytes, path);
    }
    for (size_t a = 0; a < 3; ++a) {
        const double first = box.start[a] + shift[a];
        density.dataStart[a] = density.wholeCell ? shift[a] : first;
        const double last = density.wholeCell ? first + sampling[a] : first + box.size[a] - 1;
        density.boxLow[a] = first / sampling[a];
        density.boxHigh[a] = last / sampling[a];
    }
    TakeData(density, map);
    return density;
}

}  // namespace tivarel
