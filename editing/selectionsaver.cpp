#include "editing/selectionsaver.h"

#include <QFile>
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

}  // namespace

bool saveIndices(const QString& path, const QList<int>& indices)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QTextStream stream(&file);
    for (int i = 0; i < indices.size(); ++i) {
        if (i != 0)
            stream << ' ';
        stream << QString::number(indices[i], 10);
    }
    stream.flush();
    if (stream.status() != QTextStream::Ok) {
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
