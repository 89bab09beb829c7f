#include "texture/TextureTransferThreaded.h"

#include "texture/TransferMemory.h"

#include <QDebug>
#include <QMetaObject>
#include <QtConcurrent>
#include <limits>
#include <new>

namespace TextureTransfer {

TextureTransferThreaded::TextureTransferThreaded(
    const QVector<QVector3D>* dstVertices, const QVector<QList<int>>* dstTriangles,
    const QVector<QList<int>>* dstTextureTriangles, const QVector<QVector2D>* dstTextureVertices,
    const QVector<QVector3D>* srcVertices, const QVector<QList<int>>* srcTriangles,
    const QVector<QList<int>>* srcTextureTriangles, const QVector<QVector2D>* srcTextureVertices,
    const QVector<QVector3D>* srcNormals, QImage* dstTexture, QVector<bool>* excludedTriangles,
    BVHTree2D::BvhNodeBase2D* srcUvBvh, BVH2::BvhNodeBase* dstBvh)
    : dstVertices(dstVertices),
      dstTriangles(dstTriangles),
      dstTextureTriangles(dstTextureTriangles),
      dstTextureVertices(dstTextureVertices),
      srcVertices(srcVertices),
      srcTriangles(srcTriangles),
      srcTextureTriangles(srcTextureTriangles),
      srcTextureVertices(srcTextureVertices),
      srcNormals(srcNormals),
      dstTexture(dstTexture),
      excludedTriangles(excludedTriangles),
      srcUvBvh(srcUvBvh),
      dstBvh(dstBvh)
{}

TextureTransferThreaded::~TextureTransferThreaded()
{
    // The items read the context and write the image until they have ended.
    cancelAndWait();
    delete futureWatcher;
    delete context;
}

void TextureTransferThreaded::cancelAndWait()
{
    if (!futureWatcher)
        return;
    futureWatcher->cancel();
    futureWatcher->waitForFinished();
}

void TextureTransferThreaded::setResultImage(QImage* image)
{
    resultImage = image;
}

void TextureTransferThreaded::startTextureTransfer(int, bool limitDistance, double maxDistance)
{
    if (!resultImage || resultImage->isNull()) {
        refuse("the result image could not be allocated");
        return;
    }
    const int width = resultImage->width(), height = resultImage->height();
    // Larger outputs cannot have one item per texel; refused before the image is touched.
    const qint64 itemCount = qint64(width) * height;
    if (itemCount > maxTransferTexels()) {
        refuse(tooManyWorkItems(width, height));
        return;
    }
    // The items write 32-bit texels through raw row pointers taken here, on
    // this thread, after any copy the format change or the fill may make.
    if (resultImage->format() != QImage::Format_ARGB32)
        *resultImage = resultImage->convertToFormat(QImage::Format_ARGB32);
    resultImage->fill(Qt::transparent);
    uchar* pixels = resultImage->bits();

    try {
        if (workItems.capacity() < itemCount)
            workItems.reserve(int(itemCount));
    } catch (const std::bad_alloc&) {
        refuse(QString("no memory for %1 x %2 work items").arg(width).arg(height));
        return;
    }

    const QImage* texture = dstTexture;
    if (texture->format() != QImage::Format_ARGB32 && texture->format() != QImage::Format_RGB32) {
        dstTexture32_ = texture->convertToFormat(QImage::Format_ARGB32);
        texture = &dstTexture32_;
    }

    context = new ThreadContext;
    context->dstBvh = dstBvh;
    context->srcUvBvh = srcUvBvh;
    context->dstVertices = dstVertices;
    context->dstTriangles = dstTriangles;
    context->dstTextureTriangles = dstTextureTriangles;
    context->dstTextureVertices = dstTextureVertices;
    context->srcVertices = srcVertices;
    context->srcTriangles = srcTriangles;
    context->srcTextureTriangles = srcTextureTriangles;
    context->srcTextureVertices = srcTextureVertices;
    context->srcNormals = srcNormals;
    context->dstTexture = texture;
    context->resultImage = resultImage;
    context->width = width;
    context->height = height;
    context->maxDistance = limitDistance ? maxDistance : std::numeric_limits<double>::max();
    context->excludedTriangles = excludedTriangles;
    context->resultPixels = pixels;
    context->resultBytesPerLine = resultImage->bytesPerLine();
    handOver_ = std::make_unique<TexelHandOver>();
    context->handOver = handOver_.get();

    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y)
            workItems.append(ThreadMappingContext{context, x, y});

    futureWatcher = new QFutureWatcher<void>();
    connect(futureWatcher, &QFutureWatcher<void>::finished, this, &TextureTransferThreaded::onTransferFinish);
    connect(futureWatcher, &QFutureWatcher<void>::progressValueChanged, this,
            &TextureTransferThreaded::progressValueChanged);
    connect(futureWatcher, &QFutureWatcher<void>::progressRangeChanged, this,
            &TextureTransferThreaded::progressRangeChanged);
    TexelHandOver::publish();
    futureWatcher->setFuture(QtConcurrent::map(workItems, transferTexel));
}

void TextureTransferThreaded::refuse(const QString& reason)
{
    qWarning("%s", qPrintable("Texture transfer refused: " + reason));
    refusal_ = reason;
    // Finishes as a run would, after the caller has announced the start.
    QMetaObject::invokeMethod(this, "onTransferFinish", Qt::QueuedConnection);
}

void TextureTransferThreaded::onTransferFinish()
{
    if (handOver_)
        handOver_->collect();  // the items' texels are ours from here on
    handOver_.reset();
    workItems.clear();
    delete context;
    context = nullptr;
    delete futureWatcher;
    futureWatcher = nullptr;
    dstTexture32_ = QImage();
    if (!refusal_.isEmpty()) {
        const QString reason = refusal_;
        refusal_.clear();
        emit transferRefused(reason);
    }
    emit transferFinished();
}

void TextureTransferThreaded::progressValueChanged(int value)
{
    emit statusChanged(value);
}

void TextureTransferThreaded::progressRangeChanged(int minValue, int maxValue)
{
    emit rangeChanged(minValue, maxValue);
}

}  // namespace TextureTransfer
