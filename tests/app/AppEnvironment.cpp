#include "app/Application.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

// One application object for every test of the window, on the offscreen
// platform unless the environment names another.
class AppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<TApplication>(argc_, argv_);
        app_->SetTitle(QString::fromUtf8("设备查找"));
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[10] = "app_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<TApplication> app_;
};

const auto* const registered = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

} // namespace
