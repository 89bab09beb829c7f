#include "registration/NonRigidRegistrationInteractiveUpdater.h"

namespace NonRigidRegistration {

NonRigidRegistrationInteractiveUpdater::NonRigidRegistrationInteractiveUpdater(QObject* parent) : QObject(parent) {}

void NonRigidRegistrationInteractiveUpdater::publishUpdate(const QVector<QVector3D>& srcVerticesDeformed,
                                                           const QVector<QVector3D>& srcNormalsDeformed,
                                                           const QVector<QVector3D>& nodesDeformed,
                                                           const QVector<QList<int>>& neighboursTable,
                                                           const QVector<QVector3D>& srcControlVertices,
                                                           const QVector<QVector3D>& dstControlVertices)
{
    emit updated(srcVerticesDeformed, srcNormalsDeformed, nodesDeformed, neighboursTable, srcControlVertices,
                 dstControlVertices);
}

void NonRigidRegistrationInteractiveUpdater::requestInterruption()
{
    interrupted.store(true);
}

}  // namespace NonRigidRegistration
