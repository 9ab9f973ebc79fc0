#include "tests/tools/CliProcess.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <thread>

#include "tests/support/TempFiles.h"

pid_t StartCli(const std::vector<std::string>& args, std::size_t addressSpace, const std::string& out,
               const std::string& err, std::size_t fileSize) {
    std::vector<std::string> strings = {DORVANELLE_CLI};
    strings.insert(strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child != 0) return child;
    const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (outFd < 0 || errFd < 0 || ::dup2(outFd, 1) < 0 || ::dup2(errFd, 2) < 0) ::_exit(126);
    if (addressSpace != 0) {
        const rlimit limit{addressSpace, addressSpace};
        if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(126);
    }
    if (fileSize != 0) {
        // Ignored, the signal lets the write fail instead of ending the process.
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{fileSize, fileSize};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

int WaitForCli(pid_t pid) {
    int raw = 0;
    if (::waitpid(pid, &raw, 0) != pid) return -1000;
    if (WIFSIGNALED(raw)) return -WTERMSIG(raw);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1000;
}

int WaitForCliAtMost(pid_t pid, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        int raw = 0;
        const pid_t ended = ::waitpid(pid, &raw, WNOHANG);
        if (ended == pid) {
            if (WIFSIGNALED(raw)) return -WTERMSIG(raw);
            return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1000;
        }
        if (ended < 0) return -1000;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1000;
}

CliRun RunCliLimited(const std::vector<std::string>& args, std::size_t addressSpace) {
    TempFolder scratch;
    CliRun run;
    run.status = WaitForCli(StartCli(args, addressSpace, scratch.File("out"), scratch.File("err")));
    for (auto [name, text] : {std::pair{"out", &run.out}, std::pair{"err", &run.err}}) {
        std::ifstream in(scratch.File(name), std::ios::binary);
        text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return run;
}

bool SanitizersBuiltIn() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}
