#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "config/configuration.h"
#include "config_test_support.h"
#include "kernel32/unicode_text.h"

namespace {

// The configuration file of this test program: its own path plus ".cfg".
std::string OwnConfigurationPath() {
    WCHAR path[4096];
    const DWORD length = GetModuleFileNameW(nullptr, path, 4096);
    EXPECT_GT(length, 0u);
    EXPECT_LT(length, 4096u);
    return ConfigurationPath(Utf8Of(std::u16string(path, length)));
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
    WCHAR whole[4096];
    const DWORD length = GetModuleFileNameW(nullptr, whole, 4096);
    ASSERT_GT(length, 4u);
    WCHAR small[4];
    EXPECT_EQ(GetModuleFileNameW(nullptr, small, 4), 4u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::u16string(small), std::u16string(whole, 3));
}

}  // namespace
