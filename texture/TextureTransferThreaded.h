#pragma once
// Runs one texture transfer at a time: one work item per output texel, mapped
// over Qt's global thread pool without blocking the owner's (GUI) thread.
#include <QFutureWatcher>
#include <QImage>
#include <QList>
#include <QObject>
#include <QVector2D>
#include <QVector3D>
#include <QVector>
#include <memory>

#include "spatial/BVH.h"
#include "texture/BVHTree2D.h"
#include "texture/TextureTransfer.h"

namespace TextureTransfer {

class TextureTransferThreaded : public QObject {
    Q_OBJECT
public:
    // Keeps the pointers; their owner keeps the data alive and unchanged while
    // this object exists.
    TextureTransferThreaded(const QVector<QVector3D>* dstVertices, const QVector<QList<int>>* dstTriangles,
                            const QVector<QList<int>>* dstTextureTriangles,
                            const QVector<QVector2D>* dstTextureVertices, const QVector<QVector3D>* srcVertices,
                            const QVector<QList<int>>* srcTriangles, const QVector<QList<int>>* srcTextureTriangles,
                            const QVector<QVector2D>* srcTextureVertices, const QVector<QVector3D>* srcNormals,
                            QImage* dstTexture, QVector<bool>* excludedTriangles, BVHTree2D::BvhNodeBase2D* srcUvBvh,
                            BVH2::BvhNodeBase* dstBvh);
    // Waits for a run still under way (see cancelAndWait).
    ~TextureTransferThreaded() override;

    // Drops the texels not yet started and returns once the running ones have
    // ended; transferFinished() still follows from the event loop.
    void cancelAndWait();

    // Not owned; nobody may touch the image from the start of a run to transferFinished().
    void setResultImage(QImage* image);

    // Texels whose work items fit in the room kept from earlier runs.
    qint64 reservedTexels() const { return workItems.capacity(); }

public slots:
    // Returns at once; paddingWidth is not used here.
    void startTextureTransfer(int paddingWidth, bool limitDistance, double maxDistance);

signals:
    void statusChanged(int value);
    void rangeChanged(int minValue, int maxValue);
    // A run that could not start: emitted with the reason just before its transferFinished().
    void transferRefused(const QString& reason);
    void transferFinished();

private slots:
    void onTransferFinish();
    void progressValueChanged(int value);
    void progressRangeChanged(int minValue, int maxValue);

private:
    // Logs why a run cannot start and finishes it without touching the image.
    void refuse(const QString& reason);

    const QVector<QVector3D>* dstVertices;
    const QVector<QList<int>>* dstTriangles;
    const QVector<QList<int>>* dstTextureTriangles;
    const QVector<QVector2D>* dstTextureVertices;
    const QVector<QVector3D>* srcVertices;
    const QVector<QList<int>>* srcTriangles;
    const QVector<QList<int>>* srcTextureTriangles;
    const QVector<QVector2D>* srcTextureVertices;
    const QVector<QVector3D>* srcNormals;
    QImage* dstTexture;
    QImage* resultImage = nullptr;
    QVector<bool>* excludedTriangles;
    BVHTree2D::BvhNodeBase2D* srcUvBvh;
    BVH2::BvhNodeBase* dstBvh;
    ThreadContext* context = nullptr;
    QVector<ThreadMappingContext> workItems;
    QFutureWatcher<void>* futureWatcher = nullptr;
    // The target texture in 32 bits for the run under way when it is kept in
    // another format, so that the items read plain pixels.
    QImage dstTexture32_;
    std::unique_ptr<TexelHandOver> handOver_;
    // Why the run that is ending was refused; empty for a run that ran.
    QString refusal_;
};

}  // namespace TextureTransfer
