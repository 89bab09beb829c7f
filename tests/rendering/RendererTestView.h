#pragma once
// The shown model view of the renderer and model view tests.
#include "QuadScene.h"
#include "rendering/Viewport3D2.h"
#include "support/ShownViewFixture.h"

class ModelViewTest : public TestSupport::ShownViewFixture<Viewport3D::Viewport3D2> {
protected:
    // The model view's tests draw with its context current.
    void SetUp() override
    {
        ShownViewFixture::SetUp();
        if (!HasFatalFailure())
            view->makeCurrent();
    }

    QImage frame(const QString& name)
    {
        const QImage image = ShownViewFixture::frame(name);
        view->makeCurrent();
        return image;
    }

    static QColor at(const QImage& image, float x, float y)
    {
        return image.pixelColor(QuadScene::pixelOf(x, y, kSide));
    }
};
