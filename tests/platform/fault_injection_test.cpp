// The MIDI output service under faults, against a private JACK server: the
// server or the receiving program killed in the middle of a burst, the server
// stopped (SIGSTOP) at open, close and quit, the same port opened and closed
// a thousand times, 200 Randomize passes back to back. Nothing may crash or
// hang (every call runs under a deadline), close always returns, and while
// the receiver lives it gets every message, in order (where a test can tell,
// but for what JACK itself lost in a cycle that ran late).
#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <list>
#include <memory>
#include <mutex>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "config/configuration.h"
#include "randomize/randomize.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

// Runs work on a thread of its own; false when it did not finish in time. A
// hung call cannot be taken back, so the process then ends at once.
template <typename Work>
void MustFinishWithin(std::chrono::seconds limit, const char* what, Work work) {
    auto done = std::async(std::launch::async, work);
    if (done.wait_for(limit) != std::future_status::ready) {
        std::fprintf(stderr, "FAILED: %s did not return within %lld s; the process ends here\n",
                     what, static_cast<long long>(limit.count()));
        std::fflush(nullptr);
        std::_Exit(1);
    }
    done.get();
}

// Message number n of a numbered burst: a Control Change whose channel and
// two data bytes spell n (18 bits), so that every gap or swap shows.
DWORD NumberedMessage(uint32_t n) {
    return (0xB0u | ((n >> 14) & 0x0Fu)) | ((n & 0x7Fu) << 8) | (((n >> 7) & 0x7Fu) << 16);
}

struct Received {
    uint64_t nanoseconds;
    DWORD message;  // packed like a short message, first byte lowest
    size_t size;
};

// Reads jack_receiver's lines on a thread of its own while the test sends, so
// that a full pipe never holds the receiver up.
class ReceiverLog {
  public:
    explicit ReceiverLog(ChildProcess& receiver) : receiver_(receiver) {
        reader_ = std::thread([this] { Read(); });
    }
    ~ReceiverLog() { Finish(); }

    // Waits for the end of the receiver's output (it was stopped or killed).
    void Finish() {
        stop_.store(true);
        if (reader_.joinable()) {
            reader_.join();
        }
    }

    size_t Count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_.size();
    }

    // Waits until at least count messages came, or no new one for quiet.
    size_t WaitFor(size_t count, milliseconds quiet) {
        size_t seen = Count();
        Clock::time_point progress = Clock::now();
        while (seen < count && Clock::now() - progress < quiet) {
            std::this_thread::sleep_for(milliseconds(2));
            const size_t now = Count();
            if (now != seen) {
                seen = now;
                progress = Clock::now();
            }
        }
        return seen;
    }

    std::vector<Received> Messages() {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }
    std::vector<std::string> Other() {
        std::lock_guard<std::mutex> lock(mutex_);
        return other_;
    }

  private:
    void Read() {
        std::string line;
        bool ended = false;
        while (!ended) {
            if (!receiver_.ReadLine(line, milliseconds(50))) {
                // After Finish, a quiet or closed pipe is the end; before it,
                // keep going.
                ended = stop_.load();
                std::this_thread::sleep_for(milliseconds(1));
                continue;
            }
            std::istringstream fields(line);
            Received message{};
            unsigned byte;
            if (fields >> message.nanoseconds) {
                while (fields >> std::hex >> byte) {
                    message.message |= static_cast<DWORD>(byte) << (8 * message.size++);
                }
            }
            std::lock_guard<std::mutex> lock(mutex_);
            if (message.size > 0) {
                messages_.push_back(message);
            } else {
                other_.push_back(line);
            }
        }
    }

    ChildProcess& receiver_;
    std::thread reader_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<Received> messages_;
    std::vector<std::string> other_;
};

// The number of the first message that is not n-th of the numbered burst,
// or messages.size() when all are.
size_t FirstOutOfSequence(const std::vector<Received>& messages) {
    for (size_t i = 0; i < messages.size(); ++i) {
        if (messages[i].size != 3 ||
            messages[i].message != NumberedMessage(static_cast<uint32_t>(i))) {
            return i;
        }
    }
    return messages.size();
}

// The number a message of a numbered burst spells, or -1 for any other.
int64_t BurstNumber(const Received& received) {
    const DWORD message = received.message;
    if (received.size != 3 || (message & 0xF0u) != 0xB0u || ((message >> 8) & 0x80u) != 0 ||
        ((message >> 16) & 0x80u) != 0) {
        return -1;
    }
    return static_cast<int64_t>(((message & 0x0Fu) << 14) | (((message >> 16) & 0x7Fu) << 7) |
                                ((message >> 8) & 0x7Fu));
}

