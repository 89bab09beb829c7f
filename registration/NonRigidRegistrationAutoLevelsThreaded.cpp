#include "registration/NonRigidRegistrationAutoLevelsThreaded.h"

#include <QDebug>
#include <QList>
#include <QMetaType>

namespace NonRigidRegistration {

NonRigidRegistrationAutoLevelsThreaded::NonRigidRegistrationAutoLevelsThreaded(
    const NonRigidRegistrationAutoLevelsParams* params, QObject* parent)
    : QThread(parent), params(params)
{
    // The result and the updater's previews cross to the receivers' thread in queued calls,
    // which can carry only registered argument types.
    qRegisterMetaType<QVector<QVector3D>>("QVector<QVector3D>");
    qRegisterMetaType<QVector<QList<int>>>("QVector<QList<int> >");
}

NonRigidRegistrationAutoLevelsThreaded::~NonRigidRegistrationAutoLevelsThreaded()
{
    wait();
}

void NonRigidRegistrationAutoLevelsThreaded::run()
{
    const NonRigidRegistrationAutoLevelsParams& p = *params;
    NonRigidRegistrationAutoLevels::nonRigidRegistrationAutoLevels(
        p.srcVertices, p.srcNormals, p.dstVertices, p.dstNormals, p.graph, p.dstKdTree, p.dstMask, p.srcFitMask,
        p.srcControlIndices, p.dstControlVertices, srcVerticesDeformed, srcNormalsDeformed, p.initialRigidness,
        p.rigidnessDivisor, p.maxIterations, p.updater);
    qDebug() << "Thread finished computting";
    emit optimizationComplete(srcVerticesDeformed, srcNormalsDeformed);
}

}  // namespace NonRigidRegistration
