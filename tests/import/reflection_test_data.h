#pragma once
// Reflection files of small crystals whose structure factors gemmi computes from every atom of
// the cell written out (not the program's symmetry), and their direct Fourier sum. One test
// file defines GEMMI_WRITE_IMPLEMENTATION before it, for gemmi's MTZ writer.
#include <gemmi/it92.hpp>
#include <gemmi/mtz.hpp>
#include <gemmi/sfcalc.hpp>
#include <gemmi/small.hpp>
#include <gemmi/symmetry.hpp>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "import/map_density.h"

namespace tivarel::test_support {

struct TestAtom {
    const char *label, *element;
    double x, y, z, uIso;
};

struct Crystal {
    std::array<double, 6> cell;
    const char* spaceGroup;               // as gemmi names it
    std::vector<const char*> operations;  // x,y,z form, the first the identity
    std::vector<TestAtom> atoms;          // the asymmetric unit
    double dMin;
};

// P 1 21 1, beta 110 degrees: iron, oxygen and carbon in general positions.
inline const Crystal kMonoclinic = {
    {7.0, 8.0, 9.0, 90.0, 110.0, 90.0}, "P 1 21 1", {"x,y,z", "-x,y+1/2,-z"},
    {{"Fe1", "Fe", 0.10, 0.20, 0.30, 0.020}, {"O1", "O", 0.35, 0.25, 0.10, 0.030}, {"C1", "C", 0.60, 0.10, 0.70, 0.025}}, 1.1};
// P -1 with a bromine on the inversion centre at the origin.
inline const Crystal kCentric = {{6.0, 7.0, 8.0, 80.0, 95.0, 100.0}, "P -1", {"x,y,z", "-x,-y,-z"},
                                 {{"Br1", "Br", 0.0, 0.0, 0.0, 0.020}, {"N1", "N", 0.30, 0.15, 0.40, 0.030}}, 1.2};

inline gemmi::UnitCell CellOf(const Crystal& c) {
    return gemmi::UnitCell(c.cell[0], c.cell[1], c.cell[2], c.cell[3], c.cell[4], c.cell[5]);
}

inline gemmi::Fractional Apply(const char* triplet, const gemmi::Fractional& f) {
    const std::array<double, 3> x = gemmi::parse_triplet(triplet).apply_to_xyz({f.x, f.y, f.z});
    return {x[0], x[1], x[2]};
}

// The distance in Angstrom from `x` to the nearest image of `atom` under the operations.
inline double SiteDistance(const gemmi::UnitCell& cell, const std::vector<const char*>& ops, const gemmi::Fractional& atom,
                           const gemmi::Fractional& x) {
    double nearest = INFINITY;
    for (const char* op : ops) nearest = std::min(nearest, std::sqrt(cell.distance_sq(Apply(op, atom), x)));
    return nearest;
}

// The grid point of a map's highest value, as a fraction of the cell.
inline gemmi::Fractional Highest(const MapDensity& map) {
    const size_t at = size_t(std::max_element(map.values.begin(), map.values.end()) - map.values.begin());
    const size_t nx = size_t(map.dataSize[0]), ny = size_t(map.dataSize[1]);
    return {double(at % nx) / map.sampling[0], double(at / nx % ny) / map.sampling[1], double(at / nx / ny) / map.sampling[2]};
}

struct TestReflection {
    gemmi::Miller hkl;
    std::complex<double> f;
};

// Structure factors of every reflection to d-min (0 0 0 left out), from every atom of the cell in
// P 1: each atom under each operation, a position met twice kept once.
inline std::vector<TestReflection> WholeSphere(const Crystal& c) {
    gemmi::SmallStructure st;
    st.cell = CellOf(c);
    for (const TestAtom& atom : c.atoms)
        for (const char* triplet : c.operations) {
            const gemmi::Fractional f = Apply(triplet, {atom.x, atom.y, atom.z}).wrap_to_unit();
            const auto same = [&](const gemmi::SmallStructure::Site& s) { return st.cell.distance_sq(s.fract, f) < 1e-6; };
            if (std::none_of(st.sites.begin(), st.sites.end(), same)) {
                st.sites.emplace_back();
                st.sites.back().element = gemmi::Element(atom.element);
                st.sites.back().fract = f;
                st.sites.back().u_iso = atom.uIso;
            }
        }
    gemmi::StructureFactorCalculator<gemmi::IT92<double>> calculator(st.cell);
    std::vector<TestReflection> out;
    for (int h = -12; h <= 12; ++h)
        for (int k = -12; k <= 12; ++k)
            for (int l = -12; l <= 12; ++l)
                if (const gemmi::Miller hkl{h, k, l}; hkl != gemmi::Miller{0, 0, 0} && st.cell.calculate_d(hkl) >= c.dMin)
                    out.push_back({hkl, calculator.calculate_sf_from_small_structure(st, hkl)});
    return out;
}

// The reflections of the reciprocal asymmetric unit, as a file lists them: absences left out.
inline std::vector<TestReflection> UniqueSet(const Crystal& c) {
    const gemmi::ReciprocalAsu asu(gemmi::find_spacegroup_by_name(c.spaceGroup));
    std::vector<TestReflection> out;
    for (const TestReflection& r : WholeSphere(c))
        if (asu.is_in(r.hkl) && std::abs(r.f) > 1e-6) out.push_back(r);
    return out;
}

inline double Degrees(std::complex<double> f) { return gemmi::deg(std::arg(f)); }

// An MTZ with, for each label pair, the reflections times the pair's factor; a label starting SIG is a sigma column.
inline std::string MtzBytes(const Crystal& c, const std::vector<TestReflection>& reflections,
                            const std::vector<std::tuple<std::string, std::string, double>>& pairs = {{"FWT", "PHWT", 1}}) {
    gemmi::Mtz mtz(true);
    mtz.spacegroup = gemmi::find_spacegroup_by_name(c.spaceGroup);
    mtz.set_cell_for_all(CellOf(c));
    mtz.add_dataset("crystal");
    for (const auto& [f, phi, factor] : pairs) {
        mtz.add_column(f, 'F', -1, -1, false);
        mtz.add_column(phi, phi.starts_with("SIG") ? 'Q' : 'P', -1, -1, false);
    }
    std::vector<float> data;
    for (const TestReflection& r : reflections) {
        data.insert(data.end(), {float(r.hkl[0]), float(r.hkl[1]), float(r.hkl[2])});
        for (const auto& [f, phi, factor] : pairs)
            data.insert(data.end(), {float(std::abs(factor * r.f)), float(Degrees(factor * r.f))});
    }
    mtz.set_data(data.data(), data.size());
    std::string bytes;
    mtz.write_to_string(bytes);
    return bytes;
}

inline std::string Format(const char* format, double a, double b = 0, double c = 0, double d = 0, double e = 0, double f = 0) {
    char line[200];
    std::snprintf(line, sizeof line, format, a, b, c, d, e, f);
    return line;
}

inline std::string ReflectionLine(const TestReflection& r, const char* rest, double a, double b = 0, double c = 0) {
    return Format("%.0f %.0f %.0f ", r.hkl[0], r.hkl[1], r.hkl[2]) + Format(rest, a, b, c);
}

inline std::string CellLines(const Crystal& c, const char* separator, double factor = 1.0) {
    std::string text;
    const char* names[6] = {"length_a", "length_b", "length_c", "angle_alpha", "angle_beta", "angle_gamma"};
    for (size_t k = 0; k < 6; ++k)
        text += std::string("_cell") + separator + names[k] + Format(" %.4f\n", c.cell[k] * (k < 3 ? factor : 1));
    return text;
}

inline std::string SymmetryLoop(const Crystal& c) {
    std::string text = "loop_\n_space_group_symop_operation_xyz\n";
    for (const char* op : c.operations) text += std::string("'") + op + "'\n";
    return text;
}

// A structure-factor mmCIF of the PDB's kind, with a comment header.
inline std::string MmcifBytes(const Crystal& c, const std::vector<TestReflection>& map) {
    std::string text = "# written by a test\ndata_r1xyzsf\n" + CellLines(c, ".") + "_symmetry.space_group_name_H-M '" +
                       c.spaceGroup + "'\nloop_\n_refln.index_h\n_refln.index_k\n_refln.index_l\n_refln.F_meas_au\n" +
                       "_refln.pdbx_FWT\n_refln.pdbx_PHWT\n";
    for (const TestReflection& r : map) text += ReflectionLine(r, "? %.6f %.4f\n", std::abs(r.f), Degrees(r.f));
    return text;
}

// A small-molecule reflection CIF of F^2 only, each reflection times `factor`; when `mates` is
// set every reflection is also listed as its Friedel mate (unmerged data).
inline std::string FcfBytes(const Crystal& c, const std::vector<TestReflection>& unique, double factor, bool mates) {
    std::string text = "data_shelx\n" + CellLines(c, "_") + SymmetryLoop(c) +
                       "loop_\n_refln_index_h\n_refln_index_k\n_refln_index_l\n_refln_F_squared_meas\n_refln_F_squared_sigma\n";
    for (const TestReflection& r : unique)
        for (int sign = 1; sign >= (mates ? -1 : 1); sign -= 2)
            text += ReflectionLine({gemmi::Miller{sign * r.hkl[0], sign * r.hkl[1], sign * r.hkl[2]}, r.f}, "%.6f 0.1\n",
                                   factor * std::norm(r.f));
    return text;
}

// The structure as a crystallography database publishes it: comments and a blank line first.
inline std::string StructureCif(const Crystal& c, double cellFactor = 1.0) {
    std::string text = "#\\#CIF_1.1\n# a structure\n\ndata_structure\n" + CellLines(c, "_", cellFactor) + SymmetryLoop(c) +
                       "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n"
                       "_atom_site_fract_z\n_atom_site_U_iso_or_equiv\n_atom_site_occupancy\n";
    for (const TestAtom& a : c.atoms)
        text += std::string(a.label) + " " + a.element + Format(" %.5f %.5f %.5f %.4f 1\n", a.x, a.y, a.z, a.uIso);
    return text;
}

}  // namespace tivarel::test_support
