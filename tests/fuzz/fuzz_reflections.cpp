// Any bytes as a reflection file through the Fourier transform and the conversion to MT1
// bytes, or a message; without phases, phased by a small structure. All grids kept small.
#include "fuzz_support.h"
#include "import/convert.h"
#include "import/input_kind.h"
#include "import/map_coefficients.h"
#include "mapio/mt1_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tivarel;
    const std::string_view bytes = fuzz::Bytes(data, size);
    const PhasingModel model{
        "fuzz.cif",
        "data_s\n_cell_length_a 7\n_cell_length_b 8\n_cell_length_c 9\n_cell_angle_alpha 90\n"
        "_cell_angle_beta 110\n_cell_angle_gamma 90\nloop_\n_space_group_symop_operation_xyz\n'x,y,z'\n"
        "'-x,y+1/2,-z'\nloop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n"
        "_atom_site_fract_y\n_atom_site_fract_z\n_atom_site_U_iso_or_equiv\nFe1 Fe 0.1 0.2 0.3 0.02\n"
        "O1 O 0.35 0.25 0.1 0.03\n"};
    const InputKind kind = KindOfInput(bytes);
    for (const bool difference : {false, true}) {
        try {
            const CoefficientChoice choice{difference, "", ""};
            const MapCoefficients coefficients =
                kind == InputKind::Mtz        ? ReadMtzCoefficients(bytes, "fuzz", choice)
                : kind == InputKind::Cif      ? ReadCifCoefficients(bytes, "fuzz", choice, model)
                : kind == InputKind::ShelxHkl ? ReadShelxHklCoefficients(bytes, "fuzz", choice, model)
                                              : throw InputError("fuzz: another kind");
            ConversionOptions options;
            options.maxValues = 1u << 18;
            Mt1Bytes(ConvertMap(FourierMap(coefficients, "fuzz", nullptr, 1u << 18), nullptr, options, "fuzz").mt1);
        } catch (const InputError&) {
        }
    }
    return 0;
}
