#include "mapio/text_scanner.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numeric>
#include <system_error>
#include <utility>

#include "mapio/input_error.h"
#include "mapio/threads.h"

namespace tivarel {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEndChar(char c) { return c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool EndsItem(char c) { return IsBlank(c) || c == ',' || IsLineEndChar(c); }

enum class Conversion { ok, notANumber, outOfRange };

// Value of an exponent part such as "E-12", clamped: only its size class matters.
long ExponentValue(std::string_view e) {
    size_t i = 1;  // past the letter
    const bool negative = i < e.size() && e[i] == '-';
    if (i < e.size() && (e[i] == '-' || e[i] == '+')) ++i;
    long value = 0;
    for (; i < e.size() && value < 1000000; ++i) value = value * 10 + (e[i] - '0');
    return negative ? -value : value;
}

// Decimal exponent m of the leading digit of a valid nonzero number item, so that
// its magnitude lies in [10^m, 10^(m+1)). Tells underflow from overflow.
long LeadingDigitExponent(std::string_view s) {
    long intDigits = 0, fracZeros = 0;
    bool point = false, nonZero = false;
    size_t i = 0;
    for (; i < s.size() && s[i] != 'e' && s[i] != 'E'; ++i) {
        const char c = s[i];
        if (c == '.') point = true;
        if (!IsDigit(c)) continue;
        nonZero = nonZero || c != '0';
        if (!point && nonZero) ++intDigits;
        if (point && !nonZero) ++fracZeros;
    }
    const long m = intDigits > 0 ? intDigits - 1 : -(fracZeros + 1);
    return i < s.size() ? m + ExponentValue(s.substr(i)) : m;
}

// Converts a whole item of the form [sign] digits [. digits] [E|e [sign] digits]
// to the correctly rounded T. Values too small for T give a signed zero.
template <class T>
Conversion ConvertDecimal(std::string_view item, T& value) {
    const bool plus = !item.empty() && item[0] == '+';
    if (plus) item.remove_prefix(1);  // from_chars takes no '+'
    const bool minus = !plus && !item.empty() && item[0] == '-';
    const size_t body = minus ? 1 : 0;
    // A digit or point first keeps out what from_chars would also take: inf, nan.
    if (body >= item.size() || !(IsDigit(item[body]) || item[body] == '.')) return Conversion::notANumber;
    const char* end = item.data() + item.size();
    const auto [ptr, ec] = std::from_chars(item.data(), end, value, std::chars_format::general);
    if (ec == std::errc::invalid_argument || ptr != end) return Conversion::notANumber;
    if (ec == std::errc::result_out_of_range) {
        if (LeadingDigitExponent(item) >= 0) return Conversion::outOfRange;
        value = minus ? -T(0) : T(0);
    }
    return Conversion::ok;
}

// Past the blanks, tabs and line ends at p.
const char* SkipSpace(const char* p, const char* end) {
    while (p < end && (IsBlank(*p) || IsLineEndChar(*p))) ++p;
    return p;
}

// Past one line end (CR LF, CR or LF) at p, if there is one.
const char* AfterLineEnd(const char* p, const char* end) {
    if (p < end && *p == '\n') return p + 1;
    if (p == end || *p != '\r') return p;
    ++p;
    return p < end && *p == '\n' ? p + 1 : p;   // CR LF is one line end
}

// Past what follows an item: blanks, then one comma or one line end.
const char* AfterItem(const char* p, const char* end) {
    while (p < end && IsBlank(*p)) ++p;
    return p < end && *p == ',' ? p + 1 : AfterLineEnd(p, end);
}

// Powers of ten exact in double precision: 10^22 = 2^22 * 5^22 and 5^22 < 2^53.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kMaxExactPower = 22;
constexpr uint64_t kExactMantissaLimit = uint64_t{1} << 53;

// The correctly rounded float of a decimal whose digits form an integer below 2^53
// with a power of ten within +-22 (the forms FOU files hold): mantissa and power
// are exact doubles, so one multiplication or division gives the correctly rounded
// double. Rounding that to float gives the correctly rounded float unless the double
// lies exactly halfway between two floats; then there is no answer here.
bool ExactFloat(uint64_t mantissa, int power, float& value) {
    const double m = static_cast<double>(mantissa);
    const double exact = power >= 0 ? m * kExactPowersOfTen[power] : m / kExactPowersOfTen[-power];
    // Halfway: of the 29 bits a double has beyond a float, only the first is set.
    // (The values lie between 1e-22 and 1e38, where floats are normal.)
    if ((std::bit_cast<uint64_t>(exact) & 0x1FFFFFFFu) == 0x10000000u) return false;
    value = static_cast<float>(exact);
    return true;
}

// Reads [sign] digits [. digits] [E|e [sign] digits] from p up to the next
// separator when ExactFloat can convert it: the value is then the float that
// std::from_chars gives. Returns the end of the item, or nullptr for any other
// item (which takes the general path).
const char* ReadShortDecimal(const char* p, const char* end, float& value) {
    const bool negative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+')) ++p;
    uint64_t mantissa = 0;
    int digits = 0, fractionDigits = 0;
    for (; p < end && IsDigit(*p); ++p, ++digits) mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
    if (p < end && *p == '.')
        for (++p; p < end && IsDigit(*p); ++p, ++digits, ++fractionDigits)
            mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
    // Up to 19 digits cannot wrap around 64 bits.
    if (digits == 0 || digits > 19 || mantissa >= kExactMantissaLimit) return nullptr;
    int exponent = 0;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        const bool negativeExponent = p < end && *p == '-';
        if (p < end && (*p == '-' || *p == '+')) ++p;
        if (p == end || !IsDigit(*p)) return nullptr;
        for (; p < end && IsDigit(*p) && exponent <= 2 * kMaxExactPower + 19; ++p) exponent = exponent * 10 + (*p - '0');
        if (negativeExponent) exponent = -exponent;
    }
    if (p < end && !EndsItem(*p)) return nullptr;
    const int power = exponent - fractionDigits;
    if (power < -kMaxExactPower || power > kMaxExactPower || !ExactFloat(mantissa, power, value)) return nullptr;
    if (negative) value = -value;
    return p;
}

// The item as it may appear in a message: short, printable.
std::string Printable(std::string_view item) {
    constexpr size_t kShown = 40;
    std::string shown;
    for (size_t i = 0; i < item.size() && i < kShown; ++i) {
        const auto c = static_cast<unsigned char>(item[i]);
        shown += (c < 0x20 || c >= 0x7f) ? '?' : static_cast<char>(c);
    }
    if (item.size() > kShown) shown += "...";
    return shown;
}

// Longest leading part of compact (blank-free) text that forms a decimal number.
size_t LeadingNumberLength(std::string_view s) {
    size_t i = 0, digits = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    for (; i < s.size() && IsDigit(s[i]); ++i) ++digits;
    if (i < s.size() && s[i] == '.')
        for (++i; i < s.size() && IsDigit(s[i]); ++i) ++digits;
    if (digits == 0) return 0;
    if (i >= s.size() || (s[i] != 'e' && s[i] != 'E')) return i;
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    if (j >= s.size() || !IsDigit(s[j])) return i;  // a bare "E" does not continue the number
    while (j < s.size() && IsDigit(s[j])) ++j;
    return j;
}

}  // namespace

