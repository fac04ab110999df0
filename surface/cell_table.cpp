#include "surface/cell_table.h"

#include <charconv>
#include <limits>

#include "mapio/input_error.h"
#include "mapio/side_files.h"

namespace tivarel {
namespace {

constexpr int kCaseCount = 256;
constexpr int kIgnoredPerRecord = 9;
constexpr int16_t kTerminator = -99;
constexpr int kMaxEdgeNumber = 12;
constexpr int kMaxEdgesPerCase = 12;
constexpr int kMaxTrianglesPerCase = 10;
constexpr size_t kQuotedItemLimit = 24;

bool IsSeparator(char c) { return c == ',' || c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Reads the table's integers one by one; any run of separators parts two values,
// so the line structure of the file is free.
class TableReader {
public:
    TableReader(std::string_view text, const std::string& path) : text_(text), path_(path) {}

    int16_t next(int caseIndex) {
        while (pos_ < text_.size() && IsSeparator(text_[pos_])) ++pos_;
        if (pos_ >= text_.size()) fail("ends early", caseIndex);
        const size_t start = pos_;
        while (pos_ < text_.size() && !IsSeparator(text_[pos_])) ++pos_;
        return toValue(text_.substr(start, pos_ - start), caseIndex);
    }

    [[noreturn]] void fail(const std::string& problem, int caseIndex) const {
        Fail("The marching-cubes table " + path_ + " " + problem + " (case " +
                    std::to_string(caseIndex) + ").");
    }

private:
    int16_t toValue(std::string_view item, int caseIndex) const {
        const bool plus = item.front() == '+';
        std::string_view digits = plus ? item.substr(1) : item;
        if (plus && !digits.empty() && digits.front() == '-') notAnInteger(item, caseIndex);
        long long value = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        const bool whole = !digits.empty() && end == digits.data() + digits.size();
        if (whole && error == std::errc::result_out_of_range) outOfRange(item, caseIndex);
        if (!whole || error != std::errc()) notAnInteger(item, caseIndex);
        if (value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max())
            outOfRange(item, caseIndex);
        return static_cast<int16_t>(value);
    }

    [[noreturn]] void notAnInteger(std::string_view item, int caseIndex) const {
        std::string shown(item.substr(0, kQuotedItemLimit));
        if (item.size() > kQuotedItemLimit) shown += "...";
        fail("holds \"" + shown + "\" where an integer is expected", caseIndex);
    }

    [[noreturn]] void outOfRange(std::string_view item, int caseIndex) const {
        fail("holds the value " + std::string(item.substr(0, kQuotedItemLimit)) +
                 ", outside the 16-bit range",
             caseIndex);
    }

    std::string_view text_;
    const std::string& path_;
    size_t pos_ = 0;
};

template <size_t N>
void ReadRow(TableReader& reader, int caseIndex, std::array<int16_t, N>& row) {
    for (int16_t& value : row) value = reader.next(caseIndex);
}

// A row's count must fit the row. Edge numbers outside 1..12 in the edge list are
// skipped by the extraction; the triangle list's counted entries index the edge
// points, so each must be an edge 1..12.
template <size_t N>
void CheckRow(const TableReader& reader, int caseIndex, const std::array<int16_t, N>& row,
              int maxCount, int perItem, const char* items) {
    const int count = row[0];
    if (count < 0 || count > maxCount)
        reader.fail("gives " + std::to_string(count) + " " + items + ", outside 0 to " +
                        std::to_string(maxCount),
                    caseIndex);
    if (perItem == 1) return;
    for (size_t k = 1; k <= static_cast<size_t>(count * perItem); ++k)
        if (row[k] < 1 || row[k] > kMaxEdgeNumber)
            reader.fail("has a triangle on the edge number " + std::to_string(row[k]), caseIndex);
}

void ReadRecord(TableReader& reader, int caseIndex, CaseTable& table) {
    const auto slot = static_cast<size_t>(caseIndex);
    for (int k = 0; k < kIgnoredPerRecord; ++k) reader.next(caseIndex);
    ReadRow(reader, caseIndex, table.caseEdges[slot]);
    ReadRow(reader, caseIndex, table.caseTriangles[slot]);
    // A wrong terminator marks the file as corrupt: the program ends silently.
    if (reader.next(caseIndex) != kTerminator) FailSilently();
}

}  // namespace

CaseTable ParseCellTable(std::string_view text, const std::string& path) {
    CaseTable table;
    TableReader reader(text, path);
    // All 256 records and their terminators first, so that a corrupt file ends silently.
    for (int caseIndex = 0; caseIndex < kCaseCount; ++caseIndex) ReadRecord(reader, caseIndex, table);
    for (int caseIndex = 0; caseIndex < kCaseCount; ++caseIndex) {
        const auto slot = static_cast<size_t>(caseIndex);
        CheckRow(reader, caseIndex, table.caseEdges[slot], kMaxEdgesPerCase, 1, "edges");
        CheckRow(reader, caseIndex, table.caseTriangles[slot], kMaxTrianglesPerCase, 3, "triangles");
    }
    return table;
}

CaseTable LoadCellTable(const std::string& path) { return ParseCellTable(ReadWholeFile(path), path); }

}  // namespace tivarel
