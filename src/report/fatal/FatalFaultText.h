#pragma once

#include "report/fatal/FatalFault.h"

#include <string>

// "SIGSEGV", "SIGABRT", ...: what the report's "Type" says for a fault.
std::string SignalName(int signal);

// The report's one-line message for a fault, e.g.
// "Segmentation fault at 00005633A1B2C3D4: read of address 0000000000000000 (address not mapped)."
// with the fault address and the kernel's reason where the signal carries
// them, who sent it when a process did, and the exception's type and message
// when std::terminate led to it. `inStackGuard`: the fault address lies where
// the faulting thread's stack runs out; a read or write there is said to be a
// stack overflow.
std::string FatalFaultMessage(const TFatalFault& fault, bool inStackGuard = false);
