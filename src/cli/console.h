// The console the command line writes to: UTF-8 output and whether a stream is a terminal.
#pragma once

#include <cstdio>

namespace talpir::cli {

// Lets the Russian texts (UTF-8) show correctly where the console has a code page of its own.
void prepareConsole();
bool isTerminal(std::FILE* stream);
// The bytes must reach a pipe unchanged: no "\n" to "\r\n" on Windows.
void setBinaryStdout();

}  // namespace talpir::cli
