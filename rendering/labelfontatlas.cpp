#include "rendering/labelfontatlas.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include <algorithm>
#include <climits>

const QVector<QVector2D> quadTexCoords = {{0, 0}, {1, 0}, {0, 1}, {1, 0}, {1, 1}, {0, 1}};

QVector<QChar> printableAsciiChars()
{
    QVector<QChar> characters;
    for (int code = 32; code <= 127; ++code)
        characters.append(QChar(code));
    return characters;
}

LabelFontAtlas::LabelFontAtlas(const QFont& font, int padding, const QColor& textColour, const QColor& outlineColour,
                               int outlineWidth, const QVector<QChar>& characters)
    : font_(font), padding_(padding)
{
    renderAtlas(characters, font, padding, textColour, outlineColour, outlineWidth);
}

QVector<QRectF> LabelFontAtlas::glyphRects(const QString& label) const
{
    const QFontMetrics metrics(font_);
    const int p = padding_;
    QVector<QRectF> quads;
    quads.reserve(label.size());
    int pen = 0;
    for (const QChar c : label) {
        const QRect b = metrics.boundingRect(c);
        quads.append(QRectF(b.left() + pen - p, -(b.bottom() + 1) - p, b.width() + 2 * p, b.height() + 2 * p));
        pen += b.right() + 1;
    }
    return quads;
}

QVector<QRectF> LabelFontAtlas::textureRects(const QString& label) const
{
    QVector<QRectF> rects;
    rects.reserve(label.size());
    for (const QChar c : label)
        rects.append(textureRects_.value(c, QRectF(0, 0, 0, 0)));
    return rects;
}

QVector<QRectF> LabelFontAtlas::normalizeRects(const QVector<QRect>& cells, const QSize& imageSize, int baselineRow)
{
    const double w = imageSize.width();
    const double h = imageSize.height();
    QVector<QRectF> rects;
    rects.reserve(cells.size());
    for (const QRect& cell : cells) {
        rects.append(
            QRectF(cell.left() / w, 1.0 - (cell.bottom() + 1 + baselineRow) / h, cell.width() / w, cell.height() / h));
    }
    return rects;
}

QVector<QRectF> LabelFontAtlas::translateRects(const QVector<QRectF>& rects, const QPointF& offset)
{
    QVector<QRectF> moved = rects;
    for (QRectF& rect : moved)
        rect.translate(offset);
    return moved;
}

void LabelFontAtlas::renderAtlas(const QVector<QChar>& characters, const QFont& font, int padding,
                                 const QColor& textColour, const QColor& outlineColour, int outlineWidth)
{
    if (characters.isEmpty())
        return;  // no cells: a null image, and no sums of the empty extremes
    const QFontMetrics metrics(font);
    const int p = padding;
    // One row of cells, each a glyph's ink box grown by the padding; the
    // cells' y runs down from the baseline.
    QVector<QRect> cells;
    QVector<int> penX;
    int t = 0;
    int top = INT_MAX;
    int bottom = -INT_MAX;
    for (const QChar c : characters) {
        const QRect b = metrics.boundingRect(c);
        cells.append(QRect(QPoint(t, b.top() - p), QPoint(t + b.width() + 2 * p - 1, b.bottom() + p)));
        penX.append(t + p - b.left());
        t += b.width() + 2 * p;
        top = std::min(top, b.top());
        bottom = std::max(bottom, b.bottom() + 1);
    }
    const int width = t;
    const int baselineRow = p - top;
    const int height = bottom + 2 * p - top;

    const QVector<QRectF> rects = normalizeRects(cells, QSize(width, height), baselineRow);
    for (int i = 0; i < characters.size(); ++i)
        textureRects_.insert(characters[i], rects[i]);

    image_ = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
    image_.fill(Qt::transparent);
    QPainter painter(&image_);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(font);
    const QPen outlinePen(outlineColour, outlineWidth);
    for (int i = 0; i < characters.size(); ++i) {
        QPainterPath path;
        path.addText(QPointF(penX[i], baselineRow), font, QString(characters[i]));
        // The outline first, then the fill over its inner half.
        painter.setPen(outlinePen);
        painter.setBrush(QBrush(Qt::transparent, Qt::SolidPattern));
        painter.drawPath(path);
        painter.setPen(QPen(Qt::transparent));
        painter.setBrush(QBrush(textColour, Qt::SolidPattern));
        painter.drawPath(path);
    }
}
