// The lasso: signals of click, drag, double click, modifier and button sequences on a shown model view,
// the dashed line it draws (and rebuild failures), the cursor, and the view's mouse tracking.
#include "RendererTestView.h"
#include "rendering/LassoSelectionController.h"
#include "rendering/glscreenlinestrip.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <QSignalSpy>

#include <algorithm>

using Viewport3D::GLScreenLineStrip;
using Viewport3D::LassoSelectionController;

namespace {

struct Event {
    QEvent::Type type;
    QPoint pixel;
    Qt::MouseButton button;
    Qt::MouseButtons buttons;  // the state after the event
    Qt::KeyboardModifiers modifiers;
};

Event press(QPoint p, Qt::KeyboardModifiers m = Qt::NoModifier, Qt::MouseButton b = Qt::LeftButton)
{
    return {QEvent::MouseButtonPress, p, b, b, m};
}
Event release(QPoint p, Qt::KeyboardModifiers m = Qt::NoModifier, Qt::MouseButton b = Qt::LeftButton)
{
    return {QEvent::MouseButtonRelease, p, b, Qt::NoButton, m};
}
Event drag(QPoint p, Qt::KeyboardModifiers m = Qt::NoModifier)
{
    return {QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton, m};
}
Event hover(QPoint p, Qt::KeyboardModifiers m = Qt::NoModifier)
{
    return {QEvent::MouseMove, p, Qt::NoButton, Qt::NoButton, m};
}
Event doubleClick(QPoint p, Qt::KeyboardModifiers m = Qt::NoModifier)
{
    return {QEvent::MouseButtonDblClick, p, Qt::LeftButton, Qt::LeftButton, m};
}
// A click as a window system delivers it.
QVector<Event> click(QPoint p, Qt::KeyboardModifiers m = Qt::NoModifier, Qt::MouseButton b = Qt::LeftButton)
{
    return {press(p, m, b), release(p, m, b)};
}

// Pixels of the 200 x 200 view and their NDC points.
const QPoint A(60, 50), B(150, 50), C(150, 150), nearA(63, 52);
QPointF ndc(QPoint p)
{
    return QPointF(2.0 * p.x() / 200 - 1.0, 1.0 - 2.0 * p.y() / 200);
}

QVector<QPointF> ndcPoints(const QVector<QPoint>& pixels)
{
    QVector<QPointF> points;
    for (const QPoint& p : pixels)
        points.append(ndc(p));
    return points;
}

// How many of n pixels from `from` on in steps of `step` are lit by a white line. The lasso's
// vertices lie on pixel corners, so a line may light the pixel before along `across` instead.
int whiteRun(const QImage& image, QPoint from, QPoint step, int n, QPoint across)
{
    auto bright = [&image](QPoint p) {
        const QColor c = image.pixelColor(p);
        return std::min({c.red(), c.green(), c.blue()}) > 228;
    };
    int lit = 0;
    for (int i = 0; i < n; ++i) {
        const QPoint p = from + step * i;
        lit += (bright(p) || bright(p - across)) ? 1 : 0;
    }
    return lit;
}

// A lasso drawn with the mouse: a drag from A to B, then the mouse moved to C and clicked there.
QVector<Event> lassoToC(Qt::KeyboardModifiers m = Qt::NoModifier)
{
    return QVector<Event>{press({40, 50}, m), drag(A, m), drag(B, m), release(B, m), hover(C, m)} + click(C, m);
}

class LassoTest : public ModelViewTest {
protected:
    void SetUp() override
    {
        ModelViewTest::SetUp();
        qRegisterMetaType<QVector<QPointF>>("QVector<QPointF>");
        lasso = std::make_unique<LassoSelectionController>(view.get());
    }
    void TearDown() override
    {
        lasso.reset();
        ModelViewTest::TearDown();
    }

    void send(const QVector<Event>& events)
    {
        for (const Event& e : events)
            TestSupport::sendMouse(view.get(), e.type, e.pixel, e.button, e.buttons, e.modifiers);
    }

    GLScreenLineStrip* shownLine() const
    {
        for (auto* object : view->objects)
            if (auto* line = dynamic_cast<GLScreenLineStrip*>(object))
                return line;
        return nullptr;
    }

    // The line's vertices as read back from its buffer.
    QVector<QPointF> lineVertices(GLScreenLineStrip* line)
    {
        view->makeCurrent();
        QVector<float> data(3 * line->vertexCount);
        EXPECT_TRUE(line->vertexBuffer.bind());
        EXPECT_TRUE(line->vertexBuffer.read(0, data.data(), 4 * data.size()));
        line->vertexBuffer.release();
        QVector<QPointF> points;
        for (int i = 0; i < line->vertexCount; ++i) {
            EXPECT_EQ(data[3 * i + 2], 0.0f);
            points.append(QPointF(data[3 * i], data[3 * i + 1]));
        }
        return points;
    }

