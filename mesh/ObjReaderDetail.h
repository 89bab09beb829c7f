#pragma once
// Pieces shared by the text-stream reader and the byte reader of OBJ files.
#include <QString>

namespace ObjFileImport {
namespace Detail {

// "Failed to parse block ..." for a line that does not parse.
QString parseErrorText(const QString& keyword, const QString& rest, int line);

// Number conversions with exactly the results of QString::toDouble and
// QString::toInt (base 10) on the same ASCII text, fast for plain numbers.
bool toDouble(const char* begin, const char* end, double& value);
bool toInt(const char* begin, const char* end, int& value);

// True when the bytes hold neither NUL nor anything outside 7-bit ASCII, so
// that every byte is one character under any ASCII-compatible text codec.
bool isPlainAscii(const char* data, qint64 size);

}  // namespace Detail
}  // namespace ObjFileImport
