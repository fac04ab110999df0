#pragma once
// Reflection files made by the tests: a small crystal whose structure factors gemmi
// computes from every atom of the cell written out (no symmetry expansion), written as
// MTZ (by gemmi), structure-factor mmCIF and small-molecule CIF text; and the density
// those structure factors give by a direct Fourier sum over the whole sphere. One test
// file defines GEMMI_WRITE_IMPLEMENTATION before it, for gemmi's MTZ writer.
#include <gemmi/it92.hpp>
#include <gemmi/mtz.hpp>
#include <gemmi/sfcalc.hpp>
#include <gemmi/small.hpp>
#include <gemmi/symmetry.hpp>

#include <cmath>
#include <complex>
#include <cstdio>
#include <string>
#include <vector>

namespace tivarel::test_support {

struct TestAtom {
    const char* label;
    const char* element;
    double x, y, z, uIso;
};

struct Crystal {
    std::array<double, 6> cell;
    const char* spaceGroup;                    // as gemmi names it
    std::vector<const char*> operations;       // x,y,z form, the first the identity
    std::vector<TestAtom> atoms;               // the asymmetric unit
    double dMin;
};

// P 1 21 1, beta 110 degrees: iron, oxygen and carbon in general positions.
inline Crystal MonoclinicCrystal() {
    return {{7.0, 8.0, 9.0, 90.0, 110.0, 90.0},
            "P 1 21 1",
            {"x,y,z", "-x,y+1/2,-z"},
            {{"Fe1", "Fe", 0.10, 0.20, 0.30, 0.020}, {"O1", "O", 0.35, 0.25, 0.10, 0.030}, {"C1", "C", 0.60, 0.10, 0.70, 0.025}},
            1.1};
}

// P -1 with a bromine on the inversion centre at the origin.
inline Crystal CentricCrystal() {
    return {{6.0, 7.0, 8.0, 80.0, 95.0, 100.0},
            "P -1",
            {"x,y,z", "-x,-y,-z"},
            {{"Br1", "Br", 0.0, 0.0, 0.0, 0.020}, {"N1", "N", 0.30, 0.15, 0.40, 0.030}},
            1.2};
}

inline gemmi::UnitCell CellOf(const Crystal& c) {
    return gemmi::UnitCell(c.cell[0], c.cell[1], c.cell[2], c.cell[3], c.cell[4], c.cell[5]);
}

inline gemmi::Fractional Apply(const char* triplet, const gemmi::Fractional& f) {
    const std::array<double, 3> x = gemmi::parse_triplet(triplet).apply_to_xyz({f.x, f.y, f.z});
    return {x[0], x[1], x[2]};
}

// Every atom of the cell: each atom under each operation, a position met twice kept once.
inline gemmi::SmallStructure WholeCell(const Crystal& c) {
    gemmi::SmallStructure st;
    st.cell = CellOf(c);
    for (const TestAtom& atom : c.atoms)
        for (const char* triplet : c.operations) {
            const gemmi::Fractional f = Apply(triplet, {atom.x, atom.y, atom.z}).wrap_to_unit();
            bool seen = false;
            for (const gemmi::SmallStructure::Site& s : st.sites) seen = seen || st.cell.distance_sq(s.fract, f) < 1e-6;
            if (seen) continue;
            gemmi::SmallStructure::Site site;
            site.label = atom.label;
            site.element = gemmi::Element(atom.element);
            site.fract = f;
            site.u_iso = atom.uIso;
            st.sites.push_back(site);
        }
    return st;   // no cell images: P 1
}

struct TestReflection {
    gemmi::Miller hkl;
    std::complex<double> f;
};

// Structure factors of every reflection to d-min (0 0 0 left out), from all atoms of the cell.
inline std::vector<TestReflection> WholeSphere(const Crystal& c) {
    const gemmi::SmallStructure st = WholeCell(c);
    gemmi::StructureFactorCalculator<gemmi::IT92<double>> calculator(st.cell);
    std::vector<TestReflection> out;
    const int n = 12;
    for (int h = -n; h <= n; ++h)
        for (int k = -n; k <= n; ++k)
            for (int l = -n; l <= n; ++l) {
                const gemmi::Miller hkl{h, k, l};
                if (hkl == gemmi::Miller{0, 0, 0} || st.cell.calculate_d(hkl) < c.dMin) continue;
                out.push_back({hkl, calculator.calculate_sf_from_small_structure(st, hkl)});
            }
    return out;
}

// The reflections of the reciprocal asymmetric unit, as a file lists them: systematic
// absences left out.
inline std::vector<TestReflection> UniqueSet(const Crystal& c) {
    const gemmi::ReciprocalAsu asu(gemmi::find_spacegroup_by_name(c.spaceGroup));
    std::vector<TestReflection> out;
    for (const TestReflection& r : WholeSphere(c))
        if (asu.is_in(r.hkl) && std::abs(r.f) > 1e-6) out.push_back(r);
    return out;
}

// rho(x) = 1/V sum over the whole sphere of |F| cos(phi - 2 pi h.x).
inline double DirectSum(const std::vector<TestReflection>& sphere, const gemmi::UnitCell& cell, const gemmi::Fractional& x) {
    double sum = 0.0;
    for (const TestReflection& r : sphere)
        sum += std::real(r.f * std::exp(std::complex<double>(0.0, -2.0 * gemmi::pi() * (r.hkl[0] * x.x + r.hkl[1] * x.y + r.hkl[2] * x.z))));
    return sum / cell.volume;
}

inline double Degrees(std::complex<double> f) { return gemmi::deg(std::arg(f)); }

// An MTZ of map coefficients: columns FWT, PHWT and, when given, DELFWT, PHDELWT.
inline std::string MtzBytes(const Crystal& c, const std::vector<TestReflection>& map,
                            const std::vector<TestReflection>& difference = {}) {
    gemmi::Mtz mtz(true);
    mtz.spacegroup = gemmi::find_spacegroup_by_name(c.spaceGroup);
    mtz.set_cell_for_all(CellOf(c));
    mtz.add_dataset("crystal");
    const std::vector<std::string> labels =
        difference.empty() ? std::vector<std::string>{"FWT", "PHWT"} : std::vector<std::string>{"FWT", "PHWT", "DELFWT", "PHDELWT"};
    for (const std::string& label : labels) mtz.add_column(label, label.rfind("PH", 0) == 0 ? 'P' : 'F', -1, -1, false);
    std::vector<float> data;
    for (size_t i = 0; i < map.size(); ++i) {
        for (size_t a = 0; a < 3; ++a) data.push_back(float(map[i].hkl[a]));
        data.push_back(float(std::abs(map[i].f)));
        data.push_back(float(Degrees(map[i].f)));
        if (!difference.empty()) {
            data.push_back(float(std::abs(difference[i].f)));
            data.push_back(float(Degrees(difference[i].f)));
        }
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

inline std::string CellLines(const Crystal& c, const char* separator) {
    std::string text;
    const char* names[6] = {"length_a", "length_b", "length_c", "angle_alpha", "angle_beta", "angle_gamma"};
    for (size_t k = 0; k < 6; ++k) text += std::string("_cell") + separator + names[k] + Format(" %.4f\n", c.cell[k]);
    return text;
}

// A structure-factor mmCIF of the PDB's kind, with a comment header.
inline std::string MmcifBytes(const Crystal& c, const std::vector<TestReflection>& map) {
    std::string text = "# written by a test\ndata_r1xyzsf\n" + CellLines(c, ".") +
                       "_symmetry.space_group_name_H-M '" + c.spaceGroup + "'\n" +
                       "loop_\n_refln.index_h\n_refln.index_k\n_refln.index_l\n_refln.F_meas_au\n_refln.pdbx_FWT\n_refln.pdbx_PHWT\n";
    for (const TestReflection& r : map)
        text += Format("%.0f %.0f %.0f ? %.6f %.4f\n", r.hkl[0], r.hkl[1], r.hkl[2], std::abs(r.f), Degrees(r.f));
    return text;
}

inline std::string SymmetryLoop(const Crystal& c) {
    std::string text = "loop_\n_space_group_symop_operation_xyz\n";
    for (const char* op : c.operations) text += std::string("'") + op + "'\n";
    return text;
}

// A small-molecule reflection CIF of F^2 only, each reflection times `factor`; when
// `mates` is set every reflection is also listed as its Friedel mate (unmerged data).
inline std::string FcfBytes(const Crystal& c, const std::vector<TestReflection>& unique, double factor, bool mates) {
    std::string text = "data_shelx\n" + CellLines(c, "_") + SymmetryLoop(c) +
                       "loop_\n_refln_index_h\n_refln_index_k\n_refln_index_l\n_refln_F_squared_meas\n_refln_F_squared_sigma\n";
    for (const TestReflection& r : unique)
        for (int sign : {1, -1}) {
            if (sign < 0 && !mates) continue;
            text += Format("%.0f %.0f %.0f %.6f 0.1\n", sign * r.hkl[0], sign * r.hkl[1], sign * r.hkl[2],
                           factor * std::norm(r.f));
        }
    return text;
}

// The structure as a crystallography database publishes it: comments and a blank line first.
inline std::string StructureCif(const Crystal& c, double cellFactor = 1.0) {
    Crystal scaled = c;
    for (size_t k = 0; k < 3; ++k) scaled.cell[k] *= cellFactor;
    std::string text = "#\\#CIF_1.1\n# a structure\n\ndata_structure\n" + CellLines(scaled, "_") + SymmetryLoop(c) +
                       "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n"
                       "_atom_site_fract_z\n_atom_site_U_iso_or_equiv\n_atom_site_occupancy\n";
    for (const TestAtom& a : c.atoms)
        text += std::string(a.label) + " " + a.element + Format(" %.5f %.5f %.5f %.4f 1\n", a.x, a.y, a.z, a.uIso);
    return text;
}

}  // namespace tivarel::test_support
