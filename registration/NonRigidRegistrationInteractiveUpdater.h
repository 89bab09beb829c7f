#pragma once
// The channel between a registration run on its worker thread and the GUI thread: previews
// and level progress go out through the signals (queued to receivers in the GUI thread, with
// copies of the vectors); a request to stop comes in through requestInterruption, which
// raises a flag that the worker polls.
#include <QList>
#include <QObject>
#include <QVector3D>
#include <QVector>

#include <atomic>

namespace NonRigidRegistration {

class NonRigidRegistrationInteractiveUpdater : public QObject {
    Q_OBJECT
public:
    explicit NonRigidRegistrationInteractiveUpdater(QObject* parent = nullptr);

    // Emits updated with these vectors; called by the worker at every Jacobian evaluation.
    void publishUpdate(const QVector<QVector3D>& srcVerticesDeformed, const QVector<QVector3D>& srcNormalsDeformed,
                       const QVector<QVector3D>& nodesDeformed, const QVector<QList<int>>& neighboursTable,
                       const QVector<QVector3D>& srcControlVertices, const QVector<QVector3D>& dstControlVertices);

    // Written by the GUI thread, read by the worker; only ever goes from false to true.
    std::atomic<bool> interrupted{false};

signals:
    void updated(QVector<QVector3D> srcVerticesDeformed, QVector<QVector3D> srcNormalsDeformed,
                 QVector<QVector3D> nodesDeformed, QVector<QList<int>> neighboursTable,
                 QVector<QVector3D> srcControlVertices, QVector<QVector3D> dstControlVertices);
    void levelChanged(int levelInd, int nLevels);

public slots:
    void requestInterruption();
};

}  // namespace NonRigidRegistration
