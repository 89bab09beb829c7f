#include "editing/selectionsaver.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

#include <climits>
#include <cmath>

namespace SelectionSaver {

namespace {

// Truncation toward zero, refused for NaN, infinities and values beyond int.
bool toIndex(double value, int& index)
{
    const double truncated = std::trunc(value);
    if (!(truncated >= double(INT_MIN) && truncated <= double(INT_MAX)))
        return false;
    index = int(truncated);
    return true;
}

QByteArray textOf(const QList<int>& indices)
{
    QByteArray text;
    for (int i = 0; i < indices.size(); ++i) {
        if (i != 0)
            text += ' ';
        text += QByteArray::number(indices[i], 10);
    }
    return text;
}

bool writeAll(QFileDevice& file, const QByteArray& text)
{
    return file.write(text) == text.size() && file.flush();
}

// Writes the file itself, for a folder that takes no temporary file but holds
// a file the user may write. The old contents are read first and written back
// after a failed write; a file that cannot be read is left alone, since nothing
// could be put back. Only a regular file: a pipe would block the caller, a
// device swallow the text.
bool writeInPlace(const QString& path, const QByteArray& text)
{
    if (!QFileInfo(path).isFile())
        return false;
    QFile old(path);
    if (!old.open(QIODevice::ReadOnly))
        return false;
    const QByteArray oldText = old.readAll();
    old.close();

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    if (writeAll(file, text)) {
        file.close();
        if (file.error() == QFileDevice::NoError)
            return true;
    }
    file.close();
    if (file.open(QIODevice::WriteOnly | QIODevice::Text))
        writeAll(file, oldText);
    return false;
}

}  // namespace

bool saveIndices(const QString& path, const QList<int>& indices)
{
    const QByteArray text = textOf(indices);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        // Only a folder the user may not write falls back; any other failure (a full disk, say) is reported.
        if (QFileInfo(QFileInfo(path).absolutePath()).isWritable())
            return false;
        return writeInPlace(path, text);
    }
    if (!writeAll(file, text)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool loadIndices(const QString& path, QList<int>& indices)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    indices.clear();
    QTextStream stream(&file);
    while (!stream.atEnd()) {
        bool ok = false;
        indices.append(readIndices(stream.readLine(), &ok));
        if (!ok)
            return false;
    }
    return true;
}

QList<int> readIndices(const QString& line, bool* ok)
{
    QList<int> values;
    const QStringList pieces = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& piece : pieces) {
        bool parsed = false;
        const double value = piece.toDouble(&parsed);
        int index = 0;
        if (!parsed || !toIndex(value, index)) {
            if (ok)
                *ok = false;
            return QList<int>();
        }
        values.append(index);
    }
    if (ok)
        *ok = true;
    return values;
}

}  // namespace SelectionSaver
