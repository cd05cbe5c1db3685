// The console on POSIX systems: already UTF-8, a terminal when isatty says so.
#include <unistd.h>

#include "cli/console.h"

namespace talpir::cli {

void prepareConsole() {}

bool isTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) == 1;
}

void setBinaryStdout() {}

}  // namespace talpir::cli
