#pragma once
// Plain-text files of indices (control points, free polygons): decimal
// numbers separated by single blanks on one line without a line end. The
// reader also takes several lines, extra blanks and any floating-point
// notation, truncated toward zero.
#include <QList>
#include <QString>

namespace SelectionSaver {

// Replaces the file only once the whole text is written; false when the file
// cannot be opened or a write fails, and the old file then stays as it was.
// In a folder that takes no temporary file, the file itself is written when
// it may be, and its old text is put back should the write fail.
bool saveIndices(const QString& path, const QList<int>& indices);
// False when the file cannot be opened (indices untouched) or a line does not
// parse (indices hold the values of the lines before it).
bool loadIndices(const QString& path, QList<int>& indices);
// The numbers of one line split at blanks; a piece that is not a finite
// number within the int range fails the line with an empty result.
QList<int> readIndices(const QString& line, bool* ok);

}  // namespace SelectionSaver
