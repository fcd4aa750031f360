#pragma once

#include <string>

// The running program's file. Once the file was removed or replaced while the
// program runs (an update), the kernel names it "<path> (deleted)"; the
// program's name is still the path's own.
std::string ProgramFile();

// A link read from /proc/<pid>/exe without the kernel's " (deleted)" mark.
std::string WithoutDeletedMark(std::string link);
