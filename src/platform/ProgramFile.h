#pragma once

#include <string>

// The running program's file, also when it was started through the dynamic
// loader. Once the file was removed or replaced while the program runs (an
// update), the kernel names it "<path> (deleted)"; the program's name is
// still the path's own.
std::string ProgramFile();

// Whether /proc/self/exe names another file than the program's: the
// dynamic loader the program was started through.
bool StartedThroughLoader();

// A link read from /proc/<pid>/exe without the kernel's " (deleted)" mark.
std::string WithoutDeletedMark(std::string link);
