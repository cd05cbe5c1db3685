// The ports every Windows machine is offered, present or not.
#include "window_controls.h"

QStringList fixedPortNames() {
    return {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9"};
}
