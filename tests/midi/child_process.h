// Programs that the MIDI tests start and stop: the JACK server (through
// jack-server.sh) and jack_receiver, read line by line.
#ifndef VELMORA_TESTS_MIDI_CHILD_PROCESS_H
#define VELMORA_TESTS_MIDI_CHILD_PROCESS_H

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// A started program whose standard output the test reads. Stopped (SIGTERM,
// then SIGKILL) when it goes out of scope.
class ChildProcess {
  public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() { Stop(); }

    // False when the program cannot be started.
    bool Start(const std::vector<std::string>& arguments);
    // The next line of its output, without the line end; false when none
    // came within the timeout or the output ended.
    bool ReadLine(std::string& line, std::chrono::milliseconds timeout);
    // Sends the signal, waits up to two seconds, then kills; returns the exit
    // status as waitpid gives it, or -1 when it was not running.
    int Stop(int signal = 15);
    // Waits up to timeout for the program to end by itself; its exit status
    // as waitpid gives it, or -1 when it is still running.
    int Wait(std::chrono::milliseconds timeout);
    pid_t Pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string pending_;
};

// Starts jack_receiver (program) on the server as the client and waits for
// its "ready CLIENT:input" line. On failure, says why in failure.
bool StartJackReceiver(ChildProcess& receiver, const std::string& program,
                       const std::string& server, const std::string& client, std::string& failure);

// Runs a program (looked up in PATH) to its end and returns its standard
// output; exitStatus gets
// its exit code (-1 when it did not exit normally).
std::string RunProgram(const std::vector<std::string>& arguments, int& exitStatus);

// A private JACK server with the dummy backend, started by jack-server.sh
// under a name of its own and stopped when this goes out of scope (or, should
// the test process die, by the script's own watch).
class JackServer {
  public:
    explicit JackServer(const std::string& script) : script_(script) {}
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;
    ~JackServer() { Stop(); }

    // With realtime false the server runs without realtime scheduling (jackd
    // -r), where it answers late under load.
    bool Start(bool realtime);
    // SIGKILL, as when the server crashes.
    void Kill();
    // SIGSTOP and SIGCONT: a server that hangs, and one that answers again.
    void Pause();
    void Resume();
    void Stop();
    const std::string& Name() const { return name_; }

  private:
    std::string script_;
    std::string name_;
    pid_t pid_ = -1;
};

#endif
