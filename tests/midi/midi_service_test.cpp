// The MIDI output service on a machine with neither MIDI API: no ALSA
// sequencer can be opened (ALSA_CONFIG_PATH names an empty configuration, so
// this holds on a desktop too) and no JACK server of the name asked for runs.
#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char kMonitorName[] = "Monitor (standard output)";

class NoMidiApis : public ::testing::Environment {
  public:
    void SetUp() override {
        const std::string suffix = std::to_string(getpid());
        setenv("JACK_DEFAULT_SERVER", ("velmora-absent-" + suffix).c_str(), 1);
        alsaConfiguration_ = ::testing::TempDir() + "velmora-empty-asound-" + suffix + ".conf";
        std::ofstream(alsaConfiguration_).close();
        setenv("ALSA_CONFIG_PATH", alsaConfiguration_.c_str(), 1);
    }
    void TearDown() override { std::remove(alsaConfiguration_.c_str()); }

  private:
    std::string alsaConfiguration_;
};

const auto* const noMidiApis = ::testing::AddGlobalTestEnvironment(new NoMidiApis);

// Sends what the process writes to one of its standard descriptors into a
// file until Finish, which returns it.
class CapturedDescriptor {
  public:
    explicit CapturedDescriptor(int descriptor) : descriptor_(descriptor) {
        std::fflush(nullptr);
        path_ = ::testing::TempDir() + "velmora-capture-" + std::to_string(getpid()) + "-" +
                std::to_string(descriptor);
        file_ = std::fopen(path_.c_str(), "w+");
        saved_ = dup(descriptor);
        dup2(fileno(file_), descriptor);
    }
    ~CapturedDescriptor() { Finish(); }

    std::string Finish() {
        if (file_ == nullptr) {
            return text_;
        }
        std::fflush(nullptr);
        dup2(saved_, descriptor_);
        close(saved_);
        std::ifstream captured(path_, std::ios::binary);
        std::ostringstream text;
        text << captured.rdbuf();
        text_ = text.str();
        std::fclose(file_);
        file_ = nullptr;
        std::remove(path_.c_str());
        return text_;
    }

  private:
    int descriptor_;
    int saved_ = -1;
    std::string path_;
    std::FILE* file_ = nullptr;
    std::string text_;
};

std::string DeviceName(UINT deviceId) {
    MIDIOUTCAPSA caps = {};
    if (midiOutGetDevCapsA(deviceId, &caps, sizeof caps) != MMSYSERR_NOERROR) {
        return "<no caps>";
    }
    return std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
}

