#pragma once
// The fixture of the tests that run the engine on an X server of their own:
// a scratch folder, a virtual display, and the engine's environment pointed
// at both. Derived fixtures stop their child processes in their TearDown
// before calling this one's, which ends the server and then restores the
// environment.

#include "platform/registry/Store.h"
#include "platform/sys/TempFiles.h"
#include "tests/e2e/XSession.h"
#include "tests/platform/TestSupport.h"
#include "playback/SpeedCalibration.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace showsaver::e2e {

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_scratch.Path().empty()) << m_scratch.Error();
        m_display = std::make_unique<VirtualDisplay>((m_scratch.Path() / "xvfb.log").string());
        ASSERT_FALSE(m_display->Name().empty()) << m_display->Error();
        m_environment = EngineEnvironment(m_scratch.Path(), m_display->Name());
    }
    void TearDown() override {
        m_display.reset();
        m_environment.clear();
    }

    void SetEnvironment(const std::string& name, const std::string& value) {
        m_environment.push_back(std::make_unique<test::ScopedEnvironment>(name, value));
    }
    // Stores a speed calibration of this machine, so that the engine starts
    // without measuring for a second.
    static void StoreCalibration() {
        registry::Store store(registry::Store::DefaultDirectory());
        store.Set(registry::Hive::CurrentUser, SpeedCalibration::kKey, SpeedCalibration::kSysInfo, MachineFingerprint());
        store.Set(registry::Hive::CurrentUser, SpeedCalibration::kKey, SpeedCalibration::kTimes, uint32_t{1000000});
    }

    sys::TempDirectory m_scratch{std::filesystem::temp_directory_path()};
    std::unique_ptr<VirtualDisplay> m_display;
    std::vector<std::unique_ptr<test::ScopedEnvironment>> m_environment;
};

} // namespace showsaver::e2e
