// The scene-object base and the shader programs of the mesh renderer and the
// results view: notices of the base, point transforms, and every program
// compiling and linking on a real GL context.
#include "rendering/GLObject.h"
#include "rendering/RenderingResources.h"
#include "rendering/Viewport3D2.h"
#include "rendering/Viewport3DLayered/glrenderplane.h"
#include "support/GLViewTestHelpers.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"
#include "support/TempFiles.h"

#include <QFile>
#include <QOpenGLShaderProgram>
#include <memory>

using Viewport3D::GLObject;

TEST(SceneObjectBase, VirtualBodiesOnlyLogTheirNotices)
{
    TestSupport::LogCapture log;
    GLObject object;
    EXPECT_TRUE(object.isVisible());
    EXPECT_TRUE(object.modelMatrix.isIdentity());
    object.initialize();
    object.draw();
    object.draw(QMatrix4x4(), QMatrix4x4(), QSize(10, 10));
    EXPECT_EQ(object.aaBoundingBox(), Viewport3D::BoundingBox(QVector3D(0, 0, 0), QVector3D(0, 0, 0)));
    EXPECT_EQ(log.texts(QtDebugMsg),
              (QStringList{"Callin virtual method: initialize()", "Calling virtual method: draw()",
                           "Calling virtual method: draw()", "Calling virtual method: boundingBox()"}));
    object.setVisible(false);
    EXPECT_FALSE(object.visible);
}

TEST(SceneObjectBase, TransformPointsDividesByWOnlyWhenNeeded)
{
    const QVector<QVector3D> points{{1, 2, 3}, {-1, 0, 0.5f}};

    const QVector<QVector3D> same = GLObject::transformPoints(points, QMatrix4x4());
    EXPECT_EQ(same.constData(), points.constData()) << "the identity returns the input itself";

    QMatrix4x4 move;
    move.translate(1, 1, 1);
    move.scale(2);
    EXPECT_EQ(GLObject::transformPoints(points, move), (QVector<QVector3D>{{3, 5, 7}, {-1, 1, 2}}));

    // w = z: a perspective divide.
    const QMatrix4x4 projective(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0);
    const QVector<QVector3D> divided = GLObject::transformPoints(points, projective);
    EXPECT_EQ(divided[0], QVector3D(1.0f / 3, 2.0f / 3, 1));
    EXPECT_EQ(divided[1], QVector3D(-2, 0, 1));
}

TEST(ShaderResources, SurfaceAndLabelShadersDeclareNoVersionAndTheOthers330Compatibility)
{
    Viewport3D::initRenderingResources();
    struct Case {
        const char* path;
        bool versioned;
    };
    const Case cases[] = {
        {":/Viewport3D2/Shaders/SplittedShader.vert", false}, {":/Viewport3D2/Shaders/SplittedShader.frag", false},
        {":/Viewport3D2/Shaders/EdgeShader.vert", true},      {":/Viewport3D2/Shaders/EdgeShader.geom", true},
        {":/Viewport3D2/Shaders/EdgeShader.frag", true},      {":/Shaders/RenderPlaneShader.vert", true},
        {":/Shaders/RenderPlaneShader.frag", true},           {":/Viewport3D2/Shaders/TextWithLabels.vert", false},
        {":/Viewport3D2/Shaders/TextWithLabels.frag", false}, {":/Viewport2D/Shaders/ImageShader.vert", true},
        {":/Viewport2D/Shaders/ImageShader.frag", true},      {":/Viewport2D/Shaders/BackgroundShader.vert", true},
        {":/Viewport2D/Shaders/BackgroundShader.frag", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        QFile file(c.path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray source = file.readAll();
        if (c.versioned)
            EXPECT_TRUE(source.startsWith("#version 330 compatibility\n"));
        else
            EXPECT_FALSE(source.contains("#version"));
    }
}

class ShaderProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        view = std::make_unique<Viewport3D::Viewport3D2>();
        ASSERT_TRUE(TestSupport::showGLView(view.get(), QSize(64, 64), [this] { return view->isInitialized(); }));
        view->makeCurrent();
    }

    std::unique_ptr<Viewport3D::Viewport3D2> view;
};

