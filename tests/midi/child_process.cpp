#include "child_process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Starts the program with its standard output on a pipe; the read end goes
// to output.
pid_t Spawn(const std::vector<std::string>& arguments, int& output) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (pid < 0) {
        close(pipeEnds[0]);
        return -1;
    }
    output = pipeEnds[0];
    return pid;
}

// waitpid with a deadline; the exit status, or -1 when it did not end.
int WaitFor(pid_t pid, std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t result = waitpid(pid, &status, WNOHANG);
        if (result == pid) {
            return status;
        }
        if (result < 0 && errno != EINTR) {
            return -1;
        }
        if (Clock::now() > deadline) {
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace

bool ChildProcess::Start(const std::vector<std::string>& arguments) {
    Stop();
    pending_.clear();
    pid_ = Spawn(arguments, output_);
    return pid_ > 0;
}

bool ChildProcess::ReadLine(std::string& line, std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
        const size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return true;
        }
        if (output_ < 0) {
            return false;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() < 0) {
            return false;
        }
        pollfd request = {output_, POLLIN, 0};
        const int ready = poll(&request, 1, static_cast<int>(left.count()) + 1);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return false;
        }
        char buffer[65536];
        const ssize_t count = read(output_, buffer, sizeof buffer);
        if (count <= 0) {
            close(output_);
            output_ = -1;
            continue;
        }
        pending_.append(buffer, static_cast<size_t>(count));
    }
}

int ChildProcess::Stop(int signal) {
    int status = -1;
    if (pid_ > 0) {
        kill(pid_, signal);
        status = WaitFor(pid_, std::chrono::seconds(2));
        if (status == -1) {
            kill(pid_, SIGKILL);
            status = WaitFor(pid_, std::chrono::seconds(2));
        }
        pid_ = -1;
    }
    if (output_ >= 0) {
        close(output_);
        output_ = -1;
    }
    return status;
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) {
        return -1;
    }
    const int status = WaitFor(pid_, timeout);
    if (status != -1) {
        pid_ = -1;
    }
    return status;
}

bool StartJackReceiver(ChildProcess& receiver, const std::string& program,
                       const std::string& server, const std::string& client, std::string& failure) {
    if (!receiver.Start({program, "-s", server, "-n", client, "-t"})) {
        failure = "cannot start " + program;
        return false;
    }
    std::string line;
    if (!receiver.ReadLine(line, std::chrono::milliseconds(5000)) ||
        line != "ready " + client + ":input") {
        failure = "the receiver did not get ready: '" + line + "'";
        return false;
    }
    return true;
}

std::string RunProgram(const std::vector<std::string>& arguments, int& exitStatus) {
    exitStatus = -1;
    int output = -1;
    const pid_t pid = Spawn(arguments, output);
    if (pid < 0) {
        return "";
    }
    std::string text;
    char buffer[4096];
    ssize_t count;
    while ((count = read(output, buffer, sizeof buffer)) != 0) {
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            break;
        }
        text.append(buffer, static_cast<size_t>(count));
    }
    close(output);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        exitStatus = WEXITSTATUS(status);
    }
    return text;
}

bool JackServer::Start(bool realtime) {
    static std::atomic<int> serial{0};
    name_ = "velmora-test-" + std::to_string(getpid()) + "-" + std::to_string(serial++);
    int exitStatus = -1;
    setenv("JACK_SERVER_FLAGS", realtime ? "" : "-r", 1);
    const std::string output =
        RunProgram({script_, "start", name_, std::to_string(getpid())}, exitStatus);
    unsetenv("JACK_SERVER_FLAGS");
    if (exitStatus != 0) {
        return false;
    }
    pid_ = static_cast<pid_t>(std::atoi(output.c_str()));
    return pid_ > 0;
}

void JackServer::Kill() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
    }
}

void JackServer::Pause() {
    if (pid_ > 0) {
        kill(pid_, SIGSTOP);
    }
}

void JackServer::Resume() {
    if (pid_ > 0) {
        kill(pid_, SIGCONT);
    }
}

void JackServer::Stop() {
    if (pid_ > 0) {
        int exitStatus = -1;
        RunProgram({script_, "stop", std::to_string(pid_), name_}, exitStatus);
        pid_ = -1;
    }
}
