#include "texture/TextureResources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void registerTextureShaders()
{
    Q_INIT_RESOURCE(TextureShaders);
}

namespace ColorExtrapolation {

void initTextureResources()
{
    static const bool registered = (registerTextureShaders(), true);
    Q_UNUSED(registered);
}

}  // namespace ColorExtrapolation
