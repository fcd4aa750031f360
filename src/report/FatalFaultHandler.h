#pragma once

// Catching the faults a process dies of: SIGSEGV, SIGBUS, SIGFPE, SIGILL and
// SIGABRT (which std::terminate ends in, after noting the exception). The
// handler runs on the thread's alternate signal stack and does only
// async-signal-safe work prepared here: it starts this program's executable
// as the reporter process, sends it the fault through a pipe, lets it trace
// this process, waits for it, and then lets the signal take its default
// course, so the exit status and any core dump are as without reporting.

// Prepares and installs the handlers. Call once at start-up, after crash
// reporting has started and before any thread is created.
void InstallFatalFaultHandler();

// True from the moment a fatal fault is being handled: whatever still runs
// on other threads draws nothing over the report.
bool FatalFaultInProgress();
