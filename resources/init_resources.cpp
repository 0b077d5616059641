#include "resources/init_resources.h"

#include <QtCore/qglobal.h>

#include <mutex>

// Q_INIT_RESOURCE names a function in the global namespace, so it is called from here.
static void RegisterResources() {
    Q_INIT_RESOURCE(resources);
}

void InitTapwatchResources() {
    static std::once_flag once;
    std::call_once(once, RegisterResources);
}
