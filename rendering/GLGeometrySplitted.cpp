#include "rendering/GLGeometrySplitted.h"

#include "rendering/RenderingResources.h"

#include <QDebug>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>

#include <algorithm>

namespace Viewport3D {

GLGeometrySplitted::GLGeometrySplitted(const QVector<QVector3D>& positions,
                                       const QVector<QVector2D>& textureCoordinates, const QVector<QVector3D>& normals,
                                       const QVector<float>& edgeFlags, const BoundingBox& box,
                                       const QList<ShadingGroup>& groups, const QList<QVector<bool>>& cornerMasks)
    : vertexBuffer(QOpenGLBuffer::VertexBuffer),
      shadingGroups(groups),
      cornerCount(positions.size()),
      boundingBox(box),
      hasTextureCoordinates(!textureCoordinates.isEmpty())
{
    initRenderingResources();

    vertexBuffer.create();
    vertexBuffer.setUsagePattern(QOpenGLBuffer::DynamicDraw);
    if (!vertexBuffer.bind()) {
        qDebug() << "Failed to bind vertex buffer";
        // Keep one (empty) run list per group so that group indices stay valid.
        for (int i = 0; i < shadingGroups.size(); ++i) {
            runStarts.append(QVector<int>());
            runCounts.append(QVector<int>());
        }
        return;
    }
    const int n = cornerCount;
    const int t = hasTextureCoordinates ? 1 : 0;
    vertexBuffer.allocate(28 * n + 8 * n * t);
    // Short arrays are written as far as they go; nothing is read past their end.
    vertexBuffer.write(0, positions.constData(), 12 * n);
    if (t)
        vertexBuffer.write(textureOffset(), textureCoordinates.constData(), 8 * std::min(n, textureCoordinates.size()));
    vertexBuffer.write(normalOffset(), normals.constData(), 12 * std::min(n, normals.size()));
    vertexBuffer.write(edgeFlagOffset(), edgeFlags.constData(), 4 * std::min(n, edgeFlags.size()));
    vertexBuffer.release();
    hasData_ = true;

    for (int i = 0; i < shadingGroups.size(); ++i) {
        QVector<int> starts, counts;
        maskToRuns(cornerMasks.value(i), starts, counts);
        runStarts.append(starts);
        runCounts.append(counts);
    }

    surfaceProgram = makeShaderProgramWithGeometry(":/Viewport3D2/Shaders/SplittedShader.vert",
                                                   ":/Viewport3D2/Shaders/SplittedShader.frag", QString());
    edgeProgram =
        makeShaderProgramWithGeometry(":/Viewport3D2/Shaders/EdgeShader.vert", ":/Viewport3D2/Shaders/EdgeShader.frag",
                                      ":/Viewport3D2/Shaders/EdgeShader.geom");
}

GLGeometrySplitted::~GLGeometrySplitted()
{
    delete surfaceProgram;
    delete edgeProgram;
    removeTexture();
    vertexBuffer.destroy();
}

void GLGeometrySplitted::initialize() {}

void GLGeometrySplitted::draw()
{
    // Nothing to draw with: an object whose buffer failed, or whose programs
    // could not be built, stays invisible instead of failing.
    if (!hasData_ || !surfaceProgram || !edgeProgram)
        return;

    QOpenGLFunctions* gl = QOpenGLContext::currentContext()->functions();
    vertexBuffer.bind();
    glDisable(GL_CULL_FACE);
    if (textureEnabled) {
        gl->glActiveTexture(GL_TEXTURE0);
        texture->bind();
    }

    // Last group first: with depth function GL_LESS a corner already drawn by
    // a later-added group keeps its colour.
    for (int i = shadingGroups.size() - 1; i >= 0; --i) {
        const ShadingGroup& group = shadingGroups[i];

        surfaceProgram->bind();
        surfaceProgram->setAttributeBuffer("vertexAttr", GL_FLOAT, 0, 3);
        surfaceProgram->enableAttributeArray("vertexAttr");
        if (hasTextureCoordinates) {
            surfaceProgram->setAttributeBuffer("textureAttr", GL_FLOAT, textureOffset(), 2);
            surfaceProgram->enableAttributeArray("textureAttr");
        }
        surfaceProgram->setAttributeBuffer("normalAttr", GL_FLOAT, normalOffset(), 3);
        surfaceProgram->enableAttributeArray("normalAttr");

        // Faces are pushed back so that the group's edge lines win the depth test.
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glEnable(GL_POLYGON_OFFSET_FILL);
        glPolygonOffset(1.0f, 1.0f);

        surfaceProgram->setUniformValue("colorFront", group.colorFront);
        surfaceProgram->setUniformValue("colorBack", group.colorBack);
        surfaceProgram->setUniformValue("shaded", GLint(group.shaded));
        surfaceProgram->setUniformValue("texture", GLint(0));
        surfaceProgram->setUniformValue("useTexture", GLint(group.textured && textureEnabled && hasTextureCoordinates));
        surfaceProgram->setUniformValue("opacity", group.opacity);
        drawRuns(i);

        glDisable(GL_POLYGON_OFFSET_FILL);
        surfaceProgram->disableAttributeArray("vertexAttr");
        if (hasTextureCoordinates)
            surfaceProgram->disableAttributeArray("textureAttr");
        surfaceProgram->disableAttributeArray("normalAttr");
        surfaceProgram->release();

        if (group.wireVisible) {
            edgeProgram->bind();
            edgeProgram->setAttributeBuffer("vertex", GL_FLOAT, 0, 3);
            edgeProgram->enableAttributeArray("vertex");
            edgeProgram->setAttributeBuffer("edgeFlag", GL_FLOAT, edgeFlagOffset(), 1);
            edgeProgram->enableAttributeArray("edgeFlag");
            edgeProgram->setUniformValue("color", group.colorWire);
            glLineWidth(1.0f);
            drawRuns(i);
            edgeProgram->disableAttributeArray("vertex");
            edgeProgram->disableAttributeArray("edgeFlag");
            edgeProgram->release();
        }
    }

    if (textureEnabled)
        glBindTexture(GL_TEXTURE_2D, 0);
    vertexBuffer.release();
}

void GLGeometrySplitted::draw(const QMatrix4x4& view, const QMatrix4x4& projection, const QSize&)
{
    loadModelViewMatrix(view * modelMatrix);
    loadProjectionMatrix(projection);
    draw();
}

BoundingBox GLGeometrySplitted::aaBoundingBox() const
{
    return boundingBox;
}

void GLGeometrySplitted::updatePositions(const QVector<QVector3D>& cornerPositions)
{
    if (!hasData_)
        return;
    vertexBuffer.bind();
    vertexBuffer.write(0, cornerPositions.constData(), 12 * std::min(cornerCount, cornerPositions.size()));
    vertexBuffer.release();
}

void GLGeometrySplitted::updateNormals(const QVector<QVector3D>& cornerNormals)
{
    if (!hasData_)
        return;
    vertexBuffer.bind();
    vertexBuffer.write(normalOffset(), cornerNormals.constData(), 12 * std::min(cornerCount, cornerNormals.size()));
    vertexBuffer.release();
}

void GLGeometrySplitted::updateCornerRuns(const QVector<int>& starts, const QVector<int>& counts,
                                          const QVector<QVector3D>& cornerPositions,
                                          const QVector<QVector3D>& cornerNormals)
{
    if (!hasData_)
        return;
    vertexBuffer.bind();
    int packed = 0;
    for (int k = 0; k < starts.size() && k < counts.size(); ++k) {
        const int start = starts.at(k);
        const int count = std::min(counts.at(k), cornerCount - start);
        if (start < 0 || count <= 0 || packed + count > cornerPositions.size() || packed + count > cornerNormals.size())
            break;
        vertexBuffer.write(12 * start, cornerPositions.constData() + packed, 12 * count);
        vertexBuffer.write(normalOffset() + 12 * start, cornerNormals.constData() + packed, 12 * count);
        packed += counts.at(k);
    }
    vertexBuffer.release();
}

void GLGeometrySplitted::addShadingGroup(const ShadingGroup& group, const QVector<bool>& cornerMask)
{
    QVector<int> starts, counts;
    maskToRuns(cornerMask, starts, counts);
    shadingGroups.append(group);
    runStarts.append(starts);
    runCounts.append(counts);
}

ShadingGroup& GLGeometrySplitted::shadingGroup(int index)
{
    return shadingGroups[index];
}

void GLGeometrySplitted::setShadingGroupMask(int index, const QVector<bool>& cornerMask)
{
    if (index < 0 || index >= shadingGroups.size())
        return;
    QVector<int> starts, counts;
    maskToRuns(cornerMask, starts, counts);
    runStarts[index] = starts;
    runCounts[index] = counts;
}

void GLGeometrySplitted::removeShadingGroup(int index)
{
    if (index < 0 || index >= shadingGroups.size())
        return;
    shadingGroups.removeAt(index);
    runStarts.removeAt(index);
    runCounts.removeAt(index);
}

int GLGeometrySplitted::shadingGroupsCount() const
{
    return shadingGroups.size();
}

void GLGeometrySplitted::setTexture(const QImage& image)
{
    removeTexture();  // never leak the GL texture of an earlier image
    texture = new GLTexture(image);
    textureEnabled = true;
}

void GLGeometrySplitted::removeTexture()
{
    if (!texture)
        return;
    texture->destroy();
    delete texture;
    texture = nullptr;
    textureEnabled = false;
}

void GLGeometrySplitted::maskToRuns(const QVector<bool>& mask, QVector<int>& starts, QVector<int>& counts)
{
    bool previous = false;
    for (int i = 0; i < mask.size(); ++i) {
        const bool current = mask[i];
        if (current && !previous)
            starts.append(i);
        else if (!current && previous)
            counts.append(i - starts.last());
        previous = current;
    }
    if (previous)
        counts.append(mask.size() - starts.last());
}

void GLGeometrySplitted::drawRuns(int groupIndex)
{
    const QVector<int>& starts = runStarts[groupIndex];
    const QVector<int>& counts = runCounts[groupIndex];
    for (int j = 0; j < starts.size(); ++j) {
        // A mask longer than the buffer must not make GL read past its end.
        const int count = std::min(counts[j], cornerCount - starts[j]);
        if (count > 0)
            glDrawArrays(GL_TRIANGLES, starts[j], count);
    }
}

}  // namespace Viewport3D
