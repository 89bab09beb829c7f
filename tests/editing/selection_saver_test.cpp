// Selection index files: the exact bytes written, the tolerant reader, and saves that fail without harm.
#include "editing/selectionsaver.h"
#include "support/GLViewTestHelpers.h"
#include "support/QtPrinters.h"
#include "support/TempFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
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

namespace {

// Files past 16 KiB fail to grow from here on (in this process only).
::testing::AssertionResult limitFileSize()
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limits;
    if (getrlimit(RLIMIT_FSIZE, &limits) != 0)
        return ::testing::AssertionFailure() << "getrlimit";
    limits.rlim_cur = 16 * 1024;
    if (setrlimit(RLIMIT_FSIZE, &limits) != 0)
        return ::testing::AssertionFailure() << "setrlimit";
    return ::testing::AssertionSuccess();
}

// About 800 KB of text: far past the limit above.
QList<int> manyIndices()
{
    QList<int> many;
    for (int i = 0; i < 100000; ++i)
        many.append(1000000 + i);
    return many;
}

ino_t inodeOf(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

TestSupport::ChildRun runChild(const QString& test, const QString& variable, const QString& value)
{
    QProcessEnvironment environment;
    environment.insert(variable, value);
    return TestSupport::runTestsInChild(test, environment);
}

::testing::AssertionResult passedAlone(const TestSupport::ChildRun& run)
{
    if (!run.finished || run.exitStatus != QProcess::NormalExit || run.exitCode != 0 ||
        !run.standardOutput.contains("PASSED  ] 1 test"))
        return ::testing::AssertionFailure() << run.standardOutput.constData() << run.standardError.constData();
    return ::testing::AssertionSuccess();
}

}  // namespace

// Run only as a child: the file size limit would hurt the rest of the program.
TEST(SelectionSaverChild, DISABLED_SaveBeyondTheFileSizeLimit)
{
    const QString path = qEnvironmentVariable("PLYFORM_SAVE_TARGET");
    ASSERT_FALSE(path.isEmpty());
    ASSERT_TRUE(limitFileSize());
    EXPECT_FALSE(saveIndices(path, manyIndices()));
}

TEST(SelectionSaver, SaveInAWritableFolderReplacesTheFileWhole)
{
    // A reader that holds the old file keeps reading the old text: the new one
    // is a new file put in its place, never the old one rewritten.
    TestSupport::TempDir dir;
    const QString path = dir.write("points.txt", "3 1 4 1 5");
    QFile held(path);
    ASSERT_TRUE(held.open(QIODevice::ReadOnly));
    const ino_t before = inodeOf(path);
    ASSERT_TRUE(saveIndices(path, {2, 7}));
    EXPECT_EQ(TestSupport::readFile(path), QByteArray("2 7"));
    EXPECT_NE(inodeOf(path), before);
    EXPECT_EQ(held.readAll(), QByteArray("3 1 4 1 5"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"points.txt"});
}

