// SPDX-License-Identifier: MIT
// kestrin-bench: runs a command several times as a child process and reports the median wall time, the
// median CPU time (user + system) and the peak resident set size of the runs.
//
// The child's figures come from wait4(), so they cover the command itself and not this program, and a
// timeout kills the child's whole process group, so a stuck run cannot hold up a benchmark table.

#include "bench_options.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace kestrin {
namespace {

enum class RunStatus { Ok, Exited, Signalled, TimedOut, ExecFailed };

struct RunResult {
    RunStatus status = RunStatus::Ok;
    int code = 0; // exit code, signal number or errno of exec, by status
    double wallSeconds = 0.0;
    double cpuSeconds = 0.0;
    long maxRssKib = 0;
};

struct Options {
    int runs = 5;
    int warmups = 0;
    double timeoutSeconds = 0.0; // 0: no limit
    std::string stdoutPath = "/dev/null";
    bool tsv = false;
    bool verbose = false;
    std::vector<char*> command; // ends with nullptr for execvp
};

double Seconds(const timeval& t)
{
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

void OnChild(int) {}

// In the child: new process group, stdin from /dev/null, stdout to the chosen file, then exec. A failed
// exec reports its errno through the pipe that the successful exec would have closed.
[[noreturn]] void ExecChild(const Options& options, const sigset_t& oldMask, int errorPipe)
{
    setpgid(0, 0);
    sigprocmask(SIG_SETMASK, &oldMask, nullptr);
    std::signal(SIGCHLD, SIG_DFL);
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(options.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int error = 0;
    if (in < 0 || out < 0 || dup2(in, STDIN_FILENO) < 0 || dup2(out, STDOUT_FILENO) < 0)
        error = errno;
    else
        execvp(options.command[0], options.command.data());
    if (error == 0)
        error = errno;
    [[maybe_unused]] const ssize_t written = write(errorPipe, &error, sizeof error);
    _exit(127);
}

RunResult RunOnce(const Options& options)
{
    RunResult result;
    // SIGCHLD stays blocked so that sigtimedwait() can wait for the child with a deadline.
    sigset_t childSignal;
    sigset_t oldMask;
    sigemptyset(&childSignal);
    sigaddset(&childSignal, SIGCHLD);
    sigprocmask(SIG_BLOCK, &childSignal, &oldMask);

    int errorPipe[2];
    if (pipe2(errorPipe, O_CLOEXEC) != 0) {
        result.status = RunStatus::ExecFailed;
        result.code = errno;
        return result;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0) {
        result.status = RunStatus::ExecFailed;
        result.code = errno;
        close(errorPipe[0]);
        close(errorPipe[1]);
        return result;
    }
    if (child == 0)
        ExecChild(options, oldMask, errorPipe[1]);
    setpgid(child, child); // also here, so the group exists before any kill below
    close(errorPipe[1]);
    int execError = 0;
    const bool execFailed = read(errorPipe[0], &execError, sizeof execError) == sizeof execError;
    close(errorPipe[0]);

    int status = 0;
    rusage usage{};
    bool reaped = false;
    bool timedOut = false;
    const auto deadline = start + std::chrono::duration<double>(options.timeoutSeconds);
    while (!reaped) {
        if (wait4(child, &status, WNOHANG, &usage) == child) {
            reaped = true;
            break;
        }
        int got = 0;
        if (options.timeoutSeconds > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                timedOut = true;
                kill(-child, SIGKILL);
                wait4(child, &status, 0, &usage);
                reaped = true;
                break;
            }
            timespec timeLeft{static_cast<time_t>(left.count() / 1'000'000'000),
                              static_cast<long>(left.count() % 1'000'000'000)};
            got = sigtimedwait(&childSignal, nullptr, &timeLeft);
        } else {
            got = sigwaitinfo(&childSignal, nullptr);
        }
        if (got < 0 && errno != EAGAIN && errno != EINTR) {
            wait4(child, &status, 0, &usage);
            reaped = true;
        }
    }
    const auto end = std::chrono::steady_clock::now();
    sigprocmask(SIG_SETMASK, &oldMask, nullptr);

    result.wallSeconds = std::chrono::duration<double>(end - start).count();
    result.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    result.maxRssKib = usage.ru_maxrss; // kibibytes on Linux
    if (execFailed) {
        result.status = RunStatus::ExecFailed;
        result.code = execError;
    } else if (timedOut) {
        result.status = RunStatus::TimedOut;
    } else if (WIFSIGNALED(status)) {
        result.status = RunStatus::Signalled;
        result.code = WTERMSIG(status);
    } else if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        result.status = RunStatus::Exited;
        result.code = WEXITSTATUS(status);
    }
    return result;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

std::string StatusText(const RunResult& run)
{
    switch (run.status) {
    case RunStatus::Ok:
        return "ok";
    case RunStatus::Exited:
        return "exit:" + std::to_string(run.code);
    case RunStatus::Signalled:
        return "signal:" + std::to_string(run.code);
    case RunStatus::TimedOut:
        return "timeout";
    case RunStatus::ExecFailed:
        return std::string("exec-failed:") + std::strerror(run.code);
    }
    return "unknown";
}

bool ParseSeconds(const char* text, double& value)
{
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && value >= 0.0;
}

int Usage(std::FILE* to)
{
    std::fputs(
        "usage: kestrin-bench [-r RUNS] [-w WARMUPS] [-t SECONDS] [-o FILE] [--tsv] [-v] [--] COMMAND "
        "[ARG...]\n"
        "  Runs COMMAND RUNS times (default 5) after WARMUPS untimed runs (default 0) and prints the\n"
        "  median wall time, the median CPU time (user + system) and the peak resident set size.\n"
        "  -t SECONDS  kill a run that takes longer, and stop (status \"timeout\")\n"
        "  -o FILE     the command's standard output goes here (default /dev/null); stdin is /dev/null\n"
        "  --tsv       one line: status, median wall s, median CPU s, peak RSS KiB, runs, min wall s, max "
        "wall s\n"
        "  -v          one line per run on standard error\n"
        "Exit status: 0 when every run exited with 0, 1 when one did not (the rest are skipped), 2 on bad\n"
        "usage.\n",
        to);
    return to == stdout ? 0 : 2;
}

bool ParseOptions(int argc, char** argv, Options& options, bool& help)
{
    const bench::Option known[] = {
        {"--tsv", [&] { options.tsv = true; }, {}},
        {"-v", [&] { options.verbose = true; }, {}},
        {"-r",
         {},
         [&](std::string_view value) { return bench::ParseWhole(value, options.runs, 1, INT_MAX); }},
        {"-w",
         {},
         [&](std::string_view value) { return bench::ParseWhole(value, options.warmups, 0, INT_MAX); }},
        {"-t",
         {},
         [&](std::string_view value) {
             return ParseSeconds(std::string(value).c_str(), options.timeoutSeconds);
         }},
        {"-o",
         {},
         [&](std::string_view value) {
             options.stdoutPath = value;
             return true;
         }},
    };
    bench::ParsedOptions parsed = bench::ParseOptions(argc, argv, known, bench::Operands::EndOptions);
    help = parsed.help;
    options.command = std::move(parsed.operands);
    options.command.push_back(nullptr);
    return help || (parsed.good && options.command.size() > 1);
}

int Main(int argc, char** argv)
{
    Options options;
    bool help = false;
    if (!ParseOptions(argc, argv, options, help))
        return Usage(stderr);
    if (help)
        return Usage(stdout);
    // A handler (rather than the default "ignore") keeps SIGCHLD pending while it is blocked.
    std::signal(SIGCHLD, OnChild);

    std::vector<RunResult> runs;
    RunResult failure;
    bool failed = false;
    for (int i = 0; i < options.warmups + options.runs && !failed; ++i) {
        const RunResult run = RunOnce(options);
        if (options.verbose)
            std::fprintf(stderr, "%s run %d: %s wall %.4f s cpu %.4f s rss %ld KiB\n",
                         i < options.warmups ? "warm-up" : "timed", i + 1, StatusText(run).c_str(),
                         run.wallSeconds, run.cpuSeconds, run.maxRssKib);
        if (run.status != RunStatus::Ok) {
            failure = run;
            failed = true;
        } else if (i >= options.warmups) {
            runs.push_back(run);
        }
    }
    // A failed run is reported with its own figures: for a timeout its wall time is the limit.
    if (failed)
        runs = {failure};

    std::vector<double> walls;
    std::vector<double> cpus;
    long maxRss = 0;
    for (const RunResult& run : runs) {
        walls.push_back(run.wallSeconds);
        cpus.push_back(run.cpuSeconds);
        maxRss = std::max(maxRss, run.maxRssKib);
    }
    const std::string status = failed ? StatusText(failure) : "ok";
    const double wall = Median(walls);
    const double cpu = Median(cpus);
    const double minWall = *std::min_element(walls.begin(), walls.end());
    const double maxWall = *std::max_element(walls.begin(), walls.end());
    if (options.tsv) {
        std::printf("%s\t%.4f\t%.4f\t%ld\t%zu\t%.4f\t%.4f\n", status.c_str(), wall, cpu, maxRss, runs.size(),
                    minWall, maxWall);
    } else {
        std::printf("status    %s\nruns      %zu\n", status.c_str(), runs.size());
        std::printf("wall      median %.4f s  (min %.4f s, max %.4f s)\n", wall, minWall, maxWall);
        std::printf("cpu       median %.4f s  (user + system)\n", cpu);
        std::printf("peak RSS  %.1f MiB (%ld KiB)\n", static_cast<double>(maxRss) / 1024.0, maxRss);
    }
    return failed ? 1 : 0;
}

} // namespace
} // namespace kestrin

int main(int argc, char** argv)
{
    return kestrin::Main(argc, argv);
}
