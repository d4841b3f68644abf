// Times whole processes side by side, for bench/compare.sh.
//
//   kestrune_proctime [--runs N] [--warmup N] [--setup SHELL-COMMAND] NAME ARG... [:: NAME ARG...]...
//
// The commands take turns, and the order of each round is reversed from the
// one before, so a machine that gets busier or quieter during the run
// weighs on every command alike. SHELL-COMMAND runs (untimed) before every
// run, to put back a file that a command changes. Output: one line per
// command, tab-separated: name, runs, median wall seconds, median CPU
// seconds (user + system of the child), worst exit status.
//
// The argument vectors go to posix_spawnp as they are: no shell splits or
// expands them, so XPath expressions full of quotes and brackets arrive intact.

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Command {
    std::string name;
    std::vector<std::string> argv;
    std::vector<double> wall;
    std::vector<double> cpu;
    int worstStatus = 0;
};

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6; }

double Now() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

// Runs argv with standard output and error sent to /dev/null, so no
// terminal or pipe sits in the measured time. Returns the exit status
// (128 + signal for a killed child, 127 when it could not start).
int Run(const std::vector<std::string>& args, double& wall, double& cpu) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    const double start = Now();
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        std::fprintf(stderr, "kestrune_proctime: cannot start %s: %s\n", argv[0], std::strerror(spawned));
        return 127;
    }
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) return 127;
    }
    wall = Now() - start;
    cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

int Usage() {
    std::fprintf(stderr,
                 "Usage: kestrune_proctime [--runs N] [--warmup N] [--setup SHELL-COMMAND] NAME ARG... "
                 "[:: NAME ARG...]...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 20;
    int warmup = 2;
    std::string setup;
    int i = 1;
    for (; i + 1 < argc && argv[i][0] == '-' && argv[i][1] == '-'; i += 2) {
        const std::string option = argv[i];
        if (option == "--runs") {
            runs = std::atoi(argv[i + 1]);
        } else if (option == "--warmup") {
            warmup = std::atoi(argv[i + 1]);
        } else if (option == "--setup") {
            setup = argv[i + 1];
        } else {
            return Usage();
        }
    }
    std::vector<Command> commands;
    for (; i < argc; ++i) {
        if (commands.empty() || std::strcmp(argv[i], "::") == 0) {
            if (std::strcmp(argv[i], "::") == 0) ++i;
            if (i >= argc) return Usage();
            commands.push_back(Command{argv[i], {}, {}, {}, 0});
            continue;
        }
        commands.back().argv.push_back(argv[i]);
    }
    if (runs < 1 || warmup < 0 || commands.empty()) return Usage();
    for (const auto& c : commands) {
        if (c.argv.empty()) return Usage();
    }

    const std::vector<std::string> setupArgs = {"/bin/sh", "-c", setup};
    for (int round = 0; round < warmup + runs; ++round) {
        std::vector<std::size_t> order(commands.size());
        for (std::size_t k = 0; k < order.size(); ++k) order[k] = round % 2 == 0 ? k : order.size() - 1 - k;
        for (const std::size_t k : order) {
            double wall = 0;
            double cpu = 0;
            if (!setup.empty() && Run(setupArgs, wall, cpu) != 0) {
                std::fprintf(stderr, "kestrune_proctime: the setup command failed: %s\n", setup.c_str());
                return 1;
            }
            Command& c = commands[k];
            const int status = Run(c.argv, wall, cpu);
            c.worstStatus = std::max(c.worstStatus, status);
            if (round < warmup) continue;
            c.wall.push_back(wall);
            c.cpu.push_back(cpu);
        }
    }
    for (const auto& c : commands) {
        std::printf("%s\t%d\t%.6f\t%.6f\t%d\n", c.name.c_str(), runs, Median(c.wall), Median(c.cpu), c.worstStatus);
    }
    return 0;
}
