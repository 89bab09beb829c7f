#include "editing/EditingResources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void registerEditingShaders()
{
    Q_INIT_RESOURCE(EditingShaders);
}

namespace Viewport3D {

void initEditingResources()
{
    static const bool registered = (registerEditingShaders(), true);
    Q_UNUSED(registered);
}

}  // namespace Viewport3D
