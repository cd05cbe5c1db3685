// Ctrl+C and termination requests, turned into a flag the transfer polls.
#pragma once

namespace talpir::cli {

// The first request sets the flag; a second one ends the program the default way.
void installInterruptHandler();
bool interrupted();

}  // namespace talpir::cli
