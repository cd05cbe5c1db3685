// Opening a port on POSIX systems: the real device behind a link, and a lock on it.
#include <sys/file.h>

#include <QFileInfo>
#include <QSerialPort>
#include <cerrno>
#include <cstring>

#include "link/qt_serial_port_platform.h"

namespace talpir::link {

// QSerialPort names its lock file after the path it opens: a link to the device (such as
// /dev/serial/by-id/...) must lock the device itself, or two programs could share the port.
// A bare name is a device in /dev, as QSerialPort takes it on Unix.
QString devicePath(const std::string& name) {
    const QString path = QString::fromStdString(name);
    const QFileInfo info(path.contains(QLatin1Char('/')) ? path : QStringLiteral("/dev/") + path);
    const QString target = info.isSymbolicLink() ? info.canonicalFilePath() : QString();
    return target.isEmpty() ? path : target;
}

// The lock file only keeps out programs that honour it, and a terminal's exclusive mode
// does not hold against root: a lock on the open device keeps out the rest that lock it.
bool lockDevice(QSerialPort& port, std::string& why) {
    if (::flock(static_cast<int>(port.handle()), LOCK_EX | LOCK_NB) == 0) {
        return true;
    }
    why = errno == EWOULDBLOCK ? "the port is in use by another program" : std::strerror(errno);
    return false;
}

}  // namespace talpir::link
