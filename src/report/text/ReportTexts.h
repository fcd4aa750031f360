#pragma once

#include <array>
#include <string>

// The numbered texts every label, caption and button of crash reporting is
// taken from. The defaults are English; the configuration block may carry
// others, which are set over them at start-up.
class TReportTexts {
public:
    static constexpr int Count = 158;

    TReportTexts();

    // Index 0 .. Count - 1; anything else is a programming error.
    const std::string& operator[](int index) const { return texts_.at(index); }
    void Set(int index, std::string text) { texts_.at(index) = std::move(text); }

private:
    std::array<std::string, Count> texts_;
};

// Indices of the texts the report is laid out with. Each general block's item
// labels follow its header text in order.
namespace ReportTextIndex {
inline constexpr int CallStackInformation = 8;
inline constexpr int ModulesInformation = 10;
inline constexpr int ProcessesInformation = 12;
inline constexpr int Application = 37;
inline constexpr int Exception = 44;
inline constexpr int User = 55;
inline constexpr int ActiveControls = 61;
inline constexpr int Computer = 66;
inline constexpr int OperatingSystem = 78;
inline constexpr int Network = 84;
inline constexpr int CallStackColumns = 92; // six columns
inline constexpr int ThreadMain = 98;
inline constexpr int ExceptionThread = 99;
inline constexpr int RunningThread = 100;
inline constexpr int CallingThread = 101;
inline constexpr int ThreadId = 102;
inline constexpr int ThreadPriority = 103;
inline constexpr int ThreadClass = 104;
inline constexpr int ModuleColumns = 126;  // seven columns
inline constexpr int ProcessColumns = 133; // eight columns
inline constexpr int Registers = 141;
inline constexpr int Stack = 142;
inline constexpr int MemoryDump = 143;
} // namespace ReportTextIndex
