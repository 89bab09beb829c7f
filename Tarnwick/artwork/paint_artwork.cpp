// Paints every image of the application (button skins, strip icons, shading
// icons, window icon) into the folder given as the only argument. Runs at
// build time; the resources are made from its output.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>
#include <cstdio>
#include <functional>

namespace {

const QColor ink(52, 56, 62);
const QColor accent(97, 150, 220);
const QColor wire(36, 53, 67);

QImage canvas(int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

bool write(const QImage& image, const QString& folder, const QString& name)
{
    const QString path = QDir(folder).filePath(name);
    if (image.save(path))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

// A rounded square skin; the strips' buttons stretch it as a border image.
QImage buttonSkin(const QColor& top, const QColor& bottom, const QColor& rim)
{
    QImage image = canvas(45);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 2, 0, 43);
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    p.setPen(QPen(rim, 1.5));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(2.5, 2.5, 40, 40), 6, 6);
    return image;
}

void folderShape(QPainter& p)
{
    QPainterPath back;
    back.moveTo(3, 8);
    back.lineTo(12, 8);
    back.lineTo(15, 11);
    back.lineTo(29, 11);
    back.lineTo(29, 26);
    back.lineTo(3, 26);
    back.closeSubpath();
    p.setPen(QPen(ink, 1.5));
    p.setBrush(QColor(214, 170, 80));
    p.drawPath(back);
    QPainterPath front;
    front.moveTo(3, 26);
    front.lineTo(7, 15);
    front.lineTo(31, 15);
    front.lineTo(27, 26);
    front.closeSubpath();
    p.setBrush(QColor(240, 200, 110));
    p.drawPath(front);
}

void pictureShape(QPainter& p, const QRectF& frame)
{
    p.setPen(QPen(ink, 1.5));
    p.setBrush(QColor(170, 210, 240));
    p.drawRect(frame);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 210, 60));
    p.drawEllipse(QPointF(frame.right() - 6, frame.top() + 6), 3, 3);
    QPainterPath hills;
    hills.moveTo(frame.left() + 1, frame.bottom() - 1);
    hills.lineTo(frame.left() + frame.width() * 0.35, frame.top() + frame.height() * 0.4);
    hills.lineTo(frame.left() + frame.width() * 0.6, frame.bottom() - frame.height() * 0.3);
    hills.lineTo(frame.left() + frame.width() * 0.75, frame.top() + frame.height() * 0.55);
    hills.lineTo(frame.right() - 1, frame.bottom() - 1);
    hills.closeSubpath();
    p.setBrush(QColor(80, 150, 90));
    p.drawPath(hills);
}

// A small triangle net: the project's sign for a model.
void meshShape(QPainter& p, const QRectF& box, const QColor& fill)
{
    const QPointF a(box.left(), box.bottom());
    const QPointF b(box.right(), box.bottom());
    const QPointF c(box.center().x(), box.top());
    const QPointF ab((a + b) / 2), bc((b + c) / 2), ca((c + a) / 2);
    p.setPen(QPen(wire, 1.2));
    p.setBrush(fill);
    p.drawPolygon(QPolygonF({a, b, c}));
    p.drawPolygon(QPolygonF({ab, bc, ca}));
}

void downArrow(QPainter& p, const QPointF& tip)
{
    QPainterPath arrow;
    arrow.moveTo(tip);
    arrow.lineTo(tip + QPointF(-7, -7));
    arrow.lineTo(tip + QPointF(-3, -7));
    arrow.lineTo(tip + QPointF(-3, -14));
    arrow.lineTo(tip + QPointF(3, -14));
    arrow.lineTo(tip + QPointF(3, -7));
    arrow.lineTo(tip + QPointF(7, -7));
    arrow.closeSubpath();
    p.setPen(QPen(ink, 1.2));
    p.setBrush(QColor(90, 200, 120));
    p.drawPath(arrow);
}

