// The MIDI output service against a real JACK server: each test starts its
// own dummy-backend server and a jack_receiver, and stops both whatever
// happens.
#include <windows.h>
#include <mmsystem.h>

#include "child_process.h"
#include "config/configuration.h"
#include "kernel32/main_thread_work.h"
#include "randomize/randomize.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const char kVirtualPortName[] = "Velmora (virtual port)";
const char kMonitorName[] = "Monitor (standard output)";
// Velmora's JACK ports: the one that carries what goes to a chosen port, and
// its own port that others connect to.
const char kDevicePort[] = "Velmora:device";
const char kOwnPort[] = "Velmora:output";

struct Received {
    uint64_t nanoseconds;  // CLOCK_MONOTONIC, like steady_clock
    std::vector<uint8_t> bytes;
};

uint64_t Nanoseconds(Clock::time_point time) {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count());
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    char byte[4];
    for (uint8_t value : bytes) {
        std::snprintf(byte, sizeof byte, text.empty() ? "%02X" : " %02X", value);
        text += byte;
    }
    return text;
}

DWORD Pack(const std::vector<uint8_t>& bytes) {
    DWORD packed = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        packed |= static_cast<DWORD>(bytes[i]) << (8 * i);
    }
    return packed;
}

// Runs work on a thread of its own and waits for it at most limit. A call
// that hangs cannot be taken back: the process then reports it and ends.
template <typename Work>
void RunOrAbandon(std::chrono::seconds limit, const char* what, Work work) {
    auto task = std::make_shared<std::packaged_task<void()>>(work);
    std::future<void> done = task->get_future();
    std::thread([task] { (*task)(); }).detach();
    if (done.wait_for(limit) != std::future_status::ready) {
        std::fprintf(stderr, "FAILED: %s did not return; the process ends here\n", what);
        std::fflush(nullptr);
        std::_Exit(1);
    }
    done.get();
}

// Servers run without realtime scheduling unless a test asks for it: there
// they answer late, and losses at close show up.
class JackOutput : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Start(realtime_)) << "the JACK server did not start";
        setenv("JACK_DEFAULT_SERVER", server_.Name().c_str(), 1);
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        receiverClient_ = "rcv" + std::to_string(getpid());
        receiverPort_ = receiverClient_ + ":input";
        ASSERT_TRUE(StartReceiver());
    }

    void TearDown() override {
        receiver_.Stop();
        server_.Stop();
    }

    bool StartReceiver() {
        std::string failure;
        if (!StartJackReceiver(receiver_, JACK_RECEIVER, server_.Name(), receiverClient_,
                               failure)) {
            ADD_FAILURE() << failure;
            return false;
        }
        return true;
    }

    // Lists the devices as the dialog does: the count asked before each turn.
    static std::vector<std::string> ListDevices() {
        std::vector<std::string> names;
        for (UINT id = 0; id < midiOutGetNumDevs(); ++id) {
            MIDIOUTCAPSA caps = {};
            EXPECT_EQ(midiOutGetDevCapsA(id, &caps, sizeof caps), MMSYSERR_NOERROR) << id;
            names.emplace_back(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
        }
        return names;
    }

    static int IndexOf(const std::vector<std::string>& names, const std::string& name) {
        const auto found = std::find(names.begin(), names.end(), name);
        return found == names.end() ? -1 : static_cast<int>(found - names.begin());
    }

    HMIDIOUT OpenReceiver() {
        const int id = IndexOf(ListDevices(), receiverPort_);
        EXPECT_GE(id, 0) << receiverPort_ << " is not listed";
        HMIDIOUT handle = nullptr;
        if (id >= 0) {
            EXPECT_EQ(midiOutOpen(&handle, static_cast<UINT>(id), 0, 0, CALLBACK_NULL),
                      MMSYSERR_NOERROR);
        }
        return handle;
    }

    // The receiver's next messages, up to count of them; fewer when no more
    // come within the timeout.
    std::vector<Received> Receive(size_t count, milliseconds timeout) {
        std::vector<Received> messages;
        std::string line;
        while (messages.size() < count && receiver_.ReadLine(line, timeout)) {
            std::istringstream fields(line);
            std::string first;
            fields >> first;
            if (first == "xrun") {
                fields >> xruns_;
                continue;
            }
            Received message{};
            message.nanoseconds = std::strtoull(first.c_str(), nullptr, 10);
            unsigned byte;
            while (fields >> std::hex >> byte) {
                message.bytes.push_back(static_cast<uint8_t>(byte));
            }
            if (message.bytes.empty()) {
                ADD_FAILURE() << "receiver said: " << line;
                continue;
            }
            messages.push_back(message);
        }
        return messages;
    }

    // Whether the server reported an xrun since the count was xrunsBefore:
    // some client then ran late, and JACK itself may have dropped messages.
    // Gives the note a moment to come.
    bool XrunSince(uint64_t xrunsBefore) {
        const std::vector<Received> unexpected = Receive(1, milliseconds(200));
        EXPECT_TRUE(unexpected.empty()) << "a message came late: " << Hex(unexpected[0].bytes);
        return xruns_ > xrunsBefore;
    }

    // A second receiver on the server, as client name.
    void StartOtherReceiver(ChildProcess& other, const std::string& name) {
        std::string failure;
        ASSERT_TRUE(StartJackReceiver(other, JACK_RECEIVER, server_.Name(), name, failure))
            << failure;
    }

    static void Connect(const std::string& from, const std::string& to) {
        int exitStatus = -1;
        RunProgram({"jack_connect", from, to}, exitStatus);
        ASSERT_EQ(exitStatus, 0) << "jack_connect " << from << " " << to;
    }

    HMIDIOUT OpenDevice(const std::string& name) {
        const int id = IndexOf(ListDevices(), name);
        HMIDIOUT handle = nullptr;
        EXPECT_GE(id, 0) << name << " is not listed";
        if (id >= 0) {
            EXPECT_EQ(midiOutOpen(&handle, static_cast<UINT>(id), 0, 0, CALLBACK_NULL),
                      MMSYSERR_NOERROR)
                << name;
        }
        return handle;
    }

    bool realtime_ = false;
    uint64_t xruns_ = 0;
    JackServer server_{JACK_SERVER_SCRIPT};
    ChildProcess receiver_;
    std::string receiverClient_;
    std::string receiverPort_;
};