// When the server reported each xrun, from the receiver's "xrun N TIME"
// notes; notes that came together count each xrun at the later time.
std::vector<uint64_t> XrunTimes(const std::vector<std::string>& notes) {
    std::vector<uint64_t> times;
    for (const std::string& note : notes) {
        std::istringstream fields(note);
        std::string word;
        uint64_t count = 0;
        uint64_t nanoseconds = 0;
        if (fields >> word >> count >> nanoseconds && word == "xrun") {
            times.resize(std::max<size_t>(times.size(), count), nanoseconds);
        }
    }
    return times;
}

// The burst's numbers that did not arrive and that no xrun explains: a cycle
// that ran late loses what the port held in JACK itself, so a lost message is
// excused by an xrun of its own reported within kXrunWindow after it was
// sent. Any message out of order, repeated or not of the burst is listed
// too, as -1 or its number.
std::vector<int64_t> LossesNotInXruns(const std::vector<Received>& messages,
                                      const std::vector<uint64_t>& sentAt,
                                      std::vector<uint64_t> xruns) {
    constexpr uint64_t kXrunWindow = 100'000'000;
    std::vector<int64_t> unexplained;
    int64_t expected = 0;
    const auto lost = [&](int64_t number) {
        const uint64_t sent = sentAt[static_cast<size_t>(number)];
        const auto xrun = std::find_if(xruns.begin(), xruns.end(), [&](uint64_t at) {
            return at >= sent && at - sent <= kXrunWindow;
        });
        if (xrun == xruns.end()) {
            unexplained.push_back(number);
        } else {
            xruns.erase(xrun);
        }
    };
    for (const Received& message : messages) {
        const int64_t number = BurstNumber(message);
        if (number < expected || number >= static_cast<int64_t>(sentAt.size())) {
            unexplained.push_back(number);
            continue;
        }
        for (; expected < number; ++expected) {
            lost(expected);
        }
        expected = number + 1;
    }
    for (; expected < static_cast<int64_t>(sentAt.size()); ++expected) {
        lost(expected);
    }
    return unexplained;
}

uint64_t MonotonicNanoseconds() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
            .count());
}

std::string Hex(DWORD message, size_t size) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X %02X %02X", message & 0xFF, (message >> 8) & 0xFF,
                  (message >> 16) & 0xFF);
    return std::string(text, size == 3 ? 8 : std::strlen(text));
}

class FaultInjection : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        receiverClient_ = "fault" + std::to_string(getpid());
        receiverPort_ = receiverClient_ + ":input";
    }

    void TearDown() override {
        receiver_.Stop();
        if (server_) {
            server_->Stop();
        }
    }

    // A new server (the old one, if any, is stopped) and a receiver on it.
    bool StartServerAndReceiver() {
        receiver_.Stop();
        if (server_) {
            server_->Stop();
        }
        server_ = std::make_unique<JackServer>(JACK_SERVER_SCRIPT);
        // Without realtime scheduling, the harder case: the server runs late
        // whenever the machine is busy.
        if (!server_->Start(true)) {
            ADD_FAILURE() << "the JACK server did not start";
            return false;
        }
        setenv("JACK_DEFAULT_SERVER", server_->Name().c_str(), 1);
        return StartReceiver();
    }

    bool StartReceiver() {
        std::string failure;
        if (!StartJackReceiver(receiver_, JACK_RECEIVER, server_->Name(), receiverClient_,
                               failure)) {
            ADD_FAILURE() << failure;
            return false;
        }
        return true;
    }

    // The receiver's device ID, listed as the dialog lists: the count asked
    // again before every turn.
    int ReceiverDevice() {
        for (UINT id = 0; id < midiOutGetNumDevs(); ++id) {
            MIDIOUTCAPSA caps = {};
            if (midiOutGetDevCapsA(id, &caps, sizeof caps) == MMSYSERR_NOERROR &&
                receiverPort_ == std::string(caps.szPname, strnlen(caps.szPname, 32))) {
                return static_cast<int>(id);
            }
        }
        return -1;
    }

    HMIDIOUT OpenReceiver() {
        const int id = ReceiverDevice();
        EXPECT_GE(id, 0) << receiverPort_ << " is not listed";
        HMIDIOUT handle = nullptr;
        if (id >= 0) {
            EXPECT_EQ(midiOutOpen(&handle, static_cast<UINT>(id), 0, 0, CALLBACK_NULL),
                      MMSYSERR_NOERROR)
                << receiverPort_;
        }
        return handle;
    }

    // Sends a numbered pass of count messages through a newly opened
    // receiver port and closes it; the number that arrived in order.
    size_t PassArrives(uint32_t count) {
        HMIDIOUT handle = OpenReceiver();
        if (handle == nullptr) {
            return 0;
        }
        ReceiverLog log(receiver_);
        for (uint32_t n = 0; n < count; ++n) {
            midiOutShortMsg(handle, NumberedMessage(n));
        }
        MustFinishWithin(std::chrono::seconds(10), "midiOutClose", [&] { midiOutClose(handle); });
        log.WaitFor(count, milliseconds(1000));
        StopReceiver(log);
        EXPECT_TRUE(StartReceiver());
        const std::vector<Received> messages = log.Messages();
        return FirstOutOfSequence(messages) == count && messages.size() == count ? count : 0;
    }

    // Lets the receiver print what it still holds and end, reads all of it,
    // then reaps it.
    void StopReceiver(ReceiverLog& log) {
        if (receiver_.Pid() > 0) {
            kill(receiver_.Pid(), SIGTERM);
        }
        log.Finish();
        receiver_.Stop();
    }

    std::unique_ptr<JackServer> server_;
    ChildProcess receiver_;
    std::string receiverClient_;
    std::string receiverPort_;
};

