// Starting another program.
#pragma once
#include <string>

// Starts `program` (such as "control.exe") from the system folder with these
// arguments, its window shown normally, and returns at once. By its full
// path: a bare name would be looked for first beside this program and in the
// current folder, where a download may have put a program of that name.
// WinExec would also wait up to 30 s for the program to go idle, and freeze
// the caller's windows meanwhile.
bool runSystemProgram(const std::string& program, const std::string& arguments);
