// libFuzzer target: any bytes as a reflection file (MTZ, reflection CIF, SHELX list) through
// the Fourier transform and the conversion to MT1 bytes. Reflections without phases are
// phased by a small fixed structure. A refused input (InputError) is a normal outcome;
// anything else is a finding. The FFT grid and the map written are kept small.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "import/convert.h"
#include "import/import_error.h"
#include "import/input_kind.h"
#include "import/map_coefficients.h"
#include "mapio/mt1_writer.h"

namespace {

constexpr std::string_view kStructure =
    "data_s\n_cell_length_a 7\n_cell_length_b 8\n_cell_length_c 9\n_cell_angle_alpha 90\n_cell_angle_beta 110\n"
    "_cell_angle_gamma 90\nloop_\n_space_group_symop_operation_xyz\n'x,y,z'\n'-x,y+1/2,-z'\n"
    "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n"
    "_atom_site_U_iso_or_equiv\nFe1 Fe 0.1 0.2 0.3 0.02\nO1 O 0.35 0.25 0.1 0.03\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::optional<tivarel::PhasingModel> model = tivarel::PhasingModel{"fuzz.cif", kStructure};
    for (const bool difference : {false, true}) {
        try {
            const tivarel::CoefficientChoice choice{difference, "", ""};
            tivarel::MapCoefficients coefficients;
            switch (tivarel::KindOfInput(bytes)) {
            case tivarel::InputKind::Mtz: coefficients = tivarel::ReadMtzCoefficients(bytes, "fuzz", choice); break;
            case tivarel::InputKind::Cif: coefficients = tivarel::ReadCifCoefficients(bytes, "fuzz", choice, model); break;
            case tivarel::InputKind::ShelxHkl:
                coefficients = tivarel::ReadShelxHklCoefficients(bytes, "fuzz", choice, model);
                break;
            default: return 0;
            }
            const tivarel::MapDensity map = tivarel::FourierMap(coefficients, "fuzz", nullptr, 1u << 18);
            tivarel::ConversionOptions options;
            options.maxValues = 1u << 18;
            tivarel::Mt1Bytes(tivarel::ConvertMap(map, nullptr, options, "fuzz").mt1);
        } catch (const tivarel::InputError&) {
        }
    }
    return 0;
}
