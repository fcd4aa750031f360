#include "callstack/SymbolNames.h"

#include <cxxabi.h>
#include <elfutils/libdwfl.h>

#include <cstdio>
#include <cstdlib>

namespace {

// Only the modules' own files are read; no separate debug files are looked
// for, and none fetched from a network service.
int NoDebugInfo(Dwfl_Module*, void**, const char*, Dwarf_Addr, const char*, const char*, GElf_Word,
                char**) {
    return -1;
}

char* noDebugPath = nullptr;
const Dwfl_Callbacks kCallbacks = {dwfl_linux_proc_find_elf, NoDebugInfo, nullptr, &noDebugPath};

std::string Demangled(const char* name) {
    int status = 0;
    char* readable = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    const std::string result = status == 0 && readable ? readable : name;
    std::free(readable);
    return result;
}

} // namespace

std::string SymbolOf(Dwfl_Module* module, std::uint64_t code, std::uint64_t address) {
    GElf_Off offset = 0;
    GElf_Sym symbol{};
    const char* name =
        module ? dwfl_module_addrinfo(module, code, &offset, &symbol, nullptr, nullptr, nullptr)
               : nullptr;
    if (name == nullptr || *name == '\0')
        return "";
    char distance[24];
    std::snprintf(distance, sizeof distance, "+0x%llx",
                  static_cast<unsigned long long>(offset + (address - code)));
    return Demangled(name) + distance;
}

struct TSymbolNames::TSession {
    Dwfl* Session = nullptr;
    ~TSession() {
        if (Session)
            dwfl_end(Session);
    }
};

TSymbolNames::TSymbolNames(pid_t process) : session_(std::make_unique<TSession>()) {
    session_->Session = dwfl_begin(&kCallbacks);
    if (session_->Session == nullptr)
        return;
    dwfl_report_begin(session_->Session);
    dwfl_linux_proc_report(session_->Session, process);
    dwfl_report_end(session_->Session, nullptr, nullptr);
}

TSymbolNames::~TSymbolNames() = default;

std::string TSymbolNames::Name(std::uint64_t code, std::uint64_t address) const {
    if (session_->Session == nullptr)
        return "";
    return SymbolOf(dwfl_addrmodule(session_->Session, code), code, address);
}
