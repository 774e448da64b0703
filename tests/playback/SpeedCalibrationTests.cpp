#include "platform/registry/Store.h"
#include "playback/SpeedCalibration.h"

#include <gtest/gtest.h>

#include <regex>

namespace showsaver {
namespace {

using registry::Hive;
using namespace std::chrono_literals;

class SpeedCalibrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = std::filesystem::temp_directory_path() / ("showsaver-calibration-" + std::to_string(::getpid()));
        std::filesystem::remove_all(m_dir);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }
    std::filesystem::path m_dir;
};

TEST_F(SpeedCalibrationTest, FingerprintIsNineUnsignedNumbers) {
    EXPECT_TRUE(std::regex_match(MachineFingerprint(), std::regex("(\\d+,){8}\\d+")));
    EXPECT_EQ(MachineFingerprint(), MachineFingerprint());
}

TEST_F(SpeedCalibrationTest, MeasuresOnceThenReads) {
    registry::Store store(m_dir);
    SpeedCalibration calibration(store);
    uint32_t first = calibration.Measure(nullptr, 30ms);
    EXPECT_TRUE(calibration.Measured());
    EXPECT_GT(first, 0u);
    EXPECT_EQ(store.GetDword(Hive::CurrentUser, SpeedCalibration::kKey, "Times"), first);
    EXPECT_EQ(store.GetString(Hive::CurrentUser, SpeedCalibration::kKey, "SysInfo"), MachineFingerprint());

    EXPECT_EQ(calibration.Measure(nullptr, 30ms), first);
    EXPECT_FALSE(calibration.Measured());
}

TEST_F(SpeedCalibrationTest, ZeroOrAnotherMachineMeasuresAgain) {
    registry::Store store(m_dir);
    store.Set(Hive::CurrentUser, SpeedCalibration::kKey, "SysInfo", MachineFingerprint());
    store.Set(Hive::CurrentUser, SpeedCalibration::kKey, "Times", uint32_t{0});
    SpeedCalibration calibration(store);
    EXPECT_GT(calibration.Measure(nullptr, 20ms), 0u);
    EXPECT_TRUE(calibration.Measured());

    store.Set(Hive::CurrentUser, SpeedCalibration::kKey, "SysInfo", std::string("4096,65536,1,1,1,586,65536,6,0"));
    store.Set(Hive::CurrentUser, SpeedCalibration::kKey, "Times", uint32_t{12345});
    uint32_t measured = calibration.Measure(nullptr, 20ms);
    EXPECT_TRUE(calibration.Measured());
    EXPECT_NE(measured, 12345u);
    EXPECT_EQ(store.GetString(Hive::CurrentUser, SpeedCalibration::kKey, "SysInfo"), MachineFingerprint());
}

} // namespace
} // namespace showsaver
