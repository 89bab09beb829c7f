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

inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A short plain decimal at p ([+-]digits[.digits], 1 to 15 digits): its end,
// or null when the text there does not start with one. Such a decimal is
// exact as an integer over a power of ten, and one division rounds correctly.
inline const char* scanShortDecimal(const char* p, const char* end, double& value)
{
    static const double powersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
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
    if (digits == 0 || digits > 15)
        return nullptr;
    const double magnitude = double(mantissa) / powersOfTen[fraction];
    value = negative ? -magnitude : magnitude;
    return p;
}

// [+-]digits with 1 to 9 digits at p: its end, or null.
inline const char* scanSmallInt(const char* p, const char* end, int& value)
{
    const bool negative = p < end && *p == '-';
    if (p < end && (*p == '+' || *p == '-'))
        ++p;
    const char* digitsBegin = p;
    int magnitude = 0;
    while (p < end && isDigit(*p) && p - digitsBegin < 9)
        magnitude = magnitude * 10 + (*p++ - '0');
    if (p == digitsBegin || (p < end && isDigit(*p)))
        return nullptr;
    value = negative ? -magnitude : magnitude;
    return p;
}

// Number conversions with exactly the results of QString::toDouble and
// QString::toInt (base 10) on the same ASCII text.
inline bool toDouble(const char* begin, const char* end, double& value)
{
    if (scanShortDecimal(begin, end, value) == end)
        return true;
    return toDoubleGeneral(begin, end, value);
}

inline bool toInt(const char* begin, const char* end, int& value)
{
    if (scanSmallInt(begin, end, value) == end)
        return true;
    return toIntGeneral(begin, end, value);
}

// True when the bytes hold neither NUL nor anything outside 7-bit ASCII, so
// that every byte is one character under any ASCII-compatible text codec.
bool isPlainAscii(const char* data, qint64 size);

}  // namespace Detail
}  // namespace ObjFileImport
