#include "rendering/RenderingResources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void registerShaderResources()
{
    Q_INIT_RESOURCE(MeshAndLayerShaders);
    Q_INIT_RESOURCE(LabelShaders);
    Q_INIT_RESOURCE(Viewport2DResources);
}

namespace Viewport3D {

void initRenderingResources()
{
    static const bool registered = (registerShaderResources(), true);
    Q_UNUSED(registered);
}

}  // namespace Viewport3D