TextScanner::TextScanner(std::string_view text, std::string fileName)
    : text_(text), fileName_(std::move(fileName)) {}

float TextScanner::readFloat(const char* what) {
    const char* const begin = text_.data();
    const char* const end = begin + text_.size();
    float value = 0.0f;
    if (const char* itemEnd = ReadShortDecimal(SkipSpace(begin + pos_, end), end, value)) {
        pos_ = static_cast<size_t>(AfterItem(itemEnd, end) - begin);
        return value;
    }
    const std::string_view item = readItem(what);
    const Conversion result = ConvertDecimal(item, value);
    if (result != Conversion::ok) rejectItem(item, result == Conversion::outOfRange, "a number", what);
    return value;
}

int32_t TextScanner::readInt(const char* what) {
    const std::string_view item = readItem(what);
    double value = 0.0;
    Conversion result = ConvertDecimal(item, value);
    if (result == Conversion::ok && value != std::floor(value)) result = Conversion::notANumber;
    if (result == Conversion::ok && (value < std::numeric_limits<int32_t>::min() ||
                                     value > std::numeric_limits<int32_t>::max()))
        result = Conversion::outOfRange;
    if (result != Conversion::ok) rejectItem(item, result == Conversion::outOfRange, "a whole number", what);
    return static_cast<int32_t>(value);
}

