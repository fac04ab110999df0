#pragma once
// What a file holds, told by its content rather than its name.
#include <string_view>

namespace tivarel {

enum class InputKind {
    Ccp4Map,   // "MAP " at byte 209
    Mtz,       // "MTZ " at the start
    Cif,       // a data block after any byte-order mark, blank lines and comments
    Pdb,       // PDB records (ATOM, HETATM, CRYST1, HEADER ...)
    ShelxHkl,  // a SHELX reflection list: h k l F^2 sigma
    Unknown,
};

InputKind KindOfInput(std::string_view bytes);

// The text from the first data block on, when the bytes are a CIF file: a byte-order
// mark, blank lines and comment lines may come before it, as databases write them.
bool IsCifText(std::string_view bytes);

// The text after a UTF-8 byte-order mark, which the CIF reader does not take.
std::string_view WithoutByteOrderMark(std::string_view bytes);

}  // namespace tivarel
