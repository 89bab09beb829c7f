#pragma once
// The program's one settings record: the folders the file dialogs start in,
// whether the sample scenes are offered at start, and the logging flag.
#include <QString>

class QSettings;

class AppSettings {
public:
    // Keeps the store (not owned); the texts start empty, the flags come from load().
    explicit AppSettings(QSettings* settings);

    // Reads every key, with empty texts and true flags for missing ones.
    void load();
    // Writes every key back and flushes the store to its file.
    void save();

    QString lastTemplateOpenPath;
    QString lastTemplateTextureOpenPath;
    QString lastTargetTextureOpenPath;
    QString lastTargetOpenPath;
    QString lastSavePath;
    QString lastControlPointsPath;
    QString lastFreePolygonsPath;
    bool loadDemoOnStart = true;
    bool writeLogs = true;
    QSettings* settings;
};
