#include "app/resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void RegisterBrelvixResources()
{
    Q_INIT_RESOURCE(brelvix);
}

namespace brelvix::app {

void InitBrelvixResources()
{
    static const bool registered = [] {
        RegisterBrelvixResources();
        return true;
    }();
    (void)registered;
}

}  // namespace brelvix::app
