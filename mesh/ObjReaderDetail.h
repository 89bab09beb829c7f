#pragma once
// Pieces shared by the text-stream reader and the byte reader of OBJ files.
#include <cstdint>

#include <QString>

namespace ObjFileImport {
namespace Detail {

// "Failed to parse block ..." for a line that does not parse.
QString parseErrorText(const QString& keyword, const QString& rest, int line);

// The general conversions behind toDouble and toInt.
bool toDoubleGeneral(const char* begin, const char* end, double& value);
bool toIntGeneral(const char* begin, const char* end, int& value);

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Number conversions with exactly the results of QString::toDouble and
// QString::toInt (base 10) on the same ASCII text.
inline bool toDouble(const char* begin, const char* end, double& value)
{
    // Short plain decimals ([+-]digits[.digits], at most 15 digits) are exact
    // as an integer over a power of ten, and one division rounds correctly.
    static const double powersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char* p = begin;
    const bool negative = p < end && *p == '-';
    if (p < end && (*p == '+' || *p == '-'))
        ++p;
    const char* digitsBegin = p;
    std::uint64_t mantissa = 0;
    while (p < end && isDigit(*p))
        mantissa = mantissa * 10 + unsigned(*p++ - '0');
    int digits = int(p - digitsBegin);
    int fraction = 0;
    if (p < end && *p == '.') {
        const char* fractionBegin = ++p;
        while (p < end && isDigit(*p))
            mantissa = mantissa * 10 + unsigned(*p++ - '0');
        fraction = int(p - fractionBegin);
        digits += fraction;
    }
    if (p != end || digits == 0 || digits > 15)
        return toDoubleGeneral(begin, end, value);
    const double magnitude = double(mantissa) / powersOfTen[fraction];
    value = negative ? -magnitude : magnitude;
    return true;
}

inline bool toInt(const char* begin, const char* end, int& value)
{
    const char* p = begin;
    const bool negative = p < end && *p == '-';
    if (p < end && (*p == '+' || *p == '-'))
        ++p;
    if (p < end && end - p <= 9) {
        int magnitude = 0;
        while (p < end && isDigit(*p))
            magnitude = magnitude * 10 + (*p++ - '0');
        if (p == end) {
            value = negative ? -magnitude : magnitude;
            return true;
        }
    }
    return toIntGeneral(begin, end, value);
}

// True when the bytes hold neither NUL nor anything outside 7-bit ASCII, so
// that every byte is one character under any ASCII-compatible text codec.
bool isPlainAscii(const char* data, qint64 size);

}  // namespace Detail
}  // namespace ObjFileImport
