#pragma once

#include "common/UserInterface.h"

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestrune::test {

// A fresh folder under the system's temporary folder, removed with all it
// holds when the object goes, even when an assertion failed.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The full path of name inside the folder.
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Writes bytes to a file, replacing it; for setting up fixtures.
void WriteFile(const std::string& path, const std::string& bytes);
// The whole file; for checking results.
std::string ReadFile(const std::string& path);
// The names in a folder, sorted.
std::vector<std::string> ListFolder(const std::filesystem::path& folder);

// The project's source folder (for samples and fixes).
std::filesystem::path SourceDir();
// The bytes of a file of the source tree, such as "samples/router.xml".
std::string Source(const std::string& relative);
// The shared corpus of real router configurations, or an empty path when it
// is not beside the project; tests that need it skip then.
std::filesystem::path CorpusDir();

// A user interface that records what the core shows and answers from a
// script: the queued answers for file choices and text questions, an empty
// text (cancel) when the queue is empty.
class FakeUserInterface : public UserInterface {
public:
    struct Message {
        std::string text;
        MessageIcon icon;
        std::string title;
    };
    struct Request {
        std::string first;   // filter, or prompt
        std::string second;  // initial folder, or title
    };

    std::vector<Message> messages;
    std::vector<Request> fileRequests;
    std::vector<Request> textRequests;
    std::deque<std::string> fileAnswers;
    std::deque<std::string> textAnswers;

protected:
    void DoShowMessage(const std::string& text, MessageIcon icon, const std::string& title) override;
    std::string DoChooseFileToOpen(const std::string& filter, const std::string& initialFolder) override;
    std::string DoAskForText(const std::string& prompt, const std::string& title) override;
};

// Runs body in a child process whose files may not grow past limitBytes
// and which ignores SIGXFSZ, so that the limit shows as a failed write, as
// on a full disk. Returns body's result (0..255), or 255 when the child died.
int RunWithFileSizeLimit(unsigned long limitBytes, const std::function<int()>& body);

// The bytes of a hexadecimal text such as "4C 4D 4D 43"; spaces are ignored.
std::string FromHex(const std::string& hex);
// The bytes as upper-case hexadecimal pairs separated by single spaces.
std::string ToHex(const std::string& bytes);

// What an action raised: the RunError's number and description, or number 0
// when it raised none.
struct RaisedError {
    std::int32_t number = 0;
    std::string description;
};
RaisedError ErrorOf(const std::function<void()>& action);

// Expects action to raise the RunError number with a description that names
// mention, a byte string as the program was given it; descriptions are UTF-8.
void ExpectRunError(const std::function<void()>& action, std::int32_t number, const std::string& mention = "");

// What a run of the real kestrune-cli gave. A sanitizer report on its
// standard error fails the calling test, whatever the test checks.
struct CliResult {
    int exitCode = -1;  // the exit code, or 128 + signal when it was killed
    std::string out;
    std::string err;
    std::string notStarted;      // why it could not be started as asked; empty when it ran
    bool killedAtWrite = false;  // killAtFileSizeLimit: it was killed there
};

// How RunCli starts the program.
struct CliOptions {
    std::string workDir;  // its working folder, when not empty
    int timeoutSeconds = 30;
    // Files may not grow past this many bytes (RLIMIT_FSIZE); the program
    // ignores SIGXFSZ, so a write past it fails as on a full disk.
    std::optional<unsigned long> fileSizeLimit;
    // With fileSizeLimit: the program runs traced and is killed (SIGKILL) at
    // the write that would pass the limit, with that many bytes written.
    bool killAtFileSizeLimit = false;
    // Permission bits bind the program: as root it becomes user and group
    // 65534 first, so a folder without write permission is read-only to it.
    // It runs a copy that user may start wherever the build lies.
    bool unprivileged = false;
};

// Runs the built kestrune-cli with args as options say, with standard input
// closed, and kills it after options.timeoutSeconds.
CliResult RunCli(const std::vector<std::string>& args, const CliOptions& options);

// The user and group that CliOptions::unprivileged runs as when started by root.
inline constexpr unsigned UnprivilegedId = 65534;

}  // namespace kestrune::test
