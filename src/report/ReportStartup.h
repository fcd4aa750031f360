#pragma once

#include "callstack/DebugData.h"
#include "report/ConfigBlock.h"
#include "report/ExceptionManager.h"

#include <functional>
#include <string>
#include <vector>

// Starting crash reporting in a program, and the library start-up and
// shut-down steps that run through it.

// What a front end tells crash reporting at start-up.
struct TReportFrontEnd {
    std::vector<TKnownRoutine> Routines; // the hooked routines, for the block's check
    std::string Description;             // the program's title (GBK)
    std::string Version;                 // "a.b.c.d"
    std::string DisplayMode, DisplayDpi; // empty without a screen
    std::function<TPresentationResult(const TPresentation&)> Present;
    std::function<void()> Pump;
    std::function<void(const std::string&)> CopyToClipboard;
};

// Records the start-up folder and command line, reads the program's
// configuration block (the defaults hold without one) and installs the
// manager. Returns whether the block was read.
bool StartCrashReporting(const TReportFrontEnd& frontEnd);

// The inflated debug-data block the program carries; empty without one.
// Written once by StartCrashReporting, read-only after.
const std::vector<std::uint8_t>& ProgramDebugData();

// The build stamp of that block (seconds since 1970, UTC); 0 without one.
std::uint64_t ProgramBuildStamp();

// The names of the program's frames from that block; null without a block
// this program can read. Set up by StartCrashReporting, read-only after.
const TDebugData* ProgramDebugNames();

// The real environment: gathering and text of the report, the crash log
// beside the program, restart and termination.
TReportEnvironment ProgramEnvironment(const TReportFrontEnd& frontEnd);

// Shows "Error in <stage>." in a box titled "Error".
using TStageFailureBox = std::function<void(const std::string& title, const std::string& text)>;

// Runs one library start-up or shut-down step ("SysUtils Initialization",
// "Classes Finalization", ...). A failure is shown in the box and does not
// stop the program; returns whether the step succeeded.
bool RunLibraryStep(const std::string& stage, const std::function<void()>& step,
                    const TStageFailureBox& box);
