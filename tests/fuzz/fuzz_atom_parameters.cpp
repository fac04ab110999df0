// The atom parameter table: any text either loads, types a structure made of its own
// labels (and one it may lack) and finds the bonds, or stops with a message.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tivarel;
    try {
        const AtomParTable table = ParseAtomParameters(fuzz::Bytes(data, size), "fuzz/atompar2.txt");
        std::vector<AtomRecord> atoms{{"C   ", {0.0f, 0.7f, 0.0f}, 0}};
        for (int k = 0; k < table.count() && k < 64; ++k)   // on a line 0.5 apart
            atoms.push_back({table.entries[size_t(k)].EntryLabel, {0.5f * float(k), 0.0f, 0.0f}, 0});
        AssignAtomTypes(atoms, table);
        BondList bonds;
        FindBonds(atoms, table, bonds);
    } catch (const InputError&) {
    }
    return 0;
}
