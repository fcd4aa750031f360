// A program that restarts itself once, as a report's restart does.
//   restart-probe MARKER OUTPUT [ARGS...]
// First run: creates MARKER, moves to another folder and restarts. Second
// run: writes its folder, arguments, process group and environment to OUTPUT.
#include "report/ReportOptions.h"
#include "report/Restart.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    RecordStartupInfo();
    if (!std::filesystem::exists(argv[1])) {
        std::ofstream(argv[1]) << "started";
        if (chdir("/") != 0)
            return 3;
        EndProcess(kOperationRestart);
    }
    std::ofstream out(std::string(argv[2]) + ".part");
    out << StartupInfo().WorkingDirectory << "\n";
    for (int i = 0; i < argc; ++i)
        out << argv[i] << "|";
    const char* marker = std::getenv("RESTART_PROBE");
    out << "\n" << (getpgrp() == getpid()) << "\n" << (marker != nullptr ? marker : "") << "\n";
    out.close();
    std::filesystem::rename(std::string(argv[2]) + ".part", argv[2]);
    return 0;
}
