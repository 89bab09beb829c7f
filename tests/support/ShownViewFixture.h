#pragma once
// One fixture for the GL tests of both 3D views: a view of kSide x kSide pixels shown on a real
// context, scene objects owned by the test and released with the view's context current (as the
// program's owners do), and frames read back and kept as PNG files.
#include "support/GLViewTestHelpers.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <memory>
#include <utility>
#include <vector>

namespace Viewport3D {
class GLObject;
}

namespace TestSupport {

template <class View>
class ShownViewFixture : public ::testing::Test {
protected:
    static constexpr int kSide = 200;

    void SetUp() override
    {
        registerMouseSignalTypes();
        view = std::make_unique<View>();
        ASSERT_TRUE(showGLView(view.get(), QSize(kSide, kSide), [this] { return view->isInitialized(); }));
    }

    void TearDown() override
    {
        if (!view)
            return;
        view->makeCurrent();
        for (auto& object : owned)
            view->removeObject(object.get());
        owned.clear();
        view.reset();
    }

    // Adds an object that the test keeps owning; where is what the view's addObject takes
    // after the object (the layer of the results view).
    template <class Object, class... Where>
    Object* add(std::unique_ptr<Object> object, Where... where)
    {
        view->makeCurrent();
        Object* raw = object.get();
        view->addObject(raw, where...);
        owned.push_back(std::move(object));
        return raw;
    }

    // Renders, keeps the frame as frames/<name>.png and returns it.
    QImage frame(const QString& name)
    {
        const QImage image = renderFrame(view.get());
        saveFrame(image, name);
        return image;
    }

    std::unique_ptr<View> view;
    std::vector<std::unique_ptr<Viewport3D::GLObject>> owned;
};

}  // namespace TestSupport
