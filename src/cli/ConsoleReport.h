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

// An exception nobody expected ended a command: report it (or, when crash
// reporting leaves it to us, tell its message) and give the exit code, 1.
int ReportUnexpectedException(const std::exception& failure, std::FILE* err);
