// The test helpers themselves: later tests rely on them to see log lines and printf output.
#include "support/LogCapture.h"
#include "support/OutputCapture.h"
#include "support/QtPrinters.h"
#include "support/TempFiles.h"

#include <gtest/gtest.h>
#include <QDebug>
#include <QFileInfo>
#include <cstdio>

using namespace TestSupport;

TEST(LogCapture, CollectsLinesByTypeInQtDebugFormat)
{
    LogCapture log;
    qDebug() << "Autoscale:" << 2;     // C strings print bare
    qCritical() << QString("broken");  // QStrings print quoted
    EXPECT_EQ(log.texts(), QStringList({"Autoscale: 2", "\"broken\""}));
    EXPECT_EQ(log.texts(QtCriticalMsg), QStringList({"\"broken\""}));
    EXPECT_TRUE(log.contains("Autoscale"));
}

TEST(OutputCapture, SeesPrintfOnBothStreams)
{
    EXPECT_EQ(captureStderr([] { std::fprintf(stderr, "solver: %d\n", 7); }), "solver: 7\n");
    EXPECT_EQ(captureStdout([] { std::printf("warning\n"); }), "warning\n");
}

TEST(TempDir, WritesAndReadsBack)
{
    TempDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.write("a.obj", "v 1 2 3\n");
    EXPECT_TRUE(QFileInfo(path).isFile());
    EXPECT_EQ(readFile(path), "v 1 2 3\n");
    EXPECT_TRUE(readFile(dir.filePath("missing")).isEmpty());
}
