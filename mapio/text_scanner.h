#pragma once
// The three kinds of read that the text map formats use, over a byte buffer:
//  - number: skip blanks, tabs and line ends; take the characters up to the next
//    blank, comma or line end; then skip blanks and consume one following comma
//    or one following line end;
//  - skipped line: discard up to and including the next line end;
//  - text line: everything up to the next line end, which is consumed.
// A line ends with CR LF, a lone CR or a lone LF.
// Every fault (early end, non-numeric item, integer out of range) throws
// ProgramStop with a message that names the file and what was being read.
#include <cstdint>
#include <string>
#include <string_view>

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
    size_t remaining() const { return text_.size() - pos_; }
    const std::string& fileName() const { return fileName_; }
    // 1-based line number of the current position, for messages.
    int lineNumber() const;

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

// Lenient number rule of fixed-column fields and side files: blanks and tabs
// anywhere are ignored, the leading part that forms a decimal number is taken,
// and an empty or non-numeric field gives 0.
double LenientNumber(std::string_view field);

// Fixed 1-based columns [first, last] of a line; shorter lines give what exists.
std::string_view Columns(std::string_view line, int first, int last);

}  // namespace tivarel
