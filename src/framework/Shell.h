// Starting another program.
#pragma once
#include <string>

// Starts the command line with its window shown normally and returns at
// once. WinExec would wait up to 30 s for the program to go idle, and
// freeze the caller's windows meanwhile.
bool runCommandLine(const std::string& commandLine);