TEST_F(JackOutput, ListsJackPortsBeforeTheVirtualPortAndTheMonitor) {
    const std::vector<std::string> names = ListDevices();
    const int receiver = IndexOf(names, receiverPort_);
    const int virtualPort = IndexOf(names, kVirtualPortName);
    ASSERT_GE(receiver, 0) << receiverPort_;
    ASSERT_GE(virtualPort, 0) << kVirtualPortName;
    EXPECT_LT(receiver, virtualPort);
    EXPECT_EQ(names.back(), kMonitorName);
    // Nothing else runs on this server, so nothing else is listed.
    EXPECT_EQ(names.size(), 3u);
}

TEST_F(JackOutput, ListStaysTheSameDuringAListing) {
    // The dialog asks the count before every turn; a port that appears in
    // the middle of a listing must not shift the device IDs under it.
    const UINT before = midiOutGetNumDevs();
    MIDIOUTCAPSA caps;
    ASSERT_EQ(midiOutGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    ChildProcess second;
    const std::string secondClient = receiverClient_ + "b";
    ASSERT_TRUE(second.Start({JACK_RECEIVER, "-s", server_.Name(), "-n", secondClient}));
    std::string line;
    ASSERT_TRUE(second.ReadLine(line, milliseconds(5000))) << "the second receiver";
    EXPECT_EQ(midiOutGetNumDevs(), before) << "in the middle of a listing";
    // The next listing has it.
    const std::vector<std::string> names = ListDevices();
    EXPECT_EQ(names.size(), before + 1);
    EXPECT_GE(IndexOf(names, secondClient + ":input"), 0);
}

TEST_F(JackOutput, VirtualPortSendsToWhatOthersConnect) {
    const int id = IndexOf(ListDevices(), kVirtualPortName);
    ASSERT_GE(id, 0);
    HMIDIOUT handle = nullptr;
    ASSERT_EQ(midiOutOpen(&handle, static_cast<UINT>(id), 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    int exitStatus = -1;
    RunProgram({"jack_connect", "Velmora:output", receiverPort_}, exitStatus);
    ASSERT_EQ(exitStatus, 0) << "jack_connect Velmora:output " << receiverPort_;
    // The connection is the other program's: nothing tells when it is in
    // place, so knock until a message gets through.
    std::vector<Received> first;
    for (int knock = 0; knock < 200 && first.empty(); ++knock) {
        midiOutShortMsg(handle, Pack({0xFE}));
        first = Receive(1, milliseconds(10));
    }
    ASSERT_EQ(first.size(), 1u) << "nothing came through the virtual port";
    for (int i = 0; i < 5; ++i) {
        midiOutShortMsg(handle, Pack({0xC3, static_cast<uint8_t>(i)}));
    }
    midiOutClose(handle);
    std::vector<Received> received = Receive(10, milliseconds(500));
    // Knocks still on their way come first.
    while (!received.empty() && received.front().bytes == std::vector<uint8_t>{0xFE}) {
        received.erase(received.begin());
    }
    ASSERT_EQ(received.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Hex(received[i].bytes), Hex({0xC3, static_cast<uint8_t>(i)})) << "message " << i;
    }
}

TEST_F(JackOutput, RandomizePassArrivesWholeAndInFileOrder) {
    // 128 parameters over four kinds of range, with a comment and an empty
    // line in between that make no parameter.
    struct Range {
        int minimum;
        int maximum;
        int low;   // the values RandomInRange gives: minimum + 1 to maximum,
        int high;  // the value itself, or minimum + 1 to 2 * minimum - maximum
    };
    const Range ranges[] = {{0, 127, 1, 127}, {10, 20, 11, 20}, {64, 64, 64, 64}, {70, 60, 71, 80}};
    constexpr int kParameters = 128;
    std::ostringstream file;
    std::vector<std::pair<int, Range>> expected;  // controller, range
    for (int i = 0; i < kParameters; ++i) {
        if (i == 50) {
            file << "# the second half\n\n";
        }
        const int controller = (i * 37 + 5) % 128;
        const Range& range = ranges[i % 4];
        file << "Parameter" << i << ' ' << controller << ' ' << range.minimum << '\t'
             << range.maximum << "\n";
        expected.push_back({controller, range});
    }
    std::istringstream input(file.str());
    ParameterList.clear();
    ReadConfiguration(input, ParameterList);
    // The program keeps its records for the whole run; the test gives them back.
    struct Release {
        ~Release() {
            for (Parameter* parameter : ParameterList) {
                delete parameter;
            }
            ParameterList.clear();
        }
    } release;
    ASSERT_EQ(ParameterList.size(), static_cast<size_t>(kParameters));

    // A pass that lost messages in an xrun tells nothing; it is run again.
    constexpr int kChannel = 4;
    constexpr int kAttempts = 3;
    std::vector<Received> received;
    Clock::time_point opening;
    Clock::time_point start;
    Clock::time_point sent;
    Clock::time_point closed;
    for (int attempt = 1;; ++attempt) {
        const uint64_t xrunsBefore = xruns_;
        opening = Clock::now();
        HMIDIOUT handle = OpenReceiver();
        ASSERT_NE(handle, nullptr);
        start = Clock::now();
        RandomizeAll(handle, kChannel);
        sent = Clock::now();
        midiOutClose(handle);
        closed = Clock::now();
        received = Receive(kParameters, milliseconds(2000));
        if (received.size() == kParameters || attempt == kAttempts || !XrunSince(xrunsBefore)) {
            break;
        }
        std::printf("pass %d lost messages in an xrun; once more\n", attempt);
    }
    ASSERT_EQ(received.size(), static_cast<size_t>(kParameters));
    for (int i = 0; i < kParameters; ++i) {
        const std::vector<uint8_t>& bytes = received[i].bytes;
        const auto& [controller, range] = expected[i];
        ASSERT_EQ(bytes.size(), 3u) << "message " << i << ": " << Hex(bytes);
        EXPECT_EQ(bytes[0], 0xB0 + kChannel) << "message " << i << ": " << Hex(bytes);
        EXPECT_EQ(bytes[1], controller) << "message " << i << ": " << Hex(bytes);
        EXPECT_GE(bytes[2], range.low) << "message " << i << ": " << Hex(bytes);
        EXPECT_LE(bytes[2], range.high) << "message " << i << ": " << Hex(bytes);
    }
    EXPECT_TRUE(Receive(1, milliseconds(100)).empty()) << "more messages than parameters";

    const double sendMicroseconds =
        std::chrono::duration<double, std::micro>(sent - start).count() / kParameters;
    const double arrivalMilliseconds =
        (static_cast<double>(received.back().nanoseconds) - Nanoseconds(start)) / 1e6;
    const auto ms = [](Clock::duration duration) {
        return std::chrono::duration<double, std::milli>(duration).count();
    };
    std::printf(
        "%d parameters: listing and midiOutOpen %.2f ms; midiOutShortMsg %.2f us each; first "
        "send to last arrival %.2f ms; midiOutClose %.2f ms\n",
        kParameters, ms(start - opening), sendMicroseconds, arrivalMilliseconds, ms(closed - sent));
    RecordProperty("send_microseconds", std::to_string(sendMicroseconds));
    RecordProperty("first_send_to_last_arrival_ms", std::to_string(arrivalMilliseconds));
}

class CloseAfterBurst : public JackOutput, public ::testing::WithParamInterface<bool> {
  protected:
    CloseAfterBurst() { realtime_ = GetParam(); }
};

TEST_P(CloseAfterBurst, LosesNothing) {
    // Bursts of every size from one message to more than a period takes,
    // closed at once; half of the rounds with both cores kept busy.
    const size_t sizes[] = {1, 3, 128, 700, 3000};
    constexpr int kRounds = 30;
    // Two threads that spin while busy is set; joined whatever the test does.
    std::atomic<bool> busy{false};
    std::atomic<bool> finished{false};
    struct Load {
        std::atomic<bool>& finished;
        std::vector<std::thread> threads;
        ~Load() {
            finished.store(true);
            for (std::thread& thread : threads) {
                thread.join();
            }
        }
    } load{finished, {}};
    for (int i = 0; i < 2; ++i) {
        load.threads.emplace_back([&] {
            while (!finished.load()) {
                if (!busy.load()) {
                    std::this_thread::sleep_for(milliseconds(1));
                }
            }
        });
    }
    size_t sentTotal = 0;
    int voided = 0;
    constexpr int kMostVoided = 10;
    for (int round = 0, done = 0; done < kRounds && !HasFailure(); ++round) {
        busy.store(round % 2 == 1);
        const size_t size = sizes[round % 5];
        const uint64_t xrunsBefore = xruns_;
        HMIDIOUT handle = OpenReceiver();
        ASSERT_NE(handle, nullptr) << "round " << round;
        std::vector<std::vector<uint8_t>> burst;
        for (size_t k = 0; k < size; ++k) {
            burst.push_back({static_cast<uint8_t>(0xB0 | (round % 16)),
                             static_cast<uint8_t>(k % 128),
                             static_cast<uint8_t>((k / 128 + round) % 128)});
            midiOutShortMsg(handle, Pack(burst.back()));
        }
        midiOutClose(handle);

        const std::vector<Received> received = Receive(size, milliseconds(1000));
        if (received.size() != size && XrunSince(xrunsBefore)) {
            // JACK dropped messages of a late cycle: this round tells nothing.
            ++voided;
            ASSERT_LE(voided, kMostVoided) << "too many xruns to tell anything";
            continue;
        }
        ASSERT_EQ(received.size(), size) << "round " << round << (busy ? " (busy)" : "");
        for (size_t k = 0; k < size; ++k) {
            ASSERT_EQ(Hex(received[k].bytes), Hex(burst[k]))
                << "round " << round << ", message " << k;
        }
        sentTotal += size;
        ++done;
    }
    busy.store(false);
    EXPECT_TRUE(Receive(1, milliseconds(100)).empty()) << "more messages than sent";
    std::printf("%d bursts, %zu messages, all arrived; %d bursts lost in xruns, %llu xruns\n",
                kRounds, sentTotal, voided, static_cast<unsigned long long>(xruns_));
}

INSTANTIATE_TEST_SUITE_P(JackOutput, CloseAfterBurst, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "RealtimeServer" : "ServerWithoutRealtime";
                         });

// A patchbay connects Velmora's device port elsewhere before the open and
// again while it is open: only the chosen port gets the messages, all of
// them. The dialog's thread runs the work that JACK's notifications post.
TEST_F(JackOutput, ForeignConnectionsGetNothing) {
    ChildProcess spy;
    const std::string spyClient = receiverClient_ + "spy";
    StartOtherReceiver(spy, spyClient);
    ListDevices();
    Connect(kDevicePort, spyClient + ":input");
    HMIDIOUT handle = OpenReceiver();
    ASSERT_NE(handle, nullptr);
    constexpr int kMessages = 60;
    std::vector<std::string> sent;
    for (int i = 0; i < kMessages; ++i) {
        if (i == kMessages / 3) {
            Connect(kDevicePort, spyClient + ":input");
        }
        sent.push_back(Hex({0xB5, static_cast<uint8_t>(i), 0x40}));
        midiOutShortMsg(handle, Pack({0xB5, static_cast<uint8_t>(i), 0x40}));
        RunMainThreadWork();
        std::this_thread::sleep_for(milliseconds(5));
    }
    midiOutClose(handle);
    std::vector<std::string> arrived;
    for (const Received& message : Receive(kMessages, milliseconds(2000))) {
        arrived.push_back(Hex(message.bytes));
    }
    EXPECT_EQ(arrived, sent);
    // The other receiver may report xruns; any other line is a message.
    std::string line;
    std::string spyGot;
    while (spy.ReadLine(line, milliseconds(300))) {
        spyGot += line.rfind("xrun", 0) == 0 ? "" : line + "\n";
    }
    EXPECT_EQ(spyGot, "") << "the other port got messages";
}

// The receiving program restarts while the output is open: its new port is
// connected again, with no close and open.
TEST_F(JackOutput, RestartedReceiverIsConnectedAgain) {
    HMIDIOUT handle = OpenReceiver();
    ASSERT_NE(handle, nullptr);
    receiver_.Stop();
    midiOutShortMsg(handle, Pack({0xB0, 1, 1}));  // goes nowhere
    ASSERT_TRUE(StartReceiver());
    const Clock::time_point ready = Clock::now();
    // Knocks (Active Sensing) until one gets through.
    std::vector<Received> first;
    while (first.empty() && Clock::now() - ready < std::chrono::seconds(5)) {
        RunMainThreadWork();
        midiOutShortMsg(handle, Pack({0xFE}));
        first = Receive(1, milliseconds(1));
    }
    ASSERT_EQ(first.size(), 1u) << "nothing reached the restarted receiver";
    EXPECT_EQ(Hex(first[0].bytes), "FE");
    midiOutShortMsg(handle, Pack({0xB0, 2, 2}));
    midiOutClose(handle);
    std::vector<Received> rest = Receive(100, milliseconds(500));
    while (!rest.empty() && rest.front().bytes == std::vector<uint8_t>{0xFE}) {
        rest.erase(rest.begin());
    }
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(Hex(rest[0].bytes), "B0 02 02");
    std::printf("the restarted receiver's ready line to its first message: %.1f ms\n",
                (static_cast<double>(first[0].nanoseconds) - Nanoseconds(ready)) / 1e6);
}

// A connection someone made to Velmora's own port is theirs: it stays through
// closing and opening a JACK device and the virtual port itself.
TEST_F(JackOutput, PatchToTheOwnPortSurvivesCloseAndOpen) {
    ChildProcess device;
    const std::string deviceClient = receiverClient_ + "dev";
    StartOtherReceiver(device, deviceClient);
    ListDevices();
    Connect(kOwnPort, receiverPort_);
    for (const std::string& name :
         {std::string(kVirtualPortName), deviceClient + ":input", std::string(kVirtualPortName)}) {
        HMIDIOUT handle = OpenDevice(name);
        ASSERT_NE(handle, nullptr) << name;
        midiOutShortMsg(handle, Pack({0xC0, 7}));
        midiOutClose(handle);
    }
    std::string deviceLine;
    EXPECT_TRUE(device.ReadLine(deviceLine, milliseconds(1000))) << "the JACK device got nothing";
    const std::vector<Received> patched = Receive(3, milliseconds(1000));
    EXPECT_EQ(patched.size(), 2u) << "what the virtual port sent, twice, and nothing else";
    int exitStatus = -1;
    const std::string connections = RunProgram({"jack_lsp", "-c", kOwnPort}, exitStatus);
    EXPECT_NE(connections.find(receiverPort_), std::string::npos) << connections;
}

TEST_F(JackOutput, OpenOfAPortThatWentAwayFails) {
    const std::vector<std::string> names = ListDevices();
    const int id = IndexOf(names, receiverPort_);
    ASSERT_GE(id, 0);
    receiver_.Stop();
    // The list is the one taken above: the ID still stands for the receiver.
    HMIDIOUT handle = reinterpret_cast<HMIDIOUT>(&handle);
    EXPECT_NE(midiOutOpen(&handle, static_cast<UINT>(id), 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(handle, nullptr);
    // The next listing leaves it out.
    EXPECT_EQ(IndexOf(ListDevices(), receiverPort_), -1);
}

enum class Disappears { Receiver, Server };

void PrintTo(Disappears what, std::ostream* out) {
    *out << (what == Disappears::Server ? "the server" : "the receiver");
}

class DisappearingDevice : public JackOutput, public ::testing::WithParamInterface<Disappears> {};

TEST_P(DisappearingDevice, NeitherCrashesNorHangs) {
    HMIDIOUT handle = OpenReceiver();
    ASSERT_NE(handle, nullptr);
    for (int i = 0; i < 10; ++i) {
        midiOutShortMsg(handle, Pack({0xB0, static_cast<uint8_t>(i), 0x40}));
    }
    ASSERT_EQ(Receive(10, milliseconds(2000)).size(), 10u) << "the port works before it goes";

    if (GetParam() == Disappears::Server) {
        server_.Kill();
    } else {
        receiver_.Stop(SIGKILL);
    }

    // More messages than the queue holds, at once: a send must neither spin
    // nor wait for a server that is not there.
    constexpr int kMessages = 40000;
    Clock::duration longestSend{};
    Clock::duration sending{};
    Clock::duration closing{};
    RunOrAbandon(std::chrono::seconds(10), "sending or closing after the device went", [&] {
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < kMessages; ++i) {
            const Clock::time_point before = Clock::now();
            midiOutShortMsg(handle, Pack({0xB1, static_cast<uint8_t>(i % 128), 0x10}));
            longestSend = std::max(longestSend, Clock::now() - before);
        }
        const Clock::time_point closeStart = Clock::now();
        sending = closeStart - start;
        midiOutClose(handle);
        closing = Clock::now() - closeStart;
    });
    const auto ms = [](Clock::duration duration) {
        return std::chrono::duration<double, std::milli>(duration).count();
    };
    std::printf("%d sends %.1f ms (longest %.2f ms), close %.1f ms\n", kMessages, ms(sending),
                ms(longestSend), ms(closing));
    EXPECT_LT(longestSend, milliseconds(250));
    EXPECT_LT(sending, milliseconds(2000));
    EXPECT_LT(closing, milliseconds(2000));

    // Gone from the next listing; with the server gone, JACK's virtual port
    // goes too.
    std::vector<std::string> names = ListDevices();
    for (int attempt = 0; attempt < 50 && IndexOf(names, receiverPort_) >= 0; ++attempt) {
        std::this_thread::sleep_for(milliseconds(20));
        names = ListDevices();
    }
    EXPECT_EQ(IndexOf(names, receiverPort_), -1);
    EXPECT_EQ(names.back(), kMonitorName);
    EXPECT_EQ(IndexOf(names, kVirtualPortName) >= 0, GetParam() == Disappears::Receiver);
}

INSTANTIATE_TEST_SUITE_P(JackOutput, DisappearingDevice,
                         ::testing::Values(Disappears::Receiver, Disappears::Server),
                         [](const ::testing::TestParamInfo<Disappears>& info) {
                             return info.param == Disappears::Server ? "ServerKilled"
                                                                     : "ReceiverKilled";
                         });

}  // namespace
