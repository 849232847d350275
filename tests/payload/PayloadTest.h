#pragma once

#include "log/Logger.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

// Opens the process-wide setup log on a file of the test's own and closes it again.
class SetupLogTest : public testing::Test {
  protected:
    void SetUp() override {
        OpenSetupLog(logDir.path());
        ASSERT_TRUE(Logger.good());
    }
    void TearDown() override {
        Logger.close();
        Logger.clear();
    }
    std::string LogText() const { return ReadBytes(logDir / L"Setup.log"); }

    TempDir logDir{L"plog"};
};

// The text of the runtime error the action raises; empty when it raises none.
inline std::string ErrorText(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return {};
}

// The "BIN" resource with the id as the build puts it into the test programs.
inline std::string TestPayload(uint16_t id) {
    std::string text;
    for (uint16_t line = 0; line < id; ++line) {
        text += std::to_string(id) + ":0123456789abcdefghijklmnopqrstuvwxyz\n";
    }
    return text;
}