TEST_F(ShaderProgramTest, EveryProgramCompilesAndLinks)
{
    TestSupport::LogCapture log;
    std::unique_ptr<QOpenGLShaderProgram> surface(GLObject::makeShaderProgramWithGeometry(
        ":/Viewport3D2/Shaders/SplittedShader.vert", ":/Viewport3D2/Shaders/SplittedShader.frag", QString()));
    std::unique_ptr<QOpenGLShaderProgram> edges(GLObject::makeShaderProgramWithGeometry(
        ":/Viewport3D2/Shaders/EdgeShader.vert", ":/Viewport3D2/Shaders/EdgeShader.frag",
        ":/Viewport3D2/Shaders/EdgeShader.geom"));
    std::unique_ptr<QOpenGLShaderProgram> plane(Viewport3D::GLRenderPlane::makeShaderProgram(
        ":/Shaders/RenderPlaneShader.vert", ":/Shaders/RenderPlaneShader.frag"));

    for (QOpenGLShaderProgram* program : {surface.get(), edges.get(), plane.get()}) {
        ASSERT_NE(program, nullptr);
        EXPECT_TRUE(program->isLinked());
        for (QOpenGLShader* shader : program->shaders())
            EXPECT_TRUE(shader->isCompiled()) << shader->log().toStdString();
    }
    EXPECT_EQ(edges->shaders().size(), 3) << "vertex, geometry and fragment stage";
    EXPECT_EQ(surface->shaders().size(), 2);
    for (const char* attribute : {"vertexAttr", "textureAttr", "normalAttr"})
        EXPECT_GE(surface->attributeLocation(attribute), 0) << attribute;
    for (const char* attribute : {"vertex", "edgeFlag"})
        EXPECT_GE(edges->attributeLocation(attribute), 0) << attribute;
    for (const char* attribute : {"vertex", "vertexT"})
        EXPECT_GE(plane->attributeLocation(attribute), 0) << attribute;
    EXPECT_FALSE(log.contains("Failed"));
}

TEST_F(ShaderProgramTest, TheTwoFileBuilderLogsTheFirstFailingStep)
{
    TestSupport::TempDir dir;
    const QString good = ":/Shaders/RenderPlaneShader.vert";
    const QString goodFragment = ":/Shaders/RenderPlaneShader.frag";
    const QString brokenSource = dir.write("broken.glsl", "#version 330 compatibility\nvoid main() { nonsense; }\n");
    // Compiles, but a program without an entry point cannot link.
    const QString noMain = dir.write("nomain.vert", "#version 330 compatibility\nvoid helper() {}\n");
    struct Case {
        const char* name;
        QString vertex;
        QString fragment;
        const char* message;
    };
    const Case cases[] = {
        {"missing_vertex_file", dir.filePath("absent.vert"), goodFragment, "Failed to compile vertex shader"},
        {"vertex_does_not_compile", brokenSource, goodFragment, "Failed to compile vertex shader"},
        {"fragment_does_not_compile", good, brokenSource, "Failed to compile fragment shader"},
        {"program_does_not_link", noMain, goodFragment, "Failed to link shader program"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestSupport::LogCapture log;
        EXPECT_EQ(GLObject::makeShaderProgram3(c.vertex, c.fragment), nullptr);
        EXPECT_EQ(log.texts(QtDebugMsg), QStringList{c.message}) << "exactly the first failure";
        log.clear();
        EXPECT_EQ(Viewport3D::GLRenderPlane::makeShaderProgram(c.vertex, c.fragment), nullptr);
        EXPECT_EQ(log.texts(QtDebugMsg), QStringList{c.message});

        // The builder with a geometry stage ignores compilation results (the
        // compatibility profile links a program without a vertex stage), logs
        // nothing, and returns null only when linking fails.
        log.clear();
        std::unique_ptr<QOpenGLShaderProgram> program(
            GLObject::makeShaderProgramWithGeometry(c.vertex, c.fragment, QString()));
        EXPECT_TRUE(log.texts(QtDebugMsg).isEmpty());
        if (c.vertex == noMain) {
            EXPECT_EQ(program, nullptr);
        }
    }
}