void TextScanner::skipLine(const char* what) {
    if (atEnd()) failEarlyEnd(what);
    while (pos_ < text_.size() && !IsLineEndChar(text_[pos_])) ++pos_;
    consumeLineEnd();
}

std::string TextScanner::readTextLine(const char* what) {
    if (atEnd()) failEarlyEnd(what);
    const size_t start = pos_;
    while (pos_ < text_.size() && !IsLineEndChar(text_[pos_])) ++pos_;
    std::string line(text_.substr(start, pos_ - start));
    consumeLineEnd();
    return line;
}

void TextScanner::fail(const std::string& problem) const {
    Fail("The map file " + fileName_ + " " + problem + ".");
}

std::string_view TextScanner::readItem(const char* what) {
    skipSpace();
    if (atEnd()) failEarlyEnd(what);
    const size_t start = pos_;
    while (pos_ < text_.size() && !EndsItem(text_[pos_])) ++pos_;
    const std::string_view item = text_.substr(start, pos_ - start);
    finishItem();
    return item;
}

void TextScanner::skipSpace() {
    pos_ = static_cast<size_t>(SkipSpace(text_.data() + pos_, text_.data() + text_.size()) - text_.data());
}

void TextScanner::finishItem() {
    pos_ = static_cast<size_t>(AfterItem(text_.data() + pos_, text_.data() + text_.size()) - text_.data());
}

void TextScanner::consumeLineEnd() {
    pos_ = static_cast<size_t>(AfterLineEnd(text_.data() + pos_, text_.data() + text_.size()) - text_.data());
}

int TextScanner::lineAt(size_t pos) const {
    int line = 1;
    for (size_t i = 0; i < pos && i < text_.size(); ++i) {
        if (text_[i] == '\r' || (text_[i] == '\n' && (i == 0 || text_[i - 1] != '\r'))) ++line;
    }
    return line;
}

void TextScanner::failEarlyEnd(const char* what) const {
    fail(std::string("ends early (reading ") + what + ")");
}

void TextScanner::rejectItem(std::string_view item, bool outOfRange, const char* kind,
                             const char* what) const {
    const size_t offset = static_cast<size_t>(item.data() - text_.data());
    const std::string where = std::string(" (") + what + ", line " + std::to_string(lineAt(offset)) + ")";
    if (item.empty()) fail("holds an empty item where " + std::string(kind) + " belongs" + where);
    if (outOfRange)
        fail("holds \"" + Printable(item) + "\", out of range for " + kind + where);
    fail("holds \"" + Printable(item) + "\" where " + kind + " belongs" + where);
}

size_t PastLine(std::string_view text, size_t pos) {
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const char* p = begin + std::min(pos, text.size());
    while (p < end && !IsLineEndChar(*p)) ++p;
    return static_cast<size_t>(AfterLineEnd(p, end) - begin);
}

size_t PastItem(std::string_view text, size_t itemStart) {
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const char* p = begin + std::min(itemStart, text.size());
    while (p < end && !EndsItem(*p)) ++p;
    return static_cast<size_t>(AfterItem(p, end) - begin);
}

