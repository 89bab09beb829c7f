// Selection index files: the exact bytes written, the tolerant reader, and saves that fail without harm.
#include "editing/selectionsaver.h"
#include "support/GLViewTestHelpers.h"
#include "support/QtPrinters.h"
#include "support/TempFiles.h"

#include <QDir>
#include <QProcessEnvironment>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <csignal>

using SelectionSaver::loadIndices;
using SelectionSaver::readIndices;
using SelectionSaver::saveIndices;

TEST(SelectionSaver, WritesSingleBlanksWithoutLineEnd)
{
    TestSupport::TempDir dir;
    struct Case {
        QList<int> indices;
        QByteArray bytes;
    };
    const Case cases[] = {
        {{0, 5}, "0 5"},
        {{12, 7, 3051}, "12 7 3051"},
        {{}, ""},
        {{-3, 0, 2147483647, -2147483647 - 1}, "-3 0 2147483647 -2147483648"},
    };
    for (const Case& c : cases) {
        const QString path = dir.filePath("indices.txt");
        ASSERT_TRUE(saveIndices(path, c.indices));
        EXPECT_EQ(TestSupport::readFile(path), c.bytes);
        QList<int> loaded{99};
        EXPECT_TRUE(loadIndices(path, loaded));
        EXPECT_EQ(loaded, c.indices);
    }
    // Saving again replaces a longer file completely.
    const QString path = dir.write("long.txt", "1 2 3 4 5 6 7 8 9");
    ASSERT_TRUE(saveIndices(path, {4}));
    EXPECT_EQ(TestSupport::readFile(path), QByteArray("4"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), (QStringList{"indices.txt", "long.txt"}));
}

TEST(SelectionSaver, ReadsLinesOfBlankSeparatedNumbers)
{
    struct Case {
        QString line;
        QList<int> values;
        bool ok;
    };
    const Case cases[] = {
        {" 1 2  3 ", {1, 2, 3}, true},
        {" ", {}, true},
        {"", {}, true},
        {" 1 someText 3", {}, false},
        {"2.9 -0.5 1e3 -7.9 +4", {2, 0, 1000, -7, 4}, true},
        {"1\t2", {}, false},
        {"2147483647.9 -2147483648.5", {2147483647, -2147483647 - 1}, true},
        {"1 2147483648", {}, false},
        {"-2147483649", {}, false},
        {"1e300", {}, false},
        {"nan", {}, false},
        {"inf", {}, false},
        {"-inf", {}, false},
        {"1,5", {}, false},
    };
    for (const Case& c : cases) {
        bool ok = !c.ok;
        EXPECT_EQ(readIndices(c.line, &ok), c.values) << c.line.toStdString();
        EXPECT_EQ(ok, c.ok) << c.line.toStdString();
        EXPECT_EQ(readIndices(c.line, nullptr), c.values) << c.line.toStdString();
    }
}

TEST(SelectionSaver, LoadsLinesInOrderAndStopsAtTheFirstBadOne)
{
    TestSupport::TempDir dir;
    struct Case {
        QByteArray bytes;
        bool ok;
        QList<int> values;
    };
    const Case cases[] = {
        {"1 2\n3", true, {1, 2, 3}},      {"1 2\r\n\r\n  \n3\n", true, {1, 2, 3}},  {"1 2\nx\n4", false, {1, 2}},
        {"1 2\n3 nan\n4", false, {1, 2}}, {"1 2\n3 99999999999\n4", false, {1, 2}}, {"", true, {}},
    };
    for (const Case& c : cases) {
        QList<int> loaded{42};
        EXPECT_EQ(loadIndices(dir.write("in.txt", c.bytes), loaded), c.ok) << c.bytes.constData();
        EXPECT_EQ(loaded, c.values) << c.bytes.constData();
    }
    QList<int> kept{7, 8};
    EXPECT_FALSE(loadIndices(dir.filePath("missing.txt"), kept));
    EXPECT_EQ(kept, (QList<int>{7, 8}));
}

TEST(SelectionSaver, UnwritablePlacesFail)
{
    TestSupport::TempDir dir;
    EXPECT_FALSE(saveIndices(dir.filePath("missing/folder/out.txt"), {1, 2}));
    EXPECT_FALSE(saveIndices(dir.path(), {1, 2}));
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

// Run only as a child: the file size limit would hurt the rest of the program.
TEST(SelectionSaverChild, DISABLED_SaveBeyondTheFileSizeLimit)
{
    const QString path = qEnvironmentVariable("PLYFORM_SAVE_TARGET");
    ASSERT_FALSE(path.isEmpty());
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limits;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limits), 0);
    limits.rlim_cur = 16 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limits), 0);
    QList<int> many;
    for (int i = 0; i < 100000; ++i)
        many.append(1000000 + i);
    EXPECT_FALSE(saveIndices(path, many));
}

TEST(SelectionSaver, SaveThatRunsOutOfRoomKeepsTheOldFile)
{
    TestSupport::TempDir dir;
    const QByteArray old = "3 1 4 1 5";
    const QString path = dir.write("kept.txt", old);
    QProcessEnvironment environment;
    environment.insert("PLYFORM_SAVE_TARGET", path);
    const TestSupport::ChildRun run =
        TestSupport::runTestsInChild("SelectionSaverChild.DISABLED_SaveBeyondTheFileSizeLimit", environment);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitStatus, QProcess::NormalExit);
    EXPECT_EQ(run.exitCode, 0) << run.standardOutput.constData();
    EXPECT_TRUE(run.standardOutput.contains("PASSED  ] 1 test")) << run.standardOutput.constData();
    EXPECT_EQ(TestSupport::readFile(path), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"kept.txt"});
}