// Run only as a child, which gives up root for good: root may create files in
// any folder, so only another user meets a read-only one.
TEST(SelectionSaverChild, DISABLED_SaveIntoAReadOnlyFolder)
{
    const QString folder = qEnvironmentVariable("PLYFORM_READ_ONLY_FOLDER");
    ASSERT_FALSE(folder.isEmpty());
    if (geteuid() == 0) {
        const passwd* nobody = getpwnam("nobody");
        ASSERT_NE(nobody, nullptr);
        ASSERT_EQ(setgroups(0, nullptr), 0);
        ASSERT_EQ(setgid(nobody->pw_gid), 0);
        ASSERT_EQ(setuid(nobody->pw_uid), 0);
    }
    ASSERT_NE(geteuid(), 0u);
    QFile probe(folder + "/probe.txt");
    ASSERT_FALSE(probe.open(QIODevice::WriteOnly)) << "the folder takes new files";

    const QDir dir(folder);
    const QString writable = dir.filePath("writable.txt");
    struct Case {
        const char* file;
        QList<int> indices;
        bool saved;
        QByteArray after;  // null: the file does not exist
    };
    const Case cases[] = {
        {"writable.txt", {0, 5}, true, "0 5"},
        {"writable.txt", {12, 7, 3051}, true, "12 7 3051"},  // longer than the old text
        {"writable.txt", {4}, true, "4"},                    // shorter: nothing of the old text left
        {"writable.txt", {}, true, ""},
        {"locked.txt", {1, 2}, false, "9 9"},
        {"absent.txt", {1, 2}, false, QByteArray()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const QString path = dir.filePath(c.file);
        const ino_t before = inodeOf(path);
        EXPECT_EQ(saveIndices(path, c.indices), c.saved);
        EXPECT_EQ(QFile::exists(path), !c.after.isNull());
        EXPECT_EQ(TestSupport::readFile(path), c.after);
        EXPECT_EQ(inodeOf(path), before);
        if (c.saved) {
            QList<int> loaded{99};
            EXPECT_TRUE(loadIndices(path, loaded));
            EXPECT_EQ(loaded, c.indices);
        }
    }

    // A pipe is no file to write in place: refused at once, not waited on.
    EXPECT_FALSE(saveIndices(dir.filePath("pipe"), {1, 2}));
    // Neither is a file whose old text could not be put back after a failed write.
    EXPECT_FALSE(saveIndices(dir.filePath("write-only.txt"), {1, 2}));

    // A save that runs out of room reports it and leaves the old text.
    ASSERT_TRUE(saveIndices(writable, {3, 1, 4}));
    ASSERT_TRUE(limitFileSize());
    EXPECT_FALSE(saveIndices(writable, manyIndices()));
    EXPECT_EQ(TestSupport::readFile(writable), QByteArray("3 1 4"));
    EXPECT_EQ(dir.entryList(QDir::Files), (QStringList{"locked.txt", "writable.txt", "write-only.txt"}));
}

TEST(SelectionSaver, SavesIntoAWritableFileOfAReadOnlyFolder)
{
    TestSupport::TempDir dir;
    const QString folder = dir.filePath("read-only");
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString writable = dir.write("read-only/writable.txt", "3 1 4 1 5");
    const QString locked = dir.write("read-only/locked.txt", "9 9");
    const QString writeOnly = dir.write("read-only/write-only.txt", "8 8");
    const QString pipe = dir.filePath("read-only/pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0666), 0);
    const auto mode = [](const QString& path, mode_t bits) {
        return ::chmod(QFile::encodeName(path).constData(), bits) == 0;
    };
    // The other user reaches the folder, may write one file, read another and only write a third.
    ASSERT_TRUE(mode(dir.path(), 0755) && mode(writable, 0666) && mode(locked, 0444) && mode(writeOnly, 0222) &&
                mode(pipe, 0666) && mode(folder, 0555));
    const TestSupport::ChildRun run =
        runChild("SelectionSaverChild.DISABLED_SaveIntoAReadOnlyFolder", "PLYFORM_READ_ONLY_FOLDER", folder);
    EXPECT_TRUE(passedAlone(run));
    EXPECT_EQ(TestSupport::readFile(writable), QByteArray("3 1 4"));
    EXPECT_EQ(TestSupport::readFile(locked), QByteArray("9 9"));
    EXPECT_EQ(TestSupport::readFile(writeOnly), QByteArray("8 8"));
    // Writable again, so that the folder can be cleared by any user.
    EXPECT_TRUE(mode(folder, 0755));
}

TEST(SelectionSaver, SaveThatRunsOutOfRoomKeepsTheOldFile)
{
    TestSupport::TempDir dir;
    const QByteArray old = "3 1 4 1 5";
    const QString path = dir.write("kept.txt", old);
    const TestSupport::ChildRun run =
        runChild("SelectionSaverChild.DISABLED_SaveBeyondTheFileSizeLimit", "PLYFORM_SAVE_TARGET", path);
    EXPECT_TRUE(passedAlone(run));
    EXPECT_EQ(TestSupport::readFile(path), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"kept.txt"});
}
