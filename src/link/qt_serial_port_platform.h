// What opening a port needs that differs between platforms.
#pragma once

#include <QString>
#include <string>

class QSerialPort;

namespace talpir::link {

// The path to open for a port name as the operator typed it.
QString devicePath(const std::string& name);

// Makes an open port this program's alone; false (with why) when another program has it.
bool lockDevice(QSerialPort& port, std::string& why);

}  // namespace talpir::link
