#pragma once
// The three kinds of read that the text map formats use, over a byte buffer:
//  - number: skip blanks, tabs and line ends; take the characters up to the next
//    blank, comma or line end; then skip blanks and consume one following comma
//    or one following line end;
//  - skipped line: discard up to and including the next line end;
//  - text line: everything up to the next line end, which is consumed.
// A line ends with CR LF, a lone CR or a lone LF.
// Every fault (early end, non-numeric item, integer out of range) throws
// InputError with a message that names the file and what was being read.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tivarel {

class TextScanner {
public:
    TextScanner(std::string_view text, std::string fileName);

    // `what` names the item in error messages ("the cell matrix", "nx", ...).
    float readFloat(const char* what);
    int32_t readInt(const char* what);
    void skipLine(const char* what);
    std::string readTextLine(const char* what);

    bool atEnd() const { return pos_ >= text_.size(); }
    size_t position() const { return pos_; }
    // Goes on from `pos` of the same text, where another reading of it left off.
    void seek(size_t pos) { pos_ = pos; }
    std::string_view text() const { return text_; }
    size_t remaining() const { return text_.size() - pos_; }
    const std::string& fileName() const { return fileName_; }

    // Throws "The map file <name> <problem>."
    [[noreturn]] void fail(const std::string& problem) const;

private:
    std::string_view readItem(const char* what);
    // Blanks, tabs and line ends before an item.
    void skipSpace();
    // After an item: blanks, then one comma or one line end.
    void finishItem();
    void consumeLineEnd();
    int lineAt(size_t pos) const;
    [[noreturn]] void failEarlyEnd(const char* what) const;
    [[noreturn]] void rejectItem(std::string_view item, bool outOfRange, const char* kind, const char* what) const;

    std::string_view text_;
    std::string fileName_;
    size_t pos_ = 0;
};

// Where a skipped line from `pos` ends, and where the next read begins after the
// item that starts at `pos` (its blanks and one comma or line end consumed): the
// places that skipLine and a successful readFloat reach.
size_t PastLine(std::string_view text, size_t pos);
size_t PastItem(std::string_view text, size_t itemStart);

// Where items start: a byte that can belong to an item (not a blank, tab, comma or
// line end) after one that cannot, or first in the text. Over a stretch that reads
// without a fault every number read takes exactly one of them, so the place of a
// read far ahead is found without converting the numbers before it. Counted per
// block on `threads` threads.
class ItemStarts {
public:
    ItemStarts(std::string_view text, size_t from, int threads);
    // Place of the n-th (n >= 1) item start at or after `pos` (>= from); the text's
    // size when fewer follow.
    size_t nth(size_t pos, uint64_t n) const;

private:
    static constexpr size_t kBlock = 4096;
    uint64_t countBetween(size_t begin, size_t end) const;

    std::string_view text_;
    size_t from_;
    std::vector<uint64_t> before_;   // per block: the item starts from `from` to the block's start
};

// Lenient number rule of fixed-column fields and side files: blanks and tabs
// anywhere are ignored, the leading part that forms a decimal number is taken,
// and an empty or non-numeric field gives 0.
double LenientNumber(std::string_view field);

// Fixed 1-based columns [first, last] of a line; shorter lines give what exists.
std::string_view Columns(std::string_view line, int first, int last);

}  // namespace tivarel
