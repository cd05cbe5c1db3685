// The console on Windows: switched to UTF-8 output, a terminal when it is a character device.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "cli/console.h"

namespace talpir::cli {

void prepareConsole() {
    SetConsoleOutputCP(CP_UTF8);
}

bool isTerminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}

void setBinaryStdout() {
    _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace talpir::cli
