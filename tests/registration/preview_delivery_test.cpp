// The run's own objects make its signals deliverable across threads: this program registers no
// metatypes itself, as the application does not, so a preview queued from a worker thread reaches
// a receiver in the GUI thread only if the run's classes registered the argument types.
#include "registration/NonRigidRegistrationAutoLevelsThreaded.h"
#include "registration/NonRigidRegistrationInteractiveUpdater.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <memory>

using namespace NonRigidRegistration;

namespace {

struct Received {
    int previews = 0;
    QVector<QList<int>> neighboursTable;
    QVector<QVector3D> dstControlVertices;
};

}  // namespace

TEST(RegistrationPreviewDelivery, PreviewFromTheWorkerArrivesQueuedInTheGuiThread)
{
    // As the registration controller does: updater first, then the run's thread object.
    NonRigidRegistrationInteractiveUpdater updater;
    NonRigidRegistrationAutoLevelsParams params;
    params.updater = &updater;
    NonRigidRegistrationAutoLevelsThreaded run(&params);

    Received received;
    QObject receiver;  // lives in this (the GUI) thread: the automatic connection queues
    QObject::connect(&updater, &NonRigidRegistrationInteractiveUpdater::updated, &receiver,
                     [&](QVector<QVector3D>, QVector<QVector3D>, QVector<QVector3D>, QVector<QList<int>> table,
                         QVector<QVector3D>, QVector<QVector3D> dstControl) {
                         EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
                         ++received.previews;
                         received.neighboursTable = table;
                         received.dstControlVertices = dstControl;
                     });

    const QVector<QList<int>> table{{1, 2}, {0}, {0}};
    const QVector<QVector3D> targets{QVector3D(1, 2, 3)};
    std::unique_ptr<QThread> worker(QThread::create([&] {
        updater.publishUpdate(QVector<QVector3D>(3), QVector<QVector3D>(3), QVector<QVector3D>(3), table,
                              QVector<QVector3D>(1), targets);
    }));
    QEventLoop loop;
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    worker->start();
    loop.exec();
    ASSERT_TRUE(worker->wait(10000));
    QCoreApplication::processEvents();

    EXPECT_EQ(received.previews, 1);
    EXPECT_EQ(received.neighboursTable, table);
    EXPECT_EQ(received.dstControlVertices, targets);
}
