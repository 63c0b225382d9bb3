#ifndef VELMORA_CFG_RESULT_H
#define VELMORA_CFG_RESULT_H

#include <optional>
#include <string>
#include <utility>

// How a command ends, and so the program's exit status: the worst of all it
// did, each file and each instrument.
enum class ExitStatus {
    kSuccess = 0,
    // check: a file has warnings; import: an instrument is not written by
    // rule (too few sound parameters, a file that exists kept).
    kWarnings = 1,
    // A file could not be read or written, or the command line is wrong.
    kFailed = 2,
};

inline ExitStatus Worse(ExitStatus a, ExitStatus b) {
    return a > b ? a : b;
}

// Why an operation did not do what it was asked, in words for the user, and
// what that makes of the exit status.
struct Problem {
    std::string text;
    ExitStatus status = ExitStatus::kFailed;
};

// What an operation that makes nothing gives when it succeeds.
struct Done {};

// An operation's value, or the problem that stopped it.
template <typename T>
struct Result {
    Result(T made) : value(std::move(made)) {}
    Result(Problem failed) : problem(std::move(failed)) {}

    explicit operator bool() const { return !problem.has_value(); }

    T value{};
    std::optional<Problem> problem;
};

#endif
