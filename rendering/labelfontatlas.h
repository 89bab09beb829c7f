#pragma once
// Glyph atlas of the point labels: one font's characters painted once, side by
// side in one row, filled in the label colour and outlined, with the rectangle
// of every character in normalised texture coordinates. Labels are built as
// one quad per character, sized in pixels.
#include <QChar>
#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QVector2D>
#include <QVector>

// Corners of the unit square in the order every glyph quad is drawn: two
// counter-clockwise triangles.
extern const QVector<QVector2D> quadTexCoords;

// The characters with codes 32 to 127 inclusive, in ascending order.
QVector<QChar> printableAsciiChars();

class LabelFontAtlas {
public:
    LabelFontAtlas(const QFont& font, int padding, const QColor& textColour, const QColor& outlineColour,
                   int outlineWidth, const QVector<QChar>& characters);

    const QImage& image() const { return image_; }
    // Per character its quad in pixels, y up, the baseline at y = 0 and the
    // pen advancing by the right edge of each glyph's ink.
    QVector<QRectF> glyphRects(const QString& label) const;
    // Per character its rectangle in the atlas (texture coordinates, v up);
    // all zero for a character the atlas lacks.
    QVector<QRectF> textureRects(const QString& label) const;

    // Integer cells of an image of the given size whose baseline lies on row
    // baselineRow, as texture rectangles with v = 1 at the image's top row.
    static QVector<QRectF> normalizeRects(const QVector<QRect>& cells, const QSize& imageSize, int baselineRow);
    static QVector<QRectF> translateRects(const QVector<QRectF>& rects, const QPointF& offset);

private:
    void renderAtlas(const QVector<QChar>& characters, const QFont& font, int padding, const QColor& textColour,
                     const QColor& outlineColour, int outlineWidth);

    QFont font_;
    int padding_;
    QImage image_;
    QHash<QChar, QRectF> textureRects_;
};
