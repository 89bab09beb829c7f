#include "rendering/RenderingResources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void registerMeshAndLayerShaders()
{
    Q_INIT_RESOURCE(MeshAndLayerShaders);
}

namespace Viewport3D {

void initRenderingResources()
{
    static const bool registered = (registerMeshAndLayerShaders(), true);
    Q_UNUSED(registered);
}

}  // namespace Viewport3D
