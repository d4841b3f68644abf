#include "TestSupport.h"

#include "common/Errors.h"
#include "common/Latin1.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrune::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrune-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    // A test may have taken the write bit away; give it back so removal works.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::vector<std::string> ListFolder(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::filesystem::path SourceDir() {
    if (const char* dir = std::getenv("KESTRUNE_SOURCE_DIR")) return dir;
    return KESTRUNE_DEFAULT_SOURCE_DIR;
}

std::string Source(const std::string& relative) { return ReadFile((SourceDir() / relative).string()); }

std::filesystem::path CorpusDir() {
    const auto corpus = SourceDir().parent_path() / "shared" / "corpus" / "router-xml";
    return std::filesystem::is_directory(corpus) ? corpus : std::filesystem::path();
}

void FakeUserInterface::DoShowMessage(const std::string& text, MessageIcon icon, const std::string& title) {
    messages.push_back({text, icon, title});
}

namespace {

// The next scripted answer, or an empty text (cancel) when none is left.
std::string NextAnswer(std::deque<std::string>& answers) {
    if (answers.empty()) return {};
    std::string answer = std::move(answers.front());
    answers.pop_front();
    return answer;
}

}  // namespace

std::string FakeUserInterface::DoChooseFileToOpen(const std::string& filter, const std::string& initialFolder) {
    fileRequests.push_back({filter, initialFolder});
    return NextAnswer(fileAnswers);
}

std::string FakeUserInterface::DoAskForText(const std::string& prompt, const std::string& title) {
    textRequests.push_back({prompt, title});
    return NextAnswer(textAnswers);
}

int RunWithFileSizeLimit(unsigned long limitBytes, const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{limitBytes, limitBytes};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
}

std::string FromHex(const std::string& hex) {
    std::string bytes;
    std::string digits;
    for (char c : hex) {
        if (c == ' ') continue;
        digits.push_back(c);
        if (digits.size() == 2) {
            bytes.push_back(static_cast<char>(std::stoi(digits, nullptr, 16)));
            digits.clear();
        }
    }
    return bytes;
}

std::string ToHex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char b : bytes) {
        if (!hex.empty()) hex.push_back(' ');
        hex.push_back(digits[b >> 4]);
        hex.push_back(digits[b & 15]);
    }
    return hex;
}

RaisedError ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const RunError& e) {
        return {e.number(), e.description()};
    }
    return {};
}

void ExpectRunError(const std::function<void()>& action, std::int32_t number, const std::string& mention) {
    const RaisedError raised = ErrorOf(action);
    EXPECT_EQ(raised.number, number) << raised.description;
    EXPECT_NE(raised.description.find(Latin1ToUtf8(mention)), std::string::npos) << raised.description;
}

namespace {

constexpr const char* CliPath = KESTRUNE_CLI_PATH;

// Where a child that could not start writes why, before it exits.
[[noreturn]] void FailStart(int pipeFd, const char* step) {
    const std::string why = std::string(step) + ": " + std::strerror(errno);
    [[maybe_unused]] const ssize_t ignored = ::write(pipeFd, why.data(), why.size());
    ::_exit(127);
}

// Sets the child up as options ask and starts the program; never returns.
[[noreturn]] void StartChild(const std::vector<char*>& argv, const CliOptions& options, int outFd, int errFd,
                             int whyFd) {
    const int devnull = ::open("/dev/null", O_RDONLY);
    ::dup2(devnull, 0);
    ::dup2(outFd, 1);
    ::dup2(errFd, 2);
    if (!options.workDir.empty() && ::chdir(options.workDir.c_str()) != 0) FailStart(whyFd, "chdir");
    if (options.fileSizeLimit) {
        const rlimit limit{*options.fileSizeLimit, *options.fileSizeLimit};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) FailStart(whyFd, "setrlimit");
    }
    if (options.unprivileged && ::geteuid() == 0) {
        if (::setgroups(0, nullptr) != 0) FailStart(whyFd, "setgroups");
        if (::setgid(UnprivilegedId) != 0) FailStart(whyFd, "setgid");
        if (::setuid(UnprivilegedId) != 0) FailStart(whyFd, "setuid");
    }
    if (options.killAtFileSizeLimit && ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) {
        FailStart(whyFd, "ptrace");
    }
    ::execv(argv[0], argv.data());
    FailStart(whyFd, "execv");
}

// A copy of the program that user 65534 may start, made once; it goes
// with the process.
const std::string& UnprivilegedCopy() {
    static const TempDir folder;
    static const std::string copy = [] {
        const std::string path = folder / "kestrune-cli";
        std::filesystem::copy_file(CliPath, path);
        std::filesystem::permissions(folder.path(), std::filesystem::perms(0755));
        std::filesystem::permissions(path, std::filesystem::perms(0755));
        return path;
    }();
    return copy;
}

bool HasSanitizerReport(const std::string& err) {
    for (const char* mark : {"==ERROR: ", "runtime error: ", "Sanitizer:DEADLYSIGNAL"}) {
        if (err.find(mark) != std::string::npos) return true;
    }
    return false;
}

}  // namespace

CliResult RunCli(const std::vector<std::string>& args, const CliOptions& options) {
    int outPipe[2];
    int errPipe[2];
    int whyPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0 || ::pipe2(whyPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
    const std::string program = options.unprivileged && ::geteuid() == 0 ? UnprivilegedCopy() : CliPath;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) StartChild(argv, options, outPipe[1], errPipe[1], whyPipe[1]);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    ::close(whyPipe[1]);

    CliResult result;
    // The pipe closes at the exec; anything in it says why there was none.
    char why[256];
    ssize_t whyLength = 0;
    while ((whyLength = ::read(whyPipe[0], why, sizeof why)) < 0 && errno == EINTR) {
    }
    ::close(whyPipe[0]);
    if (whyLength > 0) {
        result.notStarted.assign(why, static_cast<std::size_t>(whyLength));
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        ::waitpid(pid, nullptr, 0);
        return result;
    }

    const bool traced = options.killAtFileSizeLimit;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    bool killed = false;
    bool reaped = false;
    int status = 0;
    while (open > 0 || (traced && !reaped)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 && !killed) {
            ::kill(pid, SIGKILL);
            killed = true;
        }
        // A traced child stops without closing its pipes: look in on it often.
        const int wait = traced ? 10 : killed ? 1000 : static_cast<int>(left.count());
        if (::poll(fds, 2, wait) < 0 && errno != EINTR) throw std::runtime_error("poll");
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[65536];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
        if (!traced || reaped) continue;
        int state = 0;
        if (::waitpid(pid, &state, WNOHANG) != pid) continue;
        if (!WIFSTOPPED(state)) {
            status = state;
            reaped = true;
        } else if (WSTOPSIG(state) == SIGXFSZ) {
            result.killedAtWrite = true;
            ::kill(pid, SIGKILL);
            killed = true;
        } else if (WSTOPSIG(state) == SIGTRAP) {
            // The stop after the exec: from here on the child dies with its tracer.
            ::ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_EXITKILL);
            ::ptrace(PTRACE_CONT, pid, nullptr, nullptr);
        } else {
            ::ptrace(PTRACE_CONT, pid, nullptr, WSTOPSIG(state));
        }
    }
    if (!reaped) ::waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (HasSanitizerReport(result.err)) ADD_FAILURE() << "kestrune-cli reported a sanitizer error:\n" << result.err;
    return result;
}

}  // namespace kestrune::test
