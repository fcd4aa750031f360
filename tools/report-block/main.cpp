// report-block: writes the crash-reporting configuration block for a linked
// program. The hook directory comes from the program's symbol table, the
// options are the ones this system ships with, and the debug data (optional)
// is a file made from the program's debug information.
//
//   report-block PROGRAM OUTPUT [DEBUG-DATA]
#include "report/ConfigBlock.h"

#include <cstdio>
#include <ctime>
#include <cxxabi.h>
#include <fcntl.h>
#include <fstream>
#include <gelf.h>
#include <iterator>
#include <libelf.h>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

struct THookRoutine {
    THookId Id;
    const char* Name; // demangled, up to the parameter list
};

constexpr THookRoutine kHookRoutines[] = {
    {kHookHandleException, "TApplication::HandleException("},
    {kHookShowException, "TApplication::ShowException("},
    {kHookDoException, "TIdThread::DoException("},
};

std::string Demangled(const char* name) {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> text(
        abi::__cxa_demangle(name, nullptr, nullptr, &status), &std::free);
    return status == 0 ? std::string(text.get()) : std::string(name);
}

// The directory entries of the routines the program defines. A program
// without one of them (the headless front end has no application object)
// simply has no entry for it.
std::vector<THookEntry> HookDirectory(const std::string& program) {
    std::vector<THookEntry> hooks;
    const int fd = open(program.c_str(), O_RDONLY | O_CLOEXEC);
    elf_version(EV_CURRENT);
    Elf* elf = fd < 0 ? nullptr : elf_begin(fd, ELF_C_READ, nullptr);
    for (Elf_Scn* section = elf == nullptr ? nullptr : elf_nextscn(elf, nullptr);
         section != nullptr; section = elf_nextscn(elf, section)) {
        GElf_Shdr header;
        if (gelf_getshdr(section, &header) == nullptr || header.sh_type != SHT_SYMTAB)
            continue;
        Elf_Data* data = elf_getdata(section, nullptr);
        const std::size_t count = header.sh_entsize == 0 ? 0 : header.sh_size / header.sh_entsize;
        for (std::size_t i = 0; data != nullptr && i < count; ++i) {
            GElf_Sym symbol;
            if (gelf_getsym(data, static_cast<int>(i), &symbol) == nullptr ||
                GELF_ST_TYPE(symbol.st_info) != STT_FUNC || symbol.st_value == 0)
                continue;
            const std::string name = Demangled(elf_strptr(elf, header.sh_link, symbol.st_name));
            for (const THookRoutine& routine : kHookRoutines)
                if (name.starts_with(routine.Name) && name.find("[clone") == std::string::npos)
                    hooks.push_back(
                        {routine.Id,
                         static_cast<std::uint32_t>(symbol.st_value - kHookLocationBias), 0});
        }
    }
    if (elf != nullptr)
        elf_end(elf);
    if (fd >= 0)
        close(fd);
    if (elf == nullptr)
        throw std::runtime_error("cannot read " + program);
    return hooks;
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The options this system ships with: the built-in defaults, with the log
// flag set, no freeze time-out, a sender address of its own and the texts.
TReportOptions ShippedOptions() {
    TReportOptions options;
    options.LogFlag = true;
    options.FreezeTimeout = 0;
    options.MailFrom = "support@finder.test";
    options.Texts = DefaultTexts();
    return options;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fputs("usage: report-block PROGRAM OUTPUT [DEBUG-DATA]\n", stderr);
        return 2;
    }
    try {
        TConfigBlock block;
        block.TimeStamp = static_cast<std::uint64_t>(std::time(nullptr));
        block.Hooks = HookDirectory(argv[1]);
        block.Options = ShippedOptions();
        if (argc == 4)
            block.DebugData = ReadFile(argv[3]);
        const auto bytes = WriteConfigBlock(block);
        std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out.flush())
            throw std::runtime_error(std::string("cannot write ") + argv[2]);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "report-block: %s\n", failure.what());
        return 1;
    }
    return 0;
}