HMIDIOUT OpenMonitor() {
    const UINT count = midiOutGetNumDevs();
    HMIDIOUT handle = nullptr;
    if (count == 0 || DeviceName(count - 1) != kMonitorName ||
        midiOutOpen(&handle, count - 1, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        return nullptr;
    }
    return handle;
}

// A handle value that midiOutOpen never gave out.
HMIDIOUT Garbage() {
    static int somewhere;
    return reinterpret_cast<HMIDIOUT>(&somewhere);
}

// How long looking for the missing APIs takes is bench/midi_bench.cpp's.
TEST(DeviceListWithoutMidi, HoldsOnlyTheMonitor) {
    CapturedDescriptor standardError(STDERR_FILENO);
    const UINT count = midiOutGetNumDevs();
    const std::string complaints = standardError.Finish();

    ASSERT_EQ(count, 1u);
    EXPECT_EQ(DeviceName(0), kMonitorName);
    EXPECT_EQ(complaints, "") << "looking for the missing APIs printed this";
}

TEST(DeviceListWithoutMidi, CapabilitiesDescribeAMidiPort) {
    ASSERT_EQ(midiOutGetNumDevs(), 1u);
    MIDIOUTCAPSA caps;
    std::memset(&caps, 0xCC, sizeof caps);
    ASSERT_EQ(midiOutGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, kMonitorName);
    EXPECT_EQ(caps.wTechnology, MOD_MIDIPORT);
    EXPECT_EQ(caps.wChannelMask, 0xFFFF);
    EXPECT_EQ(caps.dwSupport, 0u);
}

// The dialog asks the count again before every turn of its listing; what a
// turn costs is bench/midi_bench.cpp's.
TEST(DeviceListWithoutMidi, CountInsideAListingStaysTheSame) {
    ASSERT_EQ(midiOutGetNumDevs(), 1u);
    MIDIOUTCAPSA caps;
    for (int turn = 0; turn < 100; ++turn) {
        ASSERT_EQ(midiOutGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
        ASSERT_EQ(midiOutGetNumDevs(), 1u) << "turn " << turn;
    }
}

TEST(DeviceListWithoutMidi, BadCapabilityQueriesFail) {
    const UINT count = midiOutGetNumDevs();
    MIDIOUTCAPSA caps;
    for (UINT_PTR deviceId :
         {UINT_PTR{count}, UINT_PTR{count} + 1, UINT_PTR{0xFFFF}, UINT_PTR{UINT_MAX}}) {
        EXPECT_EQ(midiOutGetDevCapsA(deviceId, &caps, sizeof caps), MMSYSERR_BADDEVICEID)
            << "device " << deviceId;
    }
    EXPECT_NE(midiOutGetDevCapsA(0, nullptr, sizeof caps), MMSYSERR_NOERROR) << "no record";
}

TEST(OpenWithoutMidi, BadDeviceLeavesTheHandleNull) {
    const UINT count = midiOutGetNumDevs();
    const struct {
        UINT deviceId;
        DWORD flags;
    } cases[] = {
        {count, CALLBACK_NULL},
        {count + 1, CALLBACK_NULL},
        {0xFFFF, CALLBACK_NULL},
        {UINT_MAX, CALLBACK_NULL},
        // A callback that would never be called is refused as well.
        {0, 0x00030000 /* CALLBACK_FUNCTION */},
    };
    for (const auto& test : cases) {
        HMIDIOUT handle = Garbage();
        EXPECT_NE(midiOutOpen(&handle, test.deviceId, 0, 0, test.flags), MMSYSERR_NOERROR)
            << "device " << test.deviceId << ", flags " << test.flags;
        EXPECT_EQ(handle, nullptr) << "device " << test.deviceId << ", flags " << test.flags;
    }
    EXPECT_NE(midiOutOpen(nullptr, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR) << "no handle";
}

TEST(OpenWithoutMidi, UnknownHandlesAreRefused) {
    HMIDIOUT closed = OpenMonitor();
    ASSERT_NE(closed, nullptr);
    ASSERT_EQ(midiOutClose(closed), MMSYSERR_NOERROR);
    const struct {
        const char* what;
        HMIDIOUT handle;
    } cases[] = {{"null", nullptr}, {"never opened", Garbage()}, {"closed", closed}};
    for (const auto& test : cases) {
        EXPECT_EQ(midiOutShortMsg(test.handle, 0x00644AB2), MMSYSERR_INVALHANDLE) << test.what;
        EXPECT_EQ(midiOutClose(test.handle), MMSYSERR_INVALHANDLE) << test.what;
    }
}

TEST(Monitor, PrintsOneLinePerMessage) {
    const struct {
        DWORD message;
        const char* line;  // null: nothing is sent
    } cases[] = {
        {0x00644AB2, "B2 4A 64  Control Change  channel 3  controller 74  value 100"},
        {0x000007B0, "B0 07 00  Control Change  channel 1  controller 7  value 0"},
        {0x007F7FBF, "BF 7F 7F  Control Change  channel 16  controller 127  value 127"},
        // Running status: another Control Change on channel 16.
        {0x0000015B, "BF 5B 01  Control Change  channel 16  controller 91  value 1"},
        {0x00403C90, "90 3C 40  Note On  channel 1  note 60  velocity 64"},
        {0x00003C81, "81 3C 00  Note Off  channel 2  note 60  velocity 0"},
        {0x00203CA2, "A2 3C 20  Polyphonic Pressure  channel 3  note 60  pressure 32"},
        {0x000005C9, "C9 05  Program Change  channel 10  program 5"},
        {0x000030D0, "D0 30  Channel Pressure  channel 1  pressure 48"},
        {0x004000E0, "E0 00 40  Pitch Bend  channel 1  value 8192"},
        {0x000033F1, "F1 33  MTC Quarter Frame  value 51"},
        {0x000110F2, "F2 10 01  Song Position  beat 144"},
        {0x000002F3, "F3 02  Song Select  song 2"},
        {0x000000F6, "F6  Tune Request"},
        // F6 cleared the running status: a data byte alone says nothing.
        {0x00000010, nullptr},
        {0x000000F8, "F8  Timing Clock"},
        {0x000000FA, "FA  Start"},
        {0x000000FB, "FB  Continue"},
        {0x000000FC, "FC  Stop"},
        {0x000000FE, "FE  Active Sensing"},
        {0x000000FF, "FF  System Reset"},
        {0x000000F9, "F9  Undefined"},
        // Data bytes lose their high bit.
        {0x00FFC8B1, "B1 48 7F  Control Change  channel 2  controller 72  value 127"},
        // Not short messages: nothing printed.
        {0x000000F0, nullptr},
        {0x000000F7, nullptr},
    };
    HMIDIOUT monitor = OpenMonitor();
    ASSERT_NE(monitor, nullptr);
    std::string expected;
    CapturedDescriptor standardOutput(STDOUT_FILENO);
    std::vector<MMRESULT> results;
    for (const auto& test : cases) {
        results.push_back(midiOutShortMsg(monitor, test.message));
        if (test.line != nullptr) {
            expected += std::string(test.line) + "\n";
        }
    }
    const std::string printed = standardOutput.Finish();
    EXPECT_EQ(midiOutClose(monitor), MMSYSERR_NOERROR);

    for (size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i] == MMSYSERR_NOERROR, cases[i].line != nullptr)
            << "message 0x" << std::hex << cases[i].message;
    }
    std::istringstream printedLines(printed);
    std::istringstream expectedLines(expected);
    std::string printedLine;
    std::string expectedLine;
    while (std::getline(expectedLines, expectedLine)) {
        ASSERT_TRUE(std::getline(printedLines, printedLine)) << "missing: " << expectedLine;
        EXPECT_EQ(printedLine, expectedLine);
    }
    EXPECT_FALSE(std::getline(printedLines, printedLine)) << "more printed: " << printedLine;
}

// What a message to the monitor costs is bench/midi_bench.cpp's.
TEST(Monitor, PrintsEveryMessageOfALongRun) {
    constexpr int kMessages = 5000;
    HMIDIOUT monitor = OpenMonitor();
    ASSERT_NE(monitor, nullptr);
    CapturedDescriptor standardOutput(STDOUT_FILENO);
    for (int i = 0; i < kMessages; ++i) {
        midiOutShortMsg(monitor, 0xB0u | (static_cast<DWORD>(i % 128) << 8) |
                                     (static_cast<DWORD>(i / 128 % 128) << 16));
    }
    const std::string printed = standardOutput.Finish();
    midiOutClose(monitor);

    size_t lines = 0;
    for (char c : printed) {
        lines += c == '\n';
    }
    EXPECT_EQ(lines, static_cast<size_t>(kMessages));
}

}  // namespace
