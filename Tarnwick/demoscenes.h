#pragma once
// The sample scenes beside the executable: their files and the landmark
// vertices paired as control points (template vertex k with scan vertex k).
// The indices belong to the files the build makes (DemoModels/Landmarks.txt).
#include <QList>
#include <QString>
#include <QVector>

namespace DemoScenes {

struct Scene {
    QString name;
    QString templateFile;  // appended to the folder of the executable
    QString scanFile;
    QList<int> templateControlPoints;
    QList<int> targetControlPoints;
};

inline QVector<Scene> scenes()
{
    return {{"hand",
             "/DemoModels/HandTemplate.obj",
             "/DemoModels/HandScan.obj",
             // thumb, index, middle, ring and little fingertips
             {1378, 1716, 2054, 2392, 2730},
             {20212, 25554, 30896, 36238, 41580}},
            {"torso", "/DemoModels/TorsoTemplate.obj", "/DemoModels/TorsoScan.obj", {}, {}},
            {"head",
             "/DemoModels/HeadTemplateUV.obj",
             "/DemoModels/HeadScan.obj",
             // nose, chin, right ear, left ear
             {1632, 736, 1744, 1776},
             {60060, 25740, 64328, 64548}}};
}

}  // namespace DemoScenes