ItemStarts::ItemStarts(std::string_view text, size_t from, int threads) : text_(text), from_(from) {
    const size_t blocks = (text.size() - from + kBlock - 1) / kBlock;
    before_.assign(blocks + 1, 0);
    const int shares = static_cast<int>(std::min<size_t>(static_cast<size_t>(std::max(threads, 1)), blocks + 1));
    RunShares(shares, [&](int share) {
        const size_t first = blocks * static_cast<size_t>(share) / static_cast<size_t>(shares);
        const size_t last = blocks * static_cast<size_t>(share + 1) / static_cast<size_t>(shares);
        for (size_t b = first; b < last; ++b)
            before_[b + 1] = countBetween(from + b * kBlock, std::min(from + (b + 1) * kBlock, text.size()));
    });
    std::partial_sum(before_.begin(), before_.end(), before_.begin());
}

namespace {
// Sixteen bytes as one value (GCC and Clang vector extension): comparisons give -1
// in each lane where they hold and 0 elsewhere.
using Lanes = signed char __attribute__((vector_size(16)));

Lanes SeparatorLanes(Lanes bytes) {
    return (bytes == ' ') | (bytes == '\t') | (bytes == ',') | (bytes == '\r') | (bytes == '\n');
}
}  // namespace

uint64_t ItemStarts::countBetween(size_t begin, size_t end) const {
    const char* const t = text_.data();
    uint64_t count = 0;
    size_t i = begin;
    // The text's first byte has none before it: it starts an item when it can belong to one.
    if (i == 0 && i < end) count += !EndsItem(t[i++]);
    // Sixteen bytes at a time, each beside the byte before it; a lane counts to 127 at most.
    while (i + 16 <= end) {
        Lanes starts{};
        for (int group = 0; group < 127 && i + 16 <= end; ++group, i += 16) {
            Lanes here, before;
            std::memcpy(&here, t + i, 16);
            std::memcpy(&before, t + i - 1, 16);
            starts -= ~SeparatorLanes(here) & SeparatorLanes(before);
        }
        for (int lane = 0; lane < 16; ++lane) count += static_cast<uint64_t>(starts[lane]);
    }
    for (; i < end; ++i) count += !EndsItem(t[i]) && EndsItem(t[i - 1]);
    return count;
}

size_t ItemStarts::nth(size_t pos, uint64_t n) const {
    const size_t block = (pos - from_) / kBlock;
    const uint64_t target = before_[block] + countBetween(from_ + block * kBlock, pos) + n;
    // The first block whose end has `target` starts before it holds the one sought.
    const auto reached = std::lower_bound(before_.begin() + 1, before_.end(), target);
    if (reached == before_.end()) return text_.size();
    const size_t holder = static_cast<size_t>(reached - before_.begin()) - 1;
    uint64_t seen = before_[holder];
    for (size_t i = from_ + holder * kBlock;; ++i) {
        const bool start = !EndsItem(text_[i]) && (i == 0 || EndsItem(text_[i - 1]));
        if (start && ++seen == target) return i;
    }
}

double LenientNumber(std::string_view field) {
    std::string compact;
    compact.reserve(field.size());
    for (char c : field)
        if (!IsBlank(c)) compact += c;
    const std::string_view number = std::string_view(compact).substr(0, LeadingNumberLength(compact));
    if (number.empty()) return 0.0;
    double value = 0.0;
    if (ConvertDecimal(number, value) == Conversion::outOfRange)
        return number[0] == '-' ? -HUGE_VAL : HUGE_VAL;
    return value;
}

std::string_view Columns(std::string_view line, int first, int last) {
    if (first < 1) first = 1;
    if (last < first) return {};
    const auto begin = static_cast<size_t>(first - 1);
    if (begin >= line.size()) return {};
    return line.substr(begin, static_cast<size_t>(last - first + 1));
}

}  // namespace tivarel
