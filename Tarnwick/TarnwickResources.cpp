#include "Tarnwick/TarnwickResources.h"

#include <QtGlobal>

static void registerTarnwickImages()
{
    Q_INIT_RESOURCE(TarnwickImages);
}

void initTarnwickResources()
{
    static const bool registered = (registerTarnwickImages(), true);
    Q_UNUSED(registered);
}
