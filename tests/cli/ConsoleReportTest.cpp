#include "cli/ConsoleReport.h"
#include "cli/Countdown.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace {

std::string Contents(std::FILE* file) {
    std::rewind(file);
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        text.append(buffer, n);
    return text;
}

} // namespace

TEST(ConsoleReport, UnexpectedExceptionIsReportedOnStandardErrorAndLogged) {
    std::FILE* err = std::tmpfile();
    TReportEnvironment environment = ProgramEnvironment(ConsoleFrontEnd(err));
    std::string logged;
    environment.SaveLog = [&](const std::string& text, const TReportOptions&) { logged = text; };
    InstallExceptionManager(std::make_unique<TExceptionManager>(TReportOptions{}, environment));
    EXPECT_EQ(ReportUnexpectedException(std::out_of_range("index 7"), err), 1);
    InstallExceptionManager(nullptr);

    const std::string shown = Contents(err);
    EXPECT_EQ(shown.rfind("device-finder-cli: index 7\nQuoxa 6.1.01 RC 1\n\n", 0), 0u) << shown;
    EXPECT_NE(shown.find("std::out_of_range"), std::string::npos);
    EXPECT_EQ(shown.find('\r'), std::string::npos) << "line ends made LF for the terminal";
    EXPECT_EQ(logged.rfind("Quoxa 6.1.01 RC 1\r\n", 0), 0u);

    // Without crash reporting only the message is told.
    std::FILE* plain = std::tmpfile();
    EXPECT_EQ(ReportUnexpectedException(std::out_of_range("index 8"), plain), 1);
    EXPECT_EQ(Contents(plain), "device-finder-cli: index 8\n");
    std::fclose(err);
    std::fclose(plain);
}

TEST(ConsoleReport, AReceivingThreadsFailureMakesTheExitStatus1) {
    EXPECT_FALSE(ReceivingThreadFailed());
    ReportThreadFailure(std::runtime_error("socket gone"));
    EXPECT_TRUE(ReceivingThreadFailed());
}

TEST(ConsoleReport, ReportStopsTheCountdownBeforeItsFirstLine) {
    std::FILE* err = std::tmpfile();
    TReportEnvironment environment = ProgramEnvironment(ConsoleFrontEnd(err));
    environment.SaveLog = [](const std::string&, const TReportOptions&) {};
    InstallExceptionManager(std::make_unique<TExceptionManager>(TReportOptions{}, environment));
    Countdown countdown(err, "searching");
    countdown.Show(std::chrono::seconds(3));
    ReportUnexpectedException(std::out_of_range("index 9"), err);
    countdown.Show(std::chrono::seconds(2));
    InstallExceptionManager(nullptr);
    const std::string shown = Contents(err);
    EXPECT_EQ(shown.rfind("\r\x1b[Ksearching, 3 s left\r\x1b[Kdevice-finder-cli: index 9\n", 0), 0u)
        << shown;
    EXPECT_EQ(shown.find("2 s left"), std::string::npos) << "no countdown over the report";
    std::fclose(err);
}
