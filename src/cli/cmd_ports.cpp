// talpir-flash ports: the serial ports of this machine, one a line.
#include <QSerialPortInfo>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"

namespace talpir::cli {

namespace {

constexpr char kUsage[] =
    "Usage: talpir-flash ports\n"
    "\n"
    "Lists the serial ports of this machine: the name to give to 'write --port', a\n"
    "description, the USB vendor:product id (hex) where known, and the device path.\n";

constexpr char kUnknown[] = "-";

struct PortRow {
    std::string name;
    std::string description;
    std::string usbId;
    std::string location;
};

std::string usbId(const QSerialPortInfo& info) {
    if (!info.hasVendorIdentifier() || !info.hasProductIdentifier()) {
        return kUnknown;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%04x", info.vendorIdentifier(),
                  info.productIdentifier());
    return text;
}

std::vector<PortRow> portRows() {
    std::vector<PortRow> rows;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString description = info.description();
        rows.push_back({info.portName().toStdString(),
                        description.isEmpty() ? kUnknown : description.toStdString(), usbId(info),
                        info.systemLocation().toStdString()});
    }
    std::sort(rows.begin(), rows.end(),
              [](const PortRow& a, const PortRow& b) { return a.name < b.name; });
    return rows;
}

// Display width of UTF-8 text: descriptions may hold more than ASCII.
std::size_t columns(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::string padded(const std::string& text, std::size_t width) {
    return text + std::string(width - std::min(width, columns(text)), ' ');
}

void printRows(const std::vector<PortRow>& rows) {
    std::size_t nameWidth = 0;
    std::size_t descriptionWidth = 0;
    for (const PortRow& row : rows) {
        nameWidth = std::max(nameWidth, columns(row.name));
        descriptionWidth = std::max(descriptionWidth, columns(row.description));
    }
    for (const PortRow& row : rows) {
        std::printf("%s  %s  %-9s  %s\n", padded(row.name, nameWidth).c_str(),
                    padded(row.description, descriptionWidth).c_str(), row.usbId.c_str(),
                    row.location.c_str());
    }
}

}  // namespace

int runPorts(int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        }
        std::fprintf(stderr, "talpir-flash ports: unexpected argument '%s'\n\n%s", argv[i], kUsage);
        return kExitUsage;
    }
    const std::vector<PortRow> rows = portRows();
    if (rows.empty()) {
        std::puts("no serial ports found");
    } else {
        printRows(rows);
    }
    return kExitOk;
}

}  // namespace talpir::cli
