// The label glyph atlas and the label-vertex builder without a GL context:
// atlas layout and pixels against QFontMetrics, texture rectangles, glyph
// quads, missing and repeated characters, and the index labels.
#include "rendering/glpointswithlabels.h"
#include "rendering/labelfontatlas.h"
#include "support/GLViewTestHelpers.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QFontInfo>
#include <QFontMetrics>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

const int kPadding = 4;
const QColor kText(255, 255, 0);

QFont labelFont()
{
    return QFont("Arial", 12, QFont::Bold);
}

LabelFontAtlas makeAtlas(const QVector<QChar>& characters = printableAsciiChars())
{
    return LabelFontAtlas(labelFont(), kPadding, kText, Qt::black, 2, characters);
}

// The atlas rectangle of a texture rectangle, in image pixels with y down.
QRect pixelCell(const QRectF& rect, const QImage& image)
{
    const int w = image.width(), h = image.height();
    return QRect(int(std::lround(rect.x() * w)), int(std::lround((1.0 - rect.y() - rect.height()) * h)),
                 int(std::lround(rect.width() * w)), int(std::lround(rect.height() * h)));
}

}  // namespace

TEST(IndexLabels, AreDecimalPositions)
{
    EXPECT_TRUE(makeIndexLabels(-2).isEmpty());
    EXPECT_TRUE(makeIndexLabels(0).isEmpty());
    EXPECT_EQ(makeIndexLabels(3), (QVector<QString>{"0", "1", "2"}));
    EXPECT_EQ(makeIndexLabels(11).last(), "10");
}

TEST(LabelAtlas, PrintableCharactersAre32To127)
{
    const QVector<QChar> characters = printableAsciiChars();
    ASSERT_EQ(characters.size(), 96);
    for (int i = 0; i < 96; ++i)
        EXPECT_EQ(characters[i].unicode(), 32 + i);
    EXPECT_EQ(quadTexCoords, (QVector<QVector2D>{{0, 0}, {1, 0}, {0, 1}, {1, 0}, {1, 1}, {0, 1}}));
}

