#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>

typedef struct Dwfl_Module Dwfl_Module;

// "QDialog::exec()+0x1cf": the symbol whose code holds `code` in `module`,
// demangled, and the distance of `address` from its start (a return address
// is looked up by the call before it, `code`, but shown as it stands). Read
// from the module's symbol table, .symtab where the file keeps one, else
// .dynsym; empty when neither has a symbol there. Texts are GBK like every
// text of a report; symbol names are ASCII.
std::string SymbolOf(Dwfl_Module* module, std::uint64_t code, std::uint64_t address);

// Names addresses of a process's libraries from their symbol tables, for the
// frames our debug data does not cover. The modules are those the process has
// mapped when this is made; the files are opened as names are asked for.
// Used by one thread.
class TSymbolNames {
public:
    explicit TSymbolNames(pid_t process);
    ~TSymbolNames();
    TSymbolNames(const TSymbolNames&) = delete;
    TSymbolNames& operator=(const TSymbolNames&) = delete;

    std::string Name(std::uint64_t code, std::uint64_t address) const;

private:
    struct TSession;
    std::unique_ptr<TSession> session_;
};
