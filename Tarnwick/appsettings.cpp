#include "Tarnwick/appsettings.h"

#include <QSettings>

AppSettings::AppSettings(QSettings* settings) : settings(settings) {}

void AppSettings::load()
{
    lastTemplateOpenPath = settings->value("lastTemplateOpenPath", QString()).toString();
    lastTargetOpenPath = settings->value("lastTargetOpenPath", QString()).toString();
    lastTemplateTextureOpenPath = settings->value("lastTemplateTextureOpenPath", QString()).toString();
    lastTargetTextureOpenPath = settings->value("lastTargetTextureOpenPath", QString()).toString();
    lastSavePath = settings->value("lastSavePath", QString()).toString();
    lastControlPointsPath = settings->value("lastControlPointsPath", QString()).toString();
    lastFreePolygonsPath = settings->value("lastFreePolygonsPath", QString()).toString();
    loadDemoOnStart = settings->value("loadDemoOnStart", true).toBool();
    writeLogs = settings->value("writeLogs", true).toBool();
}

void AppSettings::save()
{
    settings->setValue("lastTemplateOpenPath", lastTemplateOpenPath);
    settings->setValue("lastTargetOpenPath", lastTargetOpenPath);
    settings->setValue("lastTemplateTextureOpenPath", lastTemplateTextureOpenPath);
    settings->setValue("lastTargetTextureOpenPath", lastTargetTextureOpenPath);
    settings->setValue("lastSavePath", lastSavePath);
    settings->setValue("lastControlPointsPath", lastControlPointsPath);
    settings->setValue("lastFreePolygonsPath", lastFreePolygonsPath);
    settings->setValue("loadDemoOnStart", loadDemoOnStart);
    // A stored false is left alone, so it survives every run.
    if (writeLogs)
        settings->setValue("writeLogs", true);
    // The store is kept until the process ends; write it out now so nothing is lost at exit.
    settings->sync();
}
