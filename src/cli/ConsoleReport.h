#pragma once

#include "report/ReportStartup.h"

#include <cstdio>
#include <exception>

// Crash reporting for the headless front end: no dialog; a report goes to
// standard error (standard output carries the data) and to the program's
// crash log.

// The front end that writes each report to `err`.
TReportFrontEnd ConsoleFrontEnd(std::FILE* err);

// Starts crash reporting for this program, receiving threads included.
void StartConsoleReporting();

// An exception that ended a receiving thread: report it like the window
// program does, and remember it for the exit status.
bool ReportThreadFailure(const std::exception& failure);

// Whether a receiving thread ended on an exception since start-up: the
// command's output may then miss replies, and the program exits 1.
bool ReceivingThreadFailed();

// An exception nobody expected ended a command: report it (or, when crash
// reporting leaves it to us, tell its message) and give the exit code, 1.
int ReportUnexpectedException(const std::exception& failure, std::FILE* err);
