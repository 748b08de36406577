#include "PbxResources.h"

#include <QtCore/qglobal.h>

// Q_INIT_RESOURCE names a function of the global namespace, so it cannot sit inside pbx::.
static void registerPbxResources() {
    Q_INIT_RESOURCE(pbx);
}

namespace pbx {

void initResources() {
    // A function-local static runs the registration once, even with callers on several threads.
    static const bool registered = (registerPbxResources(), true);
    Q_UNUSED(registered);
}

} // namespace pbx