QImage icon(const std::function<void(QPainter&)>& draw)
{
    QImage image = canvas(32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    return image;
}

// The shading menu's icons: a ball, lit and/or covered by a checker, optionally with a net.
QImage shadingIcon(bool textured, bool shaded, bool wired)
{
    QImage image = canvas(24);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(12, 12);
    const double radius = 10.5;
    QPainterPath ball;
    ball.addEllipse(centre, radius, radius);
    p.setClipPath(ball);
    if (textured) {
        for (int y = 0; y < 24; y += 4)
            for (int x = 0; x < 24; x += 4)
                p.fillRect(x, y, 4, 4, ((x + y) / 4) % 2 ? QColor(230, 120, 60) : QColor(250, 230, 170));
    } else {
        p.fillRect(0, 0, 24, 24, accent);
    }
    if (shaded) {
        QRadialGradient light(QPointF(8, 7), 16);
        light.setColorAt(0, QColor(255, 255, 255, 110));
        light.setColorAt(0.5, QColor(0, 0, 0, 0));
        light.setColorAt(1, QColor(0, 0, 0, 150));
        p.fillRect(0, 0, 24, 24, light);
    }
    if (wired) {
        p.setPen(QPen(QColor(20, 20, 20), 1));
        for (int i = 1; i < 4; ++i) {
            p.drawLine(QPointF(0, i * 6), QPointF(24, i * 6));
            p.drawLine(QPointF(i * 6, 0), QPointF(i * 6, 24));
        }
    }
    p.setClipping(false);
    p.setPen(QPen(ink, 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, radius, radius);
    return image;
}

QImage windowIcon()
{
    QImage image = canvas(64);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(63, 62, 58));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    // Template (light) fitted over target (dark): two nets, one on the other.
    meshShape(p, QRectF(10, 16, 44, 38), QColor(92, 116, 140));
    meshShape(p, QRectF(14, 10, 36, 32), accent);
    return image;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder))
        return 1;

    bool ok = true;
    ok &= write(buttonSkin(QColor(250, 250, 250), QColor(214, 216, 220), QColor(150, 152, 156)), folder, "Button.png");
    ok &=
        write(buttonSkin(QColor(120, 120, 118), QColor(98, 98, 96), QColor(84, 84, 82)), folder, "ButtonDisabled.png");
    ok &= write(buttonSkin(QColor(255, 255, 255), QColor(224, 234, 248), accent), folder, "ButtonMouseOver.png");
    ok &= write(buttonSkin(QColor(176, 180, 186), QColor(220, 222, 226), QColor(110, 112, 116)), folder,
                "ButtonPressed.png");
    ok &= write(buttonSkin(QColor(200, 222, 250), QColor(150, 190, 240), QColor(60, 110, 180)), folder,
                "ButtonToggled.png");

    ok &= write(icon(folderShape), folder, "folder.png");
    ok &= write(icon([](QPainter& p) { pictureShape(p, QRectF(3, 6, 26, 20)); }), folder, "photography.png");
    ok &= write(icon([](QPainter& p) {
                    meshShape(p, QRectF(2, 6, 22, 22), accent);
                    downArrow(p, QPointF(24, 30));
                }),
                folder, "save-model.png");
    ok &= write(icon([](QPainter& p) {
                    pictureShape(p, QRectF(2, 4, 22, 18));
                    downArrow(p, QPointF(24, 30));
                }),
                folder, "save-texture.png");
    ok &=
        write(icon([](QPainter& p) {
                  p.setPen(QPen(ink, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                  for (int sx : {-1, 1})
                      for (int sy : {-1, 1}) {
                          const QPointF corner(16 + sx * 12, 16 + sy * 12);
                          p.drawPolyline(QPolygonF({corner - QPointF(sx * 7, 0), corner, corner - QPointF(0, sy * 7)}));
                      }
                  meshShape(p, QRectF(9, 9, 14, 13), accent);
              }),
              folder, "limited-edition.png");

    ok &= write(shadingIcon(true, false, false), folder, "TexturedSmall.png");
    ok &= write(shadingIcon(true, false, true), folder, "TexturedWiredSmall.png");
    ok &= write(shadingIcon(false, true, false), folder, "ShadedSmall.png");
    ok &= write(shadingIcon(false, true, true), folder, "ShadedWiredSmall.png");
    ok &= write(shadingIcon(true, true, false), folder, "TexturedShadedSmall.png");
    ok &= write(shadingIcon(true, true, true), folder, "TexturedShadedWiredSmall.png");

    // The mode panels' buttons: a gear (start picking), a circular arrow (compute again), a tick (done).
    ok &= write(icon([](QPainter& p) {
                    p.setPen(QPen(QColor(70, 76, 84), 3.0));
                    p.setBrush(QColor(150, 158, 168));
                    for (int k = 0; k < 8; ++k) {
                        p.save();
                        p.translate(16, 16);
                        p.rotate(45.0 * k);
                        p.drawRect(QRectF(-2.5, -14, 5, 6));
                        p.restore();
                    }
                    p.drawEllipse(QPointF(16, 16), 9, 9);
                    p.setBrush(Qt::white);
                    p.drawEllipse(QPointF(16, 16), 3, 3);
                }),
                folder, "process.png");
    ok &= write(icon([](QPainter& p) {
                    p.setPen(QPen(QColor(40, 120, 200), 3.5, Qt::SolidLine, Qt::RoundCap));
                    p.setBrush(Qt::NoBrush);
                    p.drawArc(QRectF(6, 6, 20, 20), 60 * 16, 290 * 16);
                    QPainterPath head;
                    head.moveTo(20, 2);
                    head.lineTo(28, 9);
                    head.lineTo(18, 12);
                    head.closeSubpath();
                    p.setPen(Qt::NoPen);
                    p.setBrush(QColor(40, 120, 200));
                    p.drawPath(head);
                }),
                folder, "refresh.png");
    ok &= write(icon([](QPainter& p) {
                    p.setPen(QPen(QColor(40, 160, 60), 4.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                    p.drawPolyline(QPolygonF({QPointF(6, 17), QPointF(13, 24), QPointF(26, 8)}));
                }),
                folder, "check.png");

    ok &= write(windowIcon(), folder, "PlyformIco.ico");
    return ok ? 0 : 1;
}