TEST(LabelAtlas, OneRowSizedByTheGlyphInkPlusPadding)
{
    std::cout << "label font resolves to " << QFontInfo(labelFont()).family().toStdString() << "\n";
    const QFontMetrics metrics(labelFont());
    int width = 0, top = INT_MAX, bottom = INT_MIN;
    for (const QChar c : printableAsciiChars()) {
        const QRect b = metrics.boundingRect(c);
        width += b.width() + 2 * kPadding;
        top = std::min(top, b.top());
        bottom = std::max(bottom, b.bottom() + 1);
    }
    const LabelFontAtlas atlas = makeAtlas();
    EXPECT_EQ(atlas.image().format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(atlas.image().size(), QSize(width, bottom - top + 2 * kPadding));
    TestSupport::saveFrame(atlas.image(), "label_atlas");
}

TEST(LabelAtlas, EveryGlyphIsPaintedInsideItsOwnCell)
{
    const LabelFontAtlas atlas = makeAtlas();
    const QImage image = atlas.image();
    const QFontMetrics metrics(labelFont());
    int x = 0;
    for (const QChar c : printableAsciiChars()) {
        const QRect b = metrics.boundingRect(c);
        const QRectF rect = atlas.textureRects(QString(c)).first();
        const QRect cell = pixelCell(rect, image);
        // Cells follow each other left to right, as tall as the glyph's ink
        // plus padding, its baseline at the atlas's baseline row.
        EXPECT_EQ(cell, QRect(x, cell.top(), b.width() + 2 * kPadding, b.height() + 2 * kPadding)) << c.unicode();
        x += cell.width();
        int text = 0;
        for (int column = cell.left(); column <= cell.right(); ++column) {
            for (int row = 0; row < image.height(); ++row) {
                const QColor pixel = image.pixelColor(column, row);
                if (pixel.alpha() == 0)
                    continue;
                EXPECT_TRUE(cell.contains(column, row)) << "ink of " << c.unicode() << " outside its cell";
                if (pixel.alpha() == 255 && pixel.red() == 255 && pixel.green() == 255 && pixel.blue() == 0)
                    ++text;
            }
        }
        // Letters and digits, what labels are made of, are thick enough for
        // pixels of pure fill.
        if (c.isLetterOrNumber()) {
            EXPECT_GT(text, 0) << "no filled pixel in the cell of " << c.unicode();
        }
    }
}

TEST(LabelAtlas, NormalizedRectsPutTheImageTopAtVOne)
{
    // Cells relative to the baseline (y down); baseline on row 5 of a 20 x 10 image.
    const QVector<QRect> cells{QRect(QPoint(0, -3), QPoint(9, 2)), QRect(QPoint(10, -5), QPoint(19, 4))};
    const QVector<QRectF> rects = LabelFontAtlas::normalizeRects(cells, QSize(20, 10), 5);
    EXPECT_EQ(rects, (QVector<QRectF>{QRectF(0, 0.2, 0.5, 0.6), QRectF(0.5, 0, 0.5, 1)}));
    EXPECT_EQ(LabelFontAtlas::translateRects(rects, QPointF(1, -1)),
              (QVector<QRectF>{QRectF(1, -0.8, 0.5, 0.6), QRectF(1.5, -1, 0.5, 1)}));
}

TEST(LabelAtlas, GlyphQuadsAdvanceByTheRightEdgeOfTheInk)
{
    const LabelFontAtlas atlas = makeAtlas();
    const QFontMetrics metrics(labelFont());
    const QRect one = metrics.boundingRect('1'), zero = metrics.boundingRect('0');
    const QVector<QRectF> quads = atlas.glyphRects("10");
    ASSERT_EQ(quads.size(), 2);
    EXPECT_EQ(quads[0], QRectF(one.left() - 4, -(one.bottom() + 1) - 4, one.width() + 8, one.height() + 8));
    EXPECT_EQ(quads[1],
              QRectF(one.right() + 1 + zero.left() - 4, -(zero.bottom() + 1) - 4, zero.width() + 8, zero.height() + 8));
}

TEST(LabelAtlas, MissingCharacterHasAQuadButAZeroTextureRect)
{
    const LabelFontAtlas atlas = makeAtlas({'0', '1'});
    const QVector<QRectF> rects = atlas.textureRects("1x0");
    ASSERT_EQ(rects.size(), 3);
    EXPECT_EQ(rects[1], QRectF(0, 0, 0, 0));
    EXPECT_GT(rects[0].width(), 0);
    EXPECT_GT(rects[2].width(), 0);
    const QRect x = QFontMetrics(labelFont()).boundingRect('x');
    EXPECT_EQ(atlas.glyphRects("1x0")[1].size(), QSizeF(x.width() + 8, x.height() + 8));
}

TEST(LabelAtlas, RepeatedCharacterKeepsItsLastCellAndNoCharactersGiveNoImage)
{
    const LabelFontAtlas atlas = makeAtlas({'a', 'b', 'a'});
    const QFontMetrics metrics(labelFont());
    const int a = metrics.boundingRect('a').width() + 8, b = metrics.boundingRect('b').width() + 8;
    EXPECT_EQ(atlas.image().width(), 2 * a + b);
    EXPECT_DOUBLE_EQ(atlas.textureRects("a").first().x(), double(a + b) / (2 * a + b));

    const LabelFontAtlas empty = makeAtlas({});
    EXPECT_TRUE(empty.image().isNull());
    EXPECT_EQ(empty.textureRects("7"), QVector<QRectF>{QRectF(0, 0, 0, 0)});
}

TEST(LabelVertices, SixCornersPerCharacterInQuadOrder)
{
    const LabelFontAtlas atlas = makeAtlas();
    const Viewport3D::LabelVertices vertices = Viewport3D::buildLabelVertices(makeIndexLabels(11), atlas, QPoint(5, 0));
    EXPECT_EQ(vertices.total, 72);
    EXPECT_EQ(vertices.positions.size(), 72);
    EXPECT_EQ(vertices.texCoords.size(), 72);
    EXPECT_EQ(vertices.firstVertices, (QVector<int>{0, 6, 12, 18, 24, 30, 36, 42, 48, 54, 60}));
    EXPECT_EQ(vertices.vertexCounts, (QVector<int>{6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 12}));

    // Label "7": its quad moved 5 pixels right, corners as in quadTexCoords.
    const QRect b = QFontMetrics(labelFont()).boundingRect('7');
    const float x = 5 + b.left() - 4, y = -(b.bottom() + 1) - 4, w = b.width() + 8, h = b.height() + 8;
    const QRectF t = atlas.textureRects("7").first();
    QVector<QVector3D> positions;
    QVector<QVector2D> texCoords;
    for (const QVector2D& c : quadTexCoords) {
        positions.append(QVector3D(x + c.x() * w, y + c.y() * h, 0));
        texCoords.append(QVector2D(float(t.x() + c.x() * t.width()), float(t.y() + c.y() * t.height())));
    }
    EXPECT_EQ(vertices.positions.mid(42, 6), positions);
    EXPECT_EQ(vertices.texCoords.mid(42, 6), texCoords);
    EXPECT_EQ(positions[0], QVector3D(x, y, 0));
    EXPECT_EQ(positions[4], QVector3D(x + w, y + h, 0));
    // The second glyph of "10" starts where the first one's ink ends.
    EXPECT_EQ(vertices.positions[66].x(), float(5 + atlas.glyphRects("10")[1].x()));
}
