#pragma once
// Shared by the registration benchmarks: the level loop at the registration
// controller's default parameters, run on its own thread to the end.
#include "registration/NonRigidRegistrationAutoLevels.h"
#include "registration/NonRigidRegistrationAutoLevelsThreaded.h"
#include "registration/NonRigidRegistrationInteractiveUpdater.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QVector3D>
#include <QVector>

namespace RegistrationBench {

// Rigidness from 3 down by rigidnessDivisor a level, 20 iterations, every
// template vertex fitted and no target vertex masked; no control pairs.
inline NonRigidRegistration::NonRigidRegistrationAutoLevelsParams defaultParams(
    const QVector<QVector3D>& srcVertices, const QVector<QVector3D>& srcNormals, const QVector<QVector3D>& dstVertices,
    const QVector<QVector3D>& dstNormals, const DynamicGraph::Graph* graph, const KDTree::NodeBase* dstKdTree,
    double rigidnessDivisor, NonRigidRegistration::NonRigidRegistrationInteractiveUpdater* updater)
{
    NonRigidRegistration::NonRigidRegistrationAutoLevelsParams params;
    params.srcVertices = srcVertices;
    params.srcNormals = srcNormals;
    params.dstVertices = dstVertices;
    params.dstNormals = dstNormals;
    params.graph = graph;
    params.dstKdTree = dstKdTree;
    params.dstMask = QVector<bool>(dstVertices.size(), false);
    params.srcFitMask = QVector<bool>(srcVertices.size(), true);
    params.initialRigidness = 3.0;
    params.rigidnessDivisor = rigidnessDivisor;
    params.maxIterations = 20;
    params.updater = updater;
    return params;
}

// Starts the thread and turns this thread's event loop until it has finished.
inline void runToEnd(NonRigidRegistration::NonRigidRegistrationAutoLevelsThreaded& thread)
{
    QEventLoop loop;
    QObject::connect(&thread, &QThread::finished, &loop, &QEventLoop::quit);
    thread.start(QThread::InheritPriority);
    loop.exec();
    QCoreApplication::processEvents();
}

}  // namespace RegistrationBench
