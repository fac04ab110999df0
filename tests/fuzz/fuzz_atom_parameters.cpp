// The atom parameter table: any text either loads, types a structure made of its own
// labels and finds the bonds, or stops with a message.
#include <vector>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tivarel;
    const std::string_view input = fuzz::Bytes(data, size);
    try {
        const AtomParTable table = ParseAtomParameters(input, "fuzz/atompar2.txt");
        // One atom per entry, on a line 0.5 apart, and one with a label the table may lack.
        std::vector<AtomRecord> atoms;
        for (int k = 0; k < table.count() && k < 64; ++k) {
            AtomRecord atom;
            atom.name = table.entries[static_cast<size_t>(k)].EntryLabel;
            atom.position = {0.5f * static_cast<float>(k), 0.0f, 0.0f};
            atoms.push_back(atom);
        }
        atoms.push_back({"C   ", {0.0f, 0.7f, 0.0f}, 0});
        AssignAtomTypes(atoms, table);
        BondList bonds;
        FindBonds(atoms, table, bonds);
    } catch (const ProgramStop&) {
    }
    return 0;
}
