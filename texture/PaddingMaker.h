#pragma once
// Grows the transferred texture islands outwards into the empty (alpha 0)
// texels, at most one texel ring per pass, on a worker thread.
#include <QImage>
#include <QList>
#include <QRgb>
#include <QThread>

namespace TextureTransfer {

// The filled (alpha >= 1) texels of the 3 x 3 window around (x, y), clipped to
// the image, column by column (the centre included when filled).
QList<QRgb> opaqueNeighbourColors(int x, int y, const QImage& image);

}  // namespace TextureTransfer

class PaddingMaker : public QThread {
    Q_OBJECT
public:
    // The image is padded in place and not owned; nobody else may touch it
    // until the thread has finished.
    PaddingMaker(QImage* image, int paddingWidth, QObject* parent);

signals:
    void statusChanged(int value);                  // percent done
    void rangeChanged(int minValue, int maxValue);  // 0 and 100

protected:
    void run() override;

private:
    // One pass: every empty texel becomes the average of its filled neighbours
    // as they were when the pass began.
    bool padOnce();
    void reportColumn();

    QImage* image;
    int progressStep;
    int progressCount = 0;
    int paddingWidth;
    int progressTotal;
};