// A numbered burst runs on its own thread until told to stop; killed in the
// middle, the receiver must have had an unbroken first part of it.
struct BurstCounts {
    size_t sentBeforeKill = 0;
    size_t sentTotal = 0;
    size_t received = 0;
    double sendAfterKillMs = 0;
    double longestSendMs = 0;
    double closeMs = 0;
};

enum class Victim { Receiver, Server };

void PrintTo(Victim victim, std::ostream* out) {
    *out << (victim == Victim::Server ? "the JACK server" : "the receiver");
}

BurstCounts BurstAndKill(HMIDIOUT handle, ReceiverLog& log, size_t killAfterReceived,
                         const std::function<void()>& kill) {
    BurstCounts counts;
    std::atomic<bool> killed{false};
    std::atomic<size_t> sent{0};
    std::atomic<bool> stop{false};
    Clock::duration longest{};
    Clock::time_point killTime;
    MustFinishWithin(std::chrono::seconds(20), "a burst with a kill in its middle", [&] {
        std::thread sender([&] {
            // Keeps sending until 300 ms after the kill; numbers wrap after
            // 2^18, far beyond what a round sends.
            for (uint32_t n = 0; !stop.load(); ++n) {
                const Clock::time_point before = Clock::now();
                midiOutShortMsg(handle, NumberedMessage(n));
                longest = std::max(longest, Clock::now() - before);
                sent.store(n + 1);
                if (n + 1 == (1u << 18)) {
                    break;
                }
            }
        });
        log.WaitFor(killAfterReceived, milliseconds(3000));
        counts.sentBeforeKill = sent.load();
        kill();
        killTime = Clock::now();
        killed.store(true);
        std::this_thread::sleep_for(milliseconds(300));
        stop.store(true);
        sender.join();
        counts.sentTotal = sent.load();
        const Clock::time_point closeStart = Clock::now();
        midiOutClose(handle);
        counts.closeMs = Milliseconds(Clock::now() - closeStart);
    });
    counts.longestSendMs = Milliseconds(longest);
    return counts;
}

class KilledInTheMiddle : public FaultInjection, public ::testing::WithParamInterface<Victim> {};

