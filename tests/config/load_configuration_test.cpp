#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "config/configuration.h"
#include "config_test_support.h"

namespace {

// The configuration file of this test program: its own path plus ".cfg".
std::string OwnConfigurationPath() {
    char path[4096];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    EXPECT_GT(length, 0u);
    EXPECT_LT(length, sizeof path);
    return ConfigurationPath(std::string(path, length));
}

class LoadConfigurationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = OwnConfigurationPath();
        std::remove(path_.c_str());
        ClearList();
    }
    void TearDown() override {
        std::remove(path_.c_str());
        ClearList();
    }
    static void ClearList() {
        for (Parameter* p : ParameterList) {
            delete p;
        }
        ParameterList.clear();
    }
    void Write(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }
    std::string path_;
};

TEST_F(LoadConfigurationTest, ReadsTheFileBesideTheProgramIntoTheList) {
    Write("# synth\r\nCutoff 74 0 127\r\nResonance 71 10 90");
    ASSERT_TRUE(LoadConfiguration()) << path_;
    EXPECT_EQ(ValuesOf(ParameterList),
              (std::vector<ParameterValues>{{"Cutoff", 74, 0, 127}, {"Resonance", 71, 10, 90}}));
}

TEST_F(LoadConfigurationTest, AnEmptyFileIsFoundAndGivesNoParameters) {
    Write("");
    EXPECT_TRUE(LoadConfiguration()) << path_;
    EXPECT_TRUE(ParameterList.empty());
}

TEST_F(LoadConfigurationTest, AMissingFileIsFalseAndAddsNothing) {
    EXPECT_FALSE(LoadConfiguration()) << path_;
    EXPECT_TRUE(ParameterList.empty());
}

TEST(ProgramPathTest, ModuleFileNameIsCutAndFlaggedWhenTheBufferIsTooSmall) {
    char whole[4096];
    const DWORD length = GetModuleFileNameA(nullptr, whole, sizeof whole);
    ASSERT_GT(length, 4u);
    char small[4];
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), sizeof small);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(small), std::string(whole, 3));
}

}  // namespace
