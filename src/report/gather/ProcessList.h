#pragma once

#include "report/text/ReportData.h"

#include <cstdint>
#include <string>
#include <vector>

// The processes running on this host, by rising id, read from `procRoot`
// (the /proc file system; another root serves tests). A process whose details
// cannot be read (another user's, or one that ended meanwhile) still gets a
// row with what could be read; an unknown thread count stays 0. The process
// the report is about, `described` (0: this one; the crashed one when a
// reporter process lists them), gets `description` and `version`. Texts are GBK.
std::vector<TProcessInfo> ListProcesses(const std::string& description, const std::string& version,
                                        const std::string& procRoot = "/proc",
                                        std::uint32_t described = 0);

// The priority class a scheduling policy and nice value stand for: a real-time
// policy is Real-Time; nice <= -10 High, -9 .. -1 Above-Normal, 0 Normal,
// 1 .. 9 Below-Normal, >= 10 Low.
TPriorityClass PriorityClassOf(int policy, int nice);
