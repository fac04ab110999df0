// Map coefficients from MTZ files, read with gemmi after the header's counts have
// been checked against the file.
#include <gemmi/mtz.hpp>

#include <cctype>
#include <cmath>
#include <cstring>

#include "import/coefficient_names.h"
#include "import/import_error.h"
#include "import/map_coefficients.h"

namespace tivarel {
namespace {

constexpr size_t kRecord = 80;   // header records are 80 characters
constexpr size_t kDataStart = 80;   // the reflections follow the first 80 bytes

// Refmac's, Phenix's and Buster's names, then Phaser's.
const std::vector<NamePair> kMapPairs = {{"FWT", "PHWT"}, {"2FOFCWT", "PH2FOFCWT"}, {"FWT", "PHIFWT"}};
const std::vector<NamePair> kDifferencePairs = {{"DELFWT", "PHDELWT"}, {"FOFCWT", "PHFOFCWT"}, {"DELFWT", "PHIDELFWT"}};

// The numbers after a record's keyword (the first `skip` characters).
std::vector<long long> RecordNumbers(std::string_view record, size_t skip, size_t count) {
    const std::string text(record.substr(skip));
    std::vector<long long> numbers;
    const char* at = text.c_str();
    for (size_t i = 0; i < count; ++i) {
        char* end = nullptr;
        numbers.push_back(std::strtoll(at, &end, 10));
        at = end;
    }
    return numbers;
}

// A record's keyword in capitals: gemmi takes keywords in any case.
std::string Keyword(std::string_view record) {
    std::string keyword(record.substr(0, 4));
    for (char& c : keyword) c = char(std::toupper(static_cast<unsigned char>(c)));
    return keyword;
}

// gemmi reads the integers of these records into an int without a check: a run of ten
// digits or more (not the decimals of a real number) is a damaged file.
bool HasOverlongInteger(std::string_view record) {
    const std::string first = Keyword(record);
    for (std::string_view keyword : {"NCOL", "NDIF", "SYMI", "SORT", "COLU", "PROJ", "CRYS", "DATA", "DCEL", "DWAV", "MTZH",
                                     "BH "}) {
        if (std::string_view(first).substr(0, keyword.size()) != keyword) continue;
        size_t run = 0;
        for (size_t i = 0; i < record.size(); ++i) {
            const bool digit = record[i] >= '0' && record[i] <= '9';
            run = digit ? run + 1 : 0;
            const size_t start = i + 1 - run;
            if (run >= 10 && (start == 0 || record[start - 1] != '.')) return true;
        }
    }
    return false;
}

// The counts in the header records that gemmi allocates by, checked against the file
// before it reads them: reflections times columns must fit before the header, and
// every batch and dataset count must be one the file could hold.
void CheckHeaderCounts(std::string_view bytes, size_t headerStart, const std::string& path) {
    const size_t records = (bytes.size() - headerStart) / kRecord;
    for (size_t r = 0; r < records; ++r) {
        const std::string_view record = bytes.substr(headerStart + r * kRecord, kRecord);
        const std::string keyword = Keyword(record);
        if (HasOverlongInteger(record) || (keyword == "SYMM" && !PlausibleTriplet(record.substr(4))))
            FailImport(path, "is damaged: its header record '" + std::string(record.substr(0, 40)) + "' holds a number too large");
        if (keyword == "NCOL") {
            const std::vector<long long> n = RecordNumbers(record, 4, 3);   // columns, reflections, batches
            if (n[0] < 0 || n[1] < 0 || n[2] < 0 || n[2] > (long long)records)
                FailImport(path, "is damaged: its NCOL record declares " + std::to_string(n[0]) + " columns, " +
                                     std::to_string(n[1]) + " reflections and " + std::to_string(n[2]) + " batches");
            const unsigned long long needed = kDataStart + 4ull * (unsigned long long)n[0] * (unsigned long long)n[1];
            if (needed > headerStart)
                FailImport(path, "is truncated: its " + std::to_string(n[1]) + " reflections of " + std::to_string(n[0]) +
                                     " columns need " + std::to_string(needed) +
                                     " bytes before its header, which starts at byte " + std::to_string(headerStart));
        } else if (keyword == "NDIF") {
            const long long datasets = RecordNumbers(record, 4, 1)[0];
            if (datasets < 0 || datasets > (long long)records)
                FailImport(path, "is damaged: its NDIF record declares " + std::to_string(datasets) + " datasets");
        } else if (keyword.substr(0, 3) == "BH ") {
            const std::vector<long long> n = RecordNumbers(record, 3, 4);   // number, words, integers, reals
            if (n[2] < 0 || n[3] < 0 || n[2] > 1000 || n[3] > 1000)
                FailImport(path, "is damaged: a batch header declares " + std::to_string(n[2]) + " integers and " +
                                     std::to_string(n[3]) + " reals");
        }
    }
}

gemmi::Mtz ReadMtz(std::string_view bytes, const std::string& path) {
    if (bytes.size() < kDataStart)
        FailImport(path, "is truncated: " + std::to_string(bytes.size()) + " bytes, fewer than the 80 an MTZ file starts with");
    gemmi::Mtz mtz;
    gemmi::MemoryStream stream(bytes.data(), bytes.size());
    WithGemmi(path, "cannot be read as an MTZ file: ", [&] { mtz.read_first_bytes(stream); });
    // The header's place, in words from 1; checked before it is turned into bytes.
    const int64_t word = mtz.header_offset;
    if (word < 1 || word > int64_t(bytes.size() / 4))
        FailImport(path, "is truncated or damaged: " + std::to_string(bytes.size()) +
                             " bytes, but its header should start at word " + std::to_string(word));
    const long long headerStart = 4 * (word - 1);
    if (headerStart < (long long)kDataStart)
        FailImport(path, "is damaged: its header starts at byte " + std::to_string(headerStart) +
                             ", inside the 80 bytes before the reflections");
    CheckHeaderCounts(bytes, size_t(headerStart), path);
    WithGemmi(path, "cannot be read as an MTZ file: ", [&] {
        mtz.read_main_headers(stream);
        mtz.read_history_and_batch_headers(stream);
        mtz.setup_spacegroup();
    });
    if (mtz.columns.empty() || mtz.nreflections == 0) FailImport(path, "holds no reflections");
    WithGemmi(path, "cannot be read as an MTZ file: ", [&] { mtz.read_raw_data(stream); });
    return mtz;
}

// The space group by name, or else by the symmetry operations the file lists.
const gemmi::SpaceGroup* SpaceGroupOf(const gemmi::Mtz& mtz) {
    if (mtz.spacegroup) return mtz.spacegroup;
    if (mtz.symops.empty()) return nullptr;
    return gemmi::find_spacegroup_by_ops(gemmi::split_centering_vectors(mtz.symops));
}

std::vector<std::string> LabelsOfType(const gemmi::Mtz& mtz, char type) {
    std::vector<std::string> labels;
    for (const gemmi::Mtz::Column& column : mtz.columns)
        if (column.type == type) labels.push_back(column.label);
    return labels;
}

[[noreturn]] void NoPair(const gemmi::Mtz& mtz, const std::string& path, const CoefficientChoice& choice) {
    const std::vector<std::string> amplitudes = LabelsOfType(mtz, 'F'), phases = LabelsOfType(mtz, 'P');
    if (phases.empty()) {
        std::vector<std::string> labels;
        for (const gemmi::Mtz::Column& column : mtz.columns) labels.push_back(column.label);
        FailImport(path, "has no phases, so no map can be computed from it (its columns are " + ListOfNames(labels) +
                             "): give the MTZ file of map coefficients that refinement writes (FWT/PHWT)");
    }
    const std::string offers =
        "its amplitude columns are " + ListOfNames(amplitudes) + " and its phase columns " + ListOfNames(phases);
    FailImport(path, "has no columns " + WantedPairs(choice, kMapPairs, kDifferencePairs) + "; " + offers +
                         ": choose a pair with --f LABEL --phi LABEL");
}

size_t ColumnIndex(const gemmi::Mtz& mtz, const std::string& label, const std::string& path) {
    const gemmi::Mtz::Column* column = mtz.column_with_label(label);
    if (!column) FailImport(path, "has no column " + label);
    return column->idx;
}

std::array<double, 6> CellParameters(const gemmi::UnitCell& cell) {
    return {cell.a, cell.b, cell.c, cell.alpha, cell.beta, cell.gamma};
}

}  // namespace

MapCoefficients ReadMtzCoefficients(std::string_view bytes, const std::string& path, const CoefficientChoice& choice) {
    const gemmi::Mtz mtz = ReadMtz(bytes, path);
    std::vector<std::string> labels;
    for (const gemmi::Mtz::Column& column : mtz.columns) labels.push_back(column.label);
    const std::optional<NamePair> pair = ChooseNamePair(labels, choice, kMapPairs, kDifferencePairs, false);
    if (!pair) NoPair(mtz, path, choice);
    const gemmi::SpaceGroup* group = SpaceGroupOf(mtz);
    if (!group)
        FailImport(path, "names the space group '" + mtz.spacegroup_name + "', which is not known, and lists no symmetry "
                                                                            "operations that make a known one");
    MapCoefficients out;
    const size_t h = ColumnIndex(mtz, "H", path), k = ColumnIndex(mtz, "K", path), l = ColumnIndex(mtz, "L", path);
    const size_t f = ColumnIndex(mtz, pair->first, path), phi = ColumnIndex(mtz, pair->second, path);
    out.cell = CellParameters(mtz.get_cell(mtz.columns[f].dataset_id));
    out.spaceGroup = group->xhm();
    out.used = "columns " + pair->first + " and " + pair->second;
    const size_t width = mtz.columns.size();
    for (size_t r = 0; r < size_t(mtz.nreflections); ++r) {
        const float* row = &mtz.data[r * width];
        if (!std::isfinite(row[f]) || !std::isfinite(row[phi])) continue;   // missing
        out.reflections.push_back({{MillerIndex(row[h], path, r + 1), MillerIndex(row[k], path, r + 1),
                                    MillerIndex(row[l], path, r + 1)},
                                   row[f],
                                   row[phi]});
    }
    return out;
}

}  // namespace tivarel
