#pragma once
// A temporary folder for files a test writes and reads back.
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace TestSupport {

class TempDir {
public:
    TempDir();
    bool isValid() const { return dir_.isValid(); }
    QString path() const { return dir_.path(); }
    QString filePath(const QString& name) const { return dir_.filePath(name); }

    // Writes the bytes to the named file in the folder and returns its path.
    QString write(const QString& name, const QByteArray& contents) const;

private:
    QTemporaryDir dir_;
};

// Whole contents of a file, or an empty array when it cannot be read.
QByteArray readFile(const QString& path);

}  // namespace TestSupport
