// Settings record: defaults, round trip through the user's INI store, the kept false of writeLogs, flushing.
#include "ShellFixture.h"
#include "Tarnwick/appsettings.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <memory>

namespace {

QSettings* openStore()
{
    return new QSettings(QSettings::IniFormat, QSettings::UserScope, "Qelt", "Plyform2.3");
}

void clearStore()
{
    std::unique_ptr<QSettings> store(openStore());
    store->clear();
    store->sync();
}

TEST(Settings, EmptyStoreGivesEmptyTextsAndTrueFlags)
{
    ASSERT_EQ(qgetenv("XDG_CONFIG_HOME"), TestSupport::configHome().toLocal8Bit());
    clearStore();
    std::unique_ptr<QSettings> store(openStore());
    AppSettings settings(store.get());
    settings.loadDemoOnStart = false;
    settings.writeLogs = false;
    settings.load();
    for (const QString& text : {settings.lastTemplateOpenPath, settings.lastTemplateTextureOpenPath,
                                settings.lastTargetTextureOpenPath, settings.lastTargetOpenPath, settings.lastSavePath,
                                settings.lastControlPointsPath, settings.lastFreePolygonsPath})
        EXPECT_TRUE(text.isEmpty());
    EXPECT_TRUE(settings.loadDemoOnStart);
    EXPECT_TRUE(settings.writeLogs);
    EXPECT_EQ(settings.settings, store.get());
}

TEST(Settings, RoundTripsThroughTheUserStoreAndReachesTheFileAtSave)
{
    clearStore();
    std::unique_ptr<QSettings> store(openStore());
    // The store lives under the configuration folder given to the process.
    EXPECT_TRUE(store->fileName().startsWith(TestSupport::configHome())) << qPrintable(store->fileName());
    EXPECT_TRUE(store->fileName().endsWith("Qelt/Plyform2.3.ini")) << qPrintable(store->fileName());

    AppSettings written(store.get());
    written.load();
    written.lastTemplateOpenPath = "/models/templates";
    written.lastTemplateTextureOpenPath = "/textures/template";
    written.lastTargetTextureOpenPath = "/textures/target";
    written.lastTargetOpenPath = "/models/scans";
    written.lastSavePath = "/out";
    written.lastControlPointsPath = "/points";
    written.lastFreePolygonsPath = "/polygons with spaces";
    written.loadDemoOnStart = false;
    written.save();

    // Written to disk at save, while the store is still open.
    QFile file(store->fileName());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("lastFreePolygonsPath=/polygons with spaces")) << text.constData();
    EXPECT_TRUE(text.contains("loadDemoOnStart=false")) << text.constData();

    std::unique_ptr<QSettings> again(openStore());
    AppSettings read(again.get());
    read.load();
    EXPECT_EQ(read.lastTemplateOpenPath, "/models/templates");
    EXPECT_EQ(read.lastTemplateTextureOpenPath, "/textures/template");
    EXPECT_EQ(read.lastTargetTextureOpenPath, "/textures/target");
    EXPECT_EQ(read.lastTargetOpenPath, "/models/scans");
    EXPECT_EQ(read.lastSavePath, "/out");
    EXPECT_EQ(read.lastControlPointsPath, "/points");
    EXPECT_EQ(read.lastFreePolygonsPath, "/polygons with spaces");
    EXPECT_FALSE(read.loadDemoOnStart);
    EXPECT_TRUE(read.writeLogs);
}

TEST(Settings, WriteLogsKeepsAStoredFalseAndWritesTrueOtherwise)
{
    struct Case {
        const char* name;
        QVariant stored;  // invalid: key absent
        bool expectedAfterSave;
    };
    const Case cases[] = {
        {"stored false", false, false},
        {"stored true", true, true},
        {"absent", QVariant(), true},
        {"text false", QString("false"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clearStore();
        {
            std::unique_ptr<QSettings> store(openStore());
            if (c.stored.isValid())
                store->setValue("writeLogs", c.stored);
            store->sync();
        }
        for (int run = 0; run < 2; ++run) {
            std::unique_ptr<QSettings> store(openStore());
            AppSettings settings(store.get());
            settings.load();
            settings.save();
        }
        std::unique_ptr<QSettings> store(openStore());
        ASSERT_TRUE(store->contains("writeLogs"));
        EXPECT_EQ(store->value("writeLogs").toBool(), c.expectedAfterSave);
        AppSettings settings(store.get());
        settings.load();
        EXPECT_EQ(settings.writeLogs, c.expectedAfterSave);
    }
}

TEST(Settings, ValuesOfTheWrongKindAreConvertedByTheStore)
{
    clearStore();
    {
        std::unique_ptr<QSettings> store(openStore());
        store->setValue("lastSavePath", 42);
        store->setValue("loadDemoOnStart", "0");
        store->sync();
    }
    std::unique_ptr<QSettings> store(openStore());
    AppSettings settings(store.get());
    settings.load();
    EXPECT_EQ(settings.lastSavePath, "42");
    EXPECT_FALSE(settings.loadDemoOnStart);
}

}  // namespace