TEST_P(KilledInTheMiddle, NoCrashNoHangCloseReturnsNothingLostBefore) {
    const Victim victim = GetParam();
    const char* name = victim == Victim::Server ? "server" : "receiver";
    constexpr int kRounds = 5;
    for (int round = 0; round < kRounds && !HasFailure(); ++round) {
        ASSERT_TRUE(StartServerAndReceiver()) << name << " round " << round;
        HMIDIOUT handle = OpenReceiver();
        ASSERT_NE(handle, nullptr) << name << " round " << round;
        ReceiverLog log(receiver_);
        // Kill at a different point of the burst each round.
        const size_t killAfter = 500 + 2000 * static_cast<size_t>(round);
        const BurstCounts counts = BurstAndKill(handle, log, killAfter, [&] {
            if (victim == Victim::Server) {
                server_->Kill();
            } else {
                kill(receiver_.Pid(), SIGKILL);
            }
        });
        if (victim == Victim::Server) {
            // jack_receiver notices the server's end itself and exits.
            log.WaitFor(SIZE_MAX, milliseconds(500));
        }
        log.Finish();
        const std::vector<Received> messages = log.Messages();
        const size_t unbroken = FirstOutOfSequence(messages);
        std::printf(
            "kill %s, round %d: %zu sent before the kill, %zu in all, %zu received in order; "
            "longest send %.2f ms, close %.1f ms\n",
            name, round, counts.sentBeforeKill, counts.sentTotal, messages.size(),
            counts.longestSendMs, counts.closeMs);

        EXPECT_EQ(unbroken, messages.size())
            << name << " round " << round << ": message " << unbroken << " is "
            << Hex(messages[unbroken].message, messages[unbroken].size);
        EXPECT_GE(messages.size(), std::min(killAfter, counts.sentBeforeKill))
            << name << " round " << round << ": the burst was not under way at the kill";
        EXPECT_LE(messages.size(), counts.sentTotal) << name << " round " << round;
        EXPECT_GT(counts.sentTotal, counts.sentBeforeKill)
            << name << " round " << round << ": sending stopped at the kill";
        for (const std::string& line : log.Other()) {
            EXPECT_NE(line.rfind("lost", 0), 0u) << name << " round " << round << ": " << line;
        }
        EXPECT_LT(counts.longestSendMs, 250.0) << name << " round " << round;
        EXPECT_LT(counts.closeMs, 2000.0) << name << " round " << round;
        receiver_.Stop();
    }

    if (victim == Victim::Receiver && !HasFailure()) {
        // The same server, the receiver started again: the next open works
        // and a whole pass arrives.
        ASSERT_TRUE(StartReceiver());
        HMIDIOUT handle = OpenReceiver();
        ASSERT_NE(handle, nullptr) << "open after the receiver came back";
        ReceiverLog log(receiver_);
        for (uint32_t n = 0; n < 128; ++n) {
            midiOutShortMsg(handle, NumberedMessage(n));
        }
        MustFinishWithin(std::chrono::seconds(5), "midiOutClose", [&] { midiOutClose(handle); });
        EXPECT_EQ(log.WaitFor(128, milliseconds(1000)), 128u);
        StopReceiver(log);
        EXPECT_EQ(FirstOutOfSequence(log.Messages()), 128u);
    }
}

INSTANTIATE_TEST_SUITE_P(Jack, KilledInTheMiddle,
                         ::testing::Values(Victim::Receiver, Victim::Server),
                         [](const ::testing::TestParamInfo<Victim>& info) {
                             return info.param == Victim::Server ? "Server" : "Receiver";
                         });

// A stalled server costs an open at most about two seconds and makes it
// fail; once the server answers again, the next open works.
TEST_F(FaultInjection, ServerStalledAtOpen) {
    ASSERT_TRUE(StartServerAndReceiver());
    const int id = ReceiverDevice();
    ASSERT_GE(id, 0);
    server_->Pause();
    HMIDIOUT handle = reinterpret_cast<HMIDIOUT>(&handle);
    MMRESULT result = MMSYSERR_NOERROR;
    const Clock::time_point start = Clock::now();
    MustFinishWithin(std::chrono::seconds(10), "midiOutOpen on a stalled server", [&] {
        result = midiOutOpen(&handle, static_cast<UINT>(id), 0, 0, CALLBACK_NULL);
    });
    const double openMs = Milliseconds(Clock::now() - start);
    server_->Resume();
    EXPECT_NE(result, MMSYSERR_NOERROR);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(PassArrives(128), 128u) << "the open after the server answered again";
    std::printf("midiOutOpen on a stalled server: %.0f ms\n", openMs);
}

// Close returns while the server stalls; once it has been killed, the
// outputs opened on a new server work.
TEST_F(FaultInjection, ServerStalledAtClose) {
    ASSERT_TRUE(StartServerAndReceiver());
    HMIDIOUT handle = OpenReceiver();
    ASSERT_NE(handle, nullptr);
    midiOutShortMsg(handle, NumberedMessage(0));
    server_->Pause();
    midiOutShortMsg(handle, NumberedMessage(1));
    const Clock::time_point start = Clock::now();
    MustFinishWithin(std::chrono::seconds(10), "midiOutClose on a stalled server",
                     [&] { midiOutClose(handle); });
    const double closeMs = Milliseconds(Clock::now() - start);

    server_->Kill();
    ASSERT_TRUE(StartServerAndReceiver());
    EXPECT_EQ(PassArrives(128), 128u) << "an open on a new server";
    std::printf("midiOutClose on a stalled server: %.0f ms\n", closeMs);
}

