// Elsewhere only the ports present are offered.
#include "window_controls.h"

QStringList fixedPortNames() {
    return {};
}
