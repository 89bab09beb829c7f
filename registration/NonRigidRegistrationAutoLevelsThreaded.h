#pragma once
// The worker thread of one registration run: runs the level loop on the run record and hands
// the deformed template back through optimizationComplete (also after an interruption).
#include "registration/NonRigidRegistrationAutoLevels.h"

#include <QThread>
#include <QVector3D>
#include <QVector>

namespace NonRigidRegistration {

class NonRigidRegistrationAutoLevelsThreaded : public QThread {
    Q_OBJECT
public:
    // The record is not owned; it must stay unchanged until optimizationComplete.
    explicit NonRigidRegistrationAutoLevelsThreaded(const NonRigidRegistrationAutoLevelsParams* params,
                                                    QObject* parent = nullptr);
    // Waits for a run still in progress, so the object never goes while run() uses it.
    ~NonRigidRegistrationAutoLevelsThreaded() override;

    const QVector<QVector3D>& getSrcVerticesDeformed() const { return srcVerticesDeformed; }
    const QVector<QVector3D>& getSrcNormalsDeformed() const { return srcNormalsDeformed; }

signals:
    void optimizationComplete(QVector<QVector3D> srcVerticesDeformed, QVector<QVector3D> srcNormalsDeformed);

protected:
    void run() override;

private:
    const NonRigidRegistrationAutoLevelsParams* params;
    QVector<QVector3D> srcVerticesDeformed;
    QVector<QVector3D> srcNormalsDeformed;
};

}  // namespace NonRigidRegistration
