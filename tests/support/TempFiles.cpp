#include "support/TempFiles.h"

#include <QDir>
#include <QFile>

namespace TestSupport {

TempDir::TempDir() : dir_(QDir::tempPath() + "/plyform-test-XXXXXX") {}

QString TempDir::write(const QString& name, const QByteArray& contents) const
{
    const QString path = filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(contents);
    return path;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

}  // namespace TestSupport
