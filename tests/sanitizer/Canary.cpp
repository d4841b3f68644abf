// Makes one deliberate fault, named by its argument, that the sanitizer
// build must report. The canary tests pass only on the report, so a build
// whose checks were quietly switched off fails instead of passing everything.
#include <climits>
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Out of reach of the optimiser: the faults must happen at run time.
volatile int runtimeOne = 1;
void* volatile lost = nullptr;

// The tests abort on a report; CTest would count the abort as a crash
// before it looked for the report.
extern "C" void ExitOnAbort(int) { std::_Exit(134); }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::signal(SIGABRT, ExitOnAbort);
    const std::string fault = argv[1];
    if (fault == "heap-overflow") {
        std::vector<char> bytes(8);
        return bytes.data()[7 + runtimeOne];
    }
    if (fault == "leak") {
        lost = std::malloc(64);
        lost = nullptr;
        return 0;
    }
    if (fault == "signed-overflow") {
        int value = INT_MAX;
        value += runtimeOne;
        return value == 0;
    }
    if (fault == "float-cast-overflow") {
        const double huge = 1e300 * runtimeOne;
        return static_cast<int>(static_cast<unsigned>(huge));
    }
    if (fault == "string-index") {
        const std::string text = "abc";
        return text[3 + static_cast<std::size_t>(runtimeOne)];
    }
    return 2;
}