// The program quits while the server stalls: this test's own program, run
// again as a child that opens the receiver's port, closes it on SIGUSR1 and
// ends as a program ends (static destructors, atexit handlers).
TEST(QuitChild, DISABLED_OpensClosesOnSignalAndEnds) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGUSR1);
    // Before any thread starts, so that every thread blocks it.
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    const char* port = std::getenv("VELMORA_TEST_PORT");
    ASSERT_NE(port, nullptr);
    HMIDIOUT handle = nullptr;
    for (UINT id = 0; id < midiOutGetNumDevs() && handle == nullptr; ++id) {
        MIDIOUTCAPSA caps = {};
        if (midiOutGetDevCapsA(id, &caps, sizeof caps) == MMSYSERR_NOERROR &&
            std::string(caps.szPname, strnlen(caps.szPname, 32)) == port) {
            ASSERT_EQ(midiOutOpen(&handle, id, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
        }
    }
    ASSERT_NE(handle, nullptr);
    std::printf("open\n");
    std::fflush(stdout);
    int signal = 0;
    sigwait(&signals, &signal);
    midiOutClose(handle);
    std::printf("closed\n");
    std::fflush(stdout);
}

TEST_F(FaultInjection, ServerStalledAtQuit) {
    ASSERT_TRUE(StartServerAndReceiver());
    setenv("VELMORA_TEST_PORT", receiverPort_.c_str(), 1);
    ChildProcess child;
    ASSERT_TRUE(child.Start({"/proc/self/exe", "--gtest_also_run_disabled_tests",
                             "--gtest_filter=QuitChild.DISABLED_OpensClosesOnSignalAndEnds"}));
    unsetenv("VELMORA_TEST_PORT");
    // Lines until one that is the expected one; false when none came.
    const auto awaitLine = [&](const std::string& expected) {
        std::string line;
        while (child.ReadLine(line, milliseconds(10000))) {
            if (line == expected) {
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(awaitLine("open"));
    server_->Pause();
    const Clock::time_point start = Clock::now();
    kill(child.Pid(), SIGUSR1);
    const bool closed = awaitLine("closed");
    const double closeMs = Milliseconds(Clock::now() - start);
    const int status = child.Wait(milliseconds(20000));
    const double exitMs = Milliseconds(Clock::now() - start);
    server_->Resume();
    EXPECT_TRUE(closed);
    EXPECT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the child did not end by itself (status " << status << ")";
    std::printf("quit on a stalled server: closed after %.0f ms, ended after %.0f ms\n", closeMs,
                exitMs);
}

TEST_F(FaultInjection, SamePortOpenedAndClosedAThousandTimes) {
    setenv("JACK_DUMMY_OPTIONS", "-r 48000 -p 64", 1);
    ASSERT_TRUE(StartServerAndReceiver());
    unsetenv("JACK_DUMMY_OPTIONS");
    ReceiverLog log(receiver_);
    const int id = ReceiverDevice();
    ASSERT_GE(id, 0);
    constexpr uint32_t kCycles = 1000;
    uint32_t opened = 0;
    Clock::duration longestOpen{};
    Clock::duration longestClose{};
    Clock::duration opening{};
    Clock::duration closing{};
    std::vector<uint64_t> sentAt(kCycles);
    const Clock::time_point start = Clock::now();
    for (uint32_t cycle = 0; cycle < kCycles; ++cycle) {
        HMIDIOUT handle = nullptr;
        MMRESULT result = MMSYSERR_ERROR;
        Clock::time_point before = Clock::now();
        MustFinishWithin(std::chrono::seconds(5), "midiOutOpen", [&] {
            result = midiOutOpen(&handle, static_cast<UINT>(id), 0, 0, CALLBACK_NULL);
        });
        longestOpen = std::max(longestOpen, Clock::now() - before);
        opening += Clock::now() - before;
        ASSERT_EQ(result, MMSYSERR_NOERROR) << "cycle " << cycle;
        ASSERT_NE(handle, nullptr) << "cycle " << cycle;
        ++opened;
        sentAt[cycle] = MonotonicNanoseconds();
        midiOutShortMsg(handle, NumberedMessage(cycle));
        before = Clock::now();
        MustFinishWithin(std::chrono::seconds(5), "midiOutClose", [&] { midiOutClose(handle); });
        longestClose = std::max(longestClose, Clock::now() - before);
        closing += Clock::now() - before;
    }
    const double totalMs = Milliseconds(Clock::now() - start);
    log.WaitFor(kCycles, milliseconds(1000));
    StopReceiver(log);
    const std::vector<Received> messages = log.Messages();
    std::printf(
        "%u opens and closes in %.0f ms (%.1f ms a cycle); open %.1f ms on average, longest "
        "%.1f ms; close %.1f ms on average, longest %.1f ms; %zu of %u messages received\n",
        opened, totalMs, totalMs / opened, Milliseconds(opening) / opened,
        Milliseconds(longestOpen), Milliseconds(closing) / opened, Milliseconds(longestClose),
        messages.size(), kCycles);
    // The 999 or so that arrive in the same run show that a loss would be
    // seen.
    const std::vector<uint64_t> xruns = XrunTimes(log.Other());
    EXPECT_EQ(LossesNotInXruns(messages, sentAt, xruns), std::vector<int64_t>{})
        << messages.size() << " of " << kCycles << " arrived, " << xruns.size() << " xruns";
}

TEST_F(FaultInjection, TwoHundredRandomizePassesBackToBack) {
    // 128 parameters, controllers 0 to 127 in file order, each range 0 to
    // 127 (values 1 to 127).
    std::ostringstream file;
    for (int controller = 0; controller < 128; ++controller) {
        file << "Parameter" << controller << ' ' << controller << " 0 127\n";
    }
    std::istringstream input(file.str());
    std::list<Parameter*> parameters;
    ReadConfiguration(input, parameters);
    ASSERT_EQ(parameters.size(), 128u);
    ParameterList.swap(parameters);

    ASSERT_TRUE(StartServerAndReceiver());
    ReceiverLog log(receiver_);
    HMIDIOUT handle = OpenReceiver();
    ASSERT_NE(handle, nullptr);
    constexpr int kPasses = 200;
    constexpr int kChannel = 9;
    double sendingMs = 0;
    double closeMs = 0;
    MustFinishWithin(std::chrono::seconds(30), "200 passes and close", [&] {
        const Clock::time_point start = Clock::now();
        for (int pass = 0; pass < kPasses; ++pass) {
            RandomizeAll(handle, kChannel);
        }
        const Clock::time_point sent = Clock::now();
        midiOutClose(handle);
        sendingMs = Milliseconds(sent - start);
        closeMs = Milliseconds(Clock::now() - sent);
    });
    const size_t expected = static_cast<size_t>(kPasses) * 128;
    log.WaitFor(expected, milliseconds(1000));
    StopReceiver(log);
    ParameterList.swap(parameters);
    for (Parameter* p : parameters) {
        delete p;
    }

    const std::vector<Received> messages = log.Messages();
    std::printf("%d passes, %zu messages sent in %.1f ms, close %.1f ms, %zu received\n", kPasses,
                expected, sendingMs, closeMs, messages.size());
    // The receiver's own queue must have kept up, or the count says nothing
    // about the service.
    for (const std::string& line : log.Other()) {
        EXPECT_NE(line.rfind("lost", 0), 0u) << "jack_receiver: " << line;
    }
    // Where the passes first break: their controllers run 0 to 127.
    size_t unbroken = 0;
    while (unbroken < messages.size() &&
           ((messages[unbroken].message >> 8) & 0xFF) == unbroken % 128) {
        ++unbroken;
    }
    ASSERT_EQ(messages.size(), expected)
        << "first missing or misplaced: pass " << unbroken / 128 << ", message " << unbroken % 128;
    for (size_t i = 0; i < messages.size(); ++i) {
        const DWORD message = messages[i].message;
        const DWORD controller = (message >> 8) & 0xFF;
        const DWORD value = (message >> 16) & 0xFF;
        ASSERT_EQ(messages[i].size, 3u) << "message " << i;
        ASSERT_EQ(message & 0xFF, 0xB0u + kChannel) << "message " << i;
        ASSERT_EQ(controller, i % 128) << "pass " << i / 128 << ", message " << i % 128;
        ASSERT_GE(value, 1u) << "pass " << i / 128 << ", message " << i % 128;
        ASSERT_LE(value, 127u) << "pass " << i / 128 << ", message " << i % 128;
    }
    EXPECT_LT(closeMs, 2000.0);
}

}  // namespace
