#pragma once
// Shared by the GL benchmarks: the wavy grid they load and the wait for a shown GL view.
#include "mesh/GeomStack.h"

#include <QGLWidget>
#include <QList>
#include <QTest>
#include <QVector2D>
#include <QVector3D>
#include <QVector>

#include <cmath>
#include <cstdio>
#include <initializer_list>

namespace GLBench {

// A wavy height field of n x n quads over -1 to 1 in x and y, the waves `height`
// high; with a texture layout spanning the unit square when `textured`.
inline GeometryStack::GeomStack wavyGrid(int n, float height, bool textured)
{
    QVector<QVector3D> vertices;
    QVector<QVector2D> textureVertices;
    vertices.reserve((n + 1) * (n + 1));
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            const float u = float(i) / n, v = float(j) / n;
            vertices.append(QVector3D(u * 2 - 1, v * 2 - 1, height * std::sin(u * 20) * std::cos(v * 20)));
            if (textured)
                textureVertices.append(QVector2D(u, v));
        }
    QVector<QList<int>> quads;
    quads.reserve(n * n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = j * (n + 1) + i;
            quads.append({a, a + 1, a + n + 2, a + n + 1});
        }
    return GeometryStack::GeomStack(vertices, quads, textureVertices, textured ? quads : QVector<QList<int>>(), {});
}

// Shows the view at the given size and waits until its GL is set up; false,
// with a note on stderr, when there is no display to draw on.
template <class View>
bool showGLView(View& view, int width, int height)
{
    view.resize(width, height);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view, 5000) || !view.isValid() ||
        !QTest::qWaitFor([&] { return view.isInitialized(); }, 5000)) {
        std::fprintf(stderr, "No GL view: run under xvfb-run with a display.\n");
        return false;
    }
    return true;
}

// Shows the views side by side at 400 x 300 and waits until each has its GL;
// false, with a note on stderr, when there is no display to draw on.
inline bool showViewsSideBySide(std::initializer_list<QGLWidget*> views)
{
    int x = 0;
    for (QGLWidget* view : views) {
        view->setGeometry(x, 0, 400, 300);
        x += 410;
        view->show();
        if (!QTest::qWaitForWindowExposed(view, 5000) || !view->isValid()) {
            std::fprintf(stderr, "no GL view: run under xvfb-run\n");
            return false;
        }
    }
    QTest::qWait(200);
    return true;
}

}  // namespace GLBench
