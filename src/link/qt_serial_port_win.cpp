// Opening a port on Windows: COM devices are opened for exclusive use by the system itself.
#include <QSerialPort>

#include "link/qt_serial_port_platform.h"

namespace talpir::link {

QString devicePath(const std::string& name) {
    return QString::fromStdString(name);
}

bool lockDevice(QSerialPort&, std::string&) {
    return true;
}

}  // namespace talpir::link