    std::unique_ptr<LassoSelectionController> lasso;
};

// The line's buffer holds the points in single precision.
::testing::AssertionResult sameVertices(const QVector<QPointF>& line, const QVector<QPointF>& points)
{
    if (line.size() != points.size())
        return ::testing::AssertionFailure() << line.size() << " vertices instead of " << points.size();
    for (int i = 0; i < line.size(); ++i)
        if (std::abs(line[i].x() - points[i].x()) > 1e-7 || std::abs(line[i].y() - points[i].y()) > 1e-7)
            return ::testing::AssertionFailure() << "vertex " << i << " is (" << line[i].x() << ", " << line[i].y()
                                                 << ") instead of (" << points[i].x() << ", " << points[i].y() << ")";
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST_F(LassoTest, EventSequencesGiveTheirSignals)
{
    struct Case {
        const char* name;
        QVector<Event> events;
        QVector<QVector<QPointF>> lassos;  // each lasso signal's polygon
        QVector<bool> lassoDeselect;
        QVector<QPointF> points;  // each point signal's point
        QVector<bool> pointDeselect;
        bool lineShown;
    };
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier, alt = Qt::AltModifier;
    const QVector<Event> closeNearA = QVector<Event>{hover(nearA)} + click(nearA);
    const Case cases[] = {
        {"click", click(A), {}, {}, {ndc(A)}, {false}, false},
        {"control click", click(A, ctrl), {}, {}, {ndc(A)}, {true}, false},
        {"shift click", click(A, shift), {}, {}, {}, {}, false},
        {"alt click", click(A, alt), {}, {}, {}, {}, false},
        {"control shift click", click(A, ctrl | shift), {}, {}, {}, {}, false},
        {"right click", click(A, Qt::NoModifier, Qt::RightButton), {}, {}, {}, {}, false},
        {"middle click", click(A, Qt::NoModifier, Qt::MiddleButton), {}, {}, {}, {}, false},
        {"double click", click(A) + QVector<Event>{doubleClick(A), release(A)}, {}, {}, {ndc(A)}, {false}, false},
        {"drag released near its start",
         {press({40, 50}), drag(A), drag({62, 51}), release(nearA)},
         {{ndc(A)}},
         {false},
         {},
         {},
         false},
        {"lasso open", lassoToC(), {}, {}, {}, {}, true},
        {"lasso closed near its first vertex", lassoToC() + closeNearA, {ndcPoints({A, B, C})}, {false}, {}, {}, false},
        {"control lasso closed without control",
         lassoToC(ctrl) + closeNearA,
         {ndcPoints({A, B, C})},
         {true},
         {},
         {},
         false},
        {"lasso closed by a double click",
         lassoToC() + QVector<Event>{hover({100, 180}), press({100, 180}), release({100, 180}), doubleClick({100, 180}),
                                     release({100, 180})},
         {ndcPoints({A, B, C, {100, 180}})},
         {false},
         {},
         {},
         false},
        {"alt move abandons",
         lassoToC() + QVector<Event>{hover({120, 120}, alt)} + click(nearA, alt),
         {},
         {},
         {},
         {},
         false},
        {"shift move abandons", lassoToC() + QVector<Event>{hover({120, 120}, shift)}, {}, {}, {}, {}, false},
        {"right release abandons",
         lassoToC() + click({120, 120}, Qt::NoModifier, Qt::RightButton),
         {},
         {},
         {},
         {},
         false},
        {"middle release is ignored",
         lassoToC() + click({120, 120}, Qt::NoModifier, Qt::MiddleButton),
         {},
         {},
         {},
         {},
         true},
        {"click after abandoning selects a point",
         lassoToC() + click({120, 120}, Qt::NoModifier, Qt::RightButton) + click(B),
         {},
         {},
         {ndc(B)},
         {false},
         false},
        {"right drag starts nothing",
         {press(A, Qt::NoModifier, Qt::RightButton),
          {QEvent::MouseMove, B, Qt::NoButton, Qt::RightButton, Qt::NoModifier},
          release(B, Qt::NoModifier, Qt::RightButton)},
         {},
         {},
         {},
         {},
         false},
        {"alt drag starts nothing", {press(A, alt), drag(B, alt), release(B, alt)}, {}, {}, {}, {}, false},
        {"shift drag starts nothing", {press(A, shift), drag(B, shift), release(B, shift)}, {}, {}, {}, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        lasso.reset();
        lasso = std::make_unique<LassoSelectionController>(view.get());
        QSignalSpy lassos(lasso.get(), &LassoSelectionController::lassoSelect);
        QSignalSpy points(lasso.get(), &LassoSelectionController::pointSelect);
        send(c.events);
        ASSERT_EQ(lassos.size(), c.lassos.size());
        for (int i = 0; i < lassos.size(); ++i) {
            EXPECT_EQ(lassos[i][0].value<QVector<QPointF>>(), c.lassos[i]);
            EXPECT_EQ(lassos[i][1].toBool(), c.lassoDeselect[i]);
        }
        ASSERT_EQ(points.size(), c.points.size());
        for (int i = 0; i < points.size(); ++i) {
            EXPECT_EQ(points[i][0].toPointF(), c.points[i]);
            EXPECT_EQ(points[i][1].toBool(), c.pointDeselect[i]);
        }
        EXPECT_EQ(shownLine() != nullptr, c.lineShown);
        lasso.reset();
        EXPECT_EQ(shownLine(), nullptr) << "deleting the controller removes its line";
    }
}

TEST_F(LassoTest, RubberBandFollowsTheMouseAndTheLineIsDashedWhite)
{
    send({press({40, 50}), drag(A), drag(B)});
    GLScreenLineStrip* line = shownLine();
    ASSERT_NE(line, nullptr);
    EXPECT_TRUE(sameVertices(lineVertices(line), ndcPoints({A, B})));
    send({release(B), hover(C)});
    EXPECT_TRUE(sameVertices(lineVertices(line), ndcPoints({A, B, C})));
    EXPECT_EQ(line->vertexCount, 3);

    // The edges A-B and B-C are drawn dashed (5 pixels on, 5 off), the closing edge C-A is not.
    const QImage image = frame("lasso_open");
    const int onAB = whiteRun(image, {70, 50}, {1, 0}, 70, {0, 1});
    EXPECT_GE(onAB, 25);
    EXPECT_LE(onAB, 45);
    EXPECT_GE(whiteRun(image, {150, 60}, {0, 1}, 80, {1, 0}), 25);
    EXPECT_EQ(whiteRun(image, {72, 62}, {1, 1}, 76, {1, 0}), 0);  // the diagonal from C back to A stays open
}

TEST_F(LassoTest, CursorIsACrossOverTheFirstVertex)
{
    send(lassoToC());
    EXPECT_EQ(view->cursor().shape(), Qt::ArrowCursor);
    send({hover(nearA)});
    EXPECT_EQ(view->cursor().shape(), Qt::CrossCursor);
    send({hover({A.x() + 6, A.y()})});  // 0.06 away
    EXPECT_EQ(view->cursor().shape(), Qt::ArrowCursor);
    send({hover(nearA), release(nearA)});
    EXPECT_EQ(view->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(LassoTest, MouseTrackingIsOnWhileTheControllerLives)
{
    lasso.reset();
    view->setMouseTracking(false);
    lasso = std::make_unique<LassoSelectionController>(view.get());
    EXPECT_TRUE(view->hasMouseTracking());
    lasso.reset();
    EXPECT_FALSE(view->hasMouseTracking());

    view->setMouseTracking(true);
    lasso = std::make_unique<LassoSelectionController>(view.get());
    lasso.reset();
    EXPECT_TRUE(view->hasMouseTracking());
}

TEST_F(LassoTest, LineThatCannotBeRebuiltDrawsNothing)
{
    view->makeCurrent();
    auto line = std::make_unique<GLScreenLineStrip>(ndcPoints({A, B, C}), Qt::white);
    EXPECT_EQ(line->vertexCount, 3);
    EXPECT_EQ(line->lineStyle, 1);
    EXPECT_EQ(line->lineWidth, 1.0f);
    EXPECT_EQ(line->color, QColor(Qt::white));
    view->addObject(line.get());
    EXPECT_TRUE(sameVertices(lineVertices(line.get()), ndcPoints({A, B, C})));

    // Without a current context no buffer can be made.
    view->doneCurrent();
    TestSupport::LogCapture log;
    line->updatePoints(ndcPoints({A, B, C, {100, 180}}));
    EXPECT_EQ(log.texts(QtDebugMsg), QStringList{"GLScreenLineStrip: failed to bind vertex buffer"});
    EXPECT_EQ(line->vertexCount, 0);
    line->setPoint(0, ndc(C));  // ignored: there is no vertex to rewrite

    const QImage image = frame("lasso_failed_rebuild");
    EXPECT_EQ(whiteRun(image, {70, 50}, {1, 0}, 70, {0, 1}), 0);

    // A later rebuild with the context current works again.
    view->makeCurrent();
    line->updatePoints(ndcPoints({A, C}));
    EXPECT_EQ(line->vertexCount, 2);
    EXPECT_TRUE(sameVertices(lineVertices(line.get()), ndcPoints({A, C})));
    view->removeObject(line.get());
}
