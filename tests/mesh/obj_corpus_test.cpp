// Replays the committed fuzz seed corpus of malformed OBJ files: the byte
// reader and the text-stream reader (and both writers) must agree on each.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "ObjFuzzEntry.h"

TEST(ObjCorpus, BothReadersAgreeOnEverySeed)
{
    const QDir dir(PLYFORM_OBJ_CORPUS_DIR);
    const QStringList names = dir.entryList(QDir::Files, QDir::Name);
    ASSERT_FALSE(names.isEmpty());
    for (const QString& name : names) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(name);
        const QByteArray bytes = file.readAll();
        const QString difference =
            ObjFuzz::checkOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
        EXPECT_TRUE(difference.isEmpty()) << qPrintable(name) << ": " << qPrintable(difference);
    }
}
