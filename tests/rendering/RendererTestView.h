#pragma once
// A shown model view whose scene objects are owned by the test and released
// with the view's context current, as the program's owners do.
#include "QuadScene.h"
#include "rendering/Viewport3D2.h"
#include "support/GLViewTestHelpers.h"

#include <gtest/gtest.h>
#include <memory>
#include <vector>

class ModelViewTest : public ::testing::Test {
protected:
    static constexpr int kSide = 200;

    void SetUp() override
    {
        TestSupport::registerMouseSignalTypes();
        view = std::make_unique<Viewport3D::Viewport3D2>();
        ASSERT_TRUE(TestSupport::showGLView(view.get(), QSize(kSide, kSide), [this] { return view->isInitialized(); }));
        view->makeCurrent();
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

    // Adds an object that the test keeps owning.
    template <class Object>
    Object* add(std::unique_ptr<Object> object)
    {
        view->makeCurrent();
        Object* raw = object.get();
        view->addObject(raw);
        owned.push_back(std::move(object));
        return raw;
    }

    QImage frame(const QString& name)
    {
        const QImage image = TestSupport::renderFrame(view.get());
        TestSupport::saveFrame(image, name);
        view->makeCurrent();
        return image;
    }

    static QColor at(const QImage& image, float x, float y)
    {
        return image.pixelColor(QuadScene::pixelOf(x, y, kSide));
    }

    std::unique_ptr<Viewport3D::Viewport3D2> view;
    std::vector<std::unique_ptr<Viewport3D::GLObject> > owned;
};
