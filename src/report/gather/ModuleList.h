#pragma once

#include "report/text/ReportData.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The modules loaded into this process, in load order, the program first.
// Handle is the lowest address a module's segments are loaded at; name, size
// and modification time come from its file, and Path is the file's folder. A
// shared library's version is the numbers of its file name, the program's is
// `programVersion`; only the program has a description. Texts are GBK.
std::vector<TModuleInfo> ListModules(const std::string& programDescription,
                                     const std::string& programVersion);

// A module as its file tells it: name and folder (GBK), and, when `figures`
// (the file to read them from: a running program's own may have been
// replaced since) can be read, size, modification time and the version a
// shared library's file name carries. Handle, extent and description stay
// empty.
TModuleInfo ModuleOfFile(const std::string& file, const std::string& figures);

// The module whose segments span `address`, or nullptr.
const TModuleInfo* ModuleAt(const std::vector<TModuleInfo>& modules, std::uint64_t address);

// The version a shared library's file name carries: "libfoo.so.6.4.2" gives
// "6.4.2.0", "libc.so.6" gives "6.0.0.0"; empty when the name has none.
std::string VersionFromFileName(std::string_view fileName);
