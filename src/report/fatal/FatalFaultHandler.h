#pragma once

// Catching the faults a process dies of: SIGSEGV, SIGBUS, SIGFPE, SIGILL and
// SIGABRT (which std::terminate ends in, after noting the exception). The
// handler runs on the thread's alternate signal stack and makes only plain
// system calls until the reporter has the fault: it lets go of the display,
// starts this program's executable as the reporter process, sends it the
// fault over a socket, lets it trace this process and waits for it. Then the
// signal takes its default course, so the exit status and any core dump are
// as without reporting.

// Prepares and installs the handlers and gives the calling (first) thread
// its alternate signal stack. Call once at start-up, after crash reporting
// has started.
void InstallFatalFaultHandler();

// The socket of the process's connection to the display server, shut down
// by the handler so that the server drops the process's pointer and
// keyboard grabs, which would lock the reporter's dialog out. Call once the
// connection is open.
void SetFatalFaultDisplaySocket(int socket);

// True from the moment a fatal fault is being handled: whatever still runs
// on other threads draws nothing over the report.
bool FatalFaultInProgress();
