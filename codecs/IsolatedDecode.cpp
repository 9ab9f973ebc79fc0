#include "codecs/IsolatedDecode.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <string>

#include "codecs/DecoderTable.h"

namespace {

// What the child hands back beside the samples.
struct ChildOutcome {
    std::int32_t done;
    std::uint8_t convertedToRgb;
    DecodeFailureRecord failure;
};

void Keep(const Reason& reason, DecodeFailureRecord& failure) {
    failure.code = reason.CodeOf<DecodeFailure>();
    for (std::size_t i = 0; i < std::size(failure.numbers); ++i) {
        failure.numbers[i] = reason.Number(i);
    }
    const std::string& subject = reason.Subject();
    const std::size_t length = std::min(subject.size(), std::size(failure.subject) - 1);
    std::copy_n(subject.data(), length, std::begin(failure.subject));
    failure.subject[length] = '\0';
}

Reason Restore(const DecodeFailureRecord& failure) {
    const char* begin = std::begin(failure.subject);
    const char* end = std::find(begin, std::end(failure.subject), '\0');
    const auto* n = failure.numbers;
    return Reason(static_cast<DecodeFailure>(failure.code))
        .About(std::string(begin, end))
        .Numbers(n[0], n[1], n[2], n[3], n[4], n[5]);
}

// The shared block: unmapped when it goes.
class SharedBlock {
public:
    explicit SharedBlock(std::size_t size)
        : m_size(size), m_data(mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0)) {}
    ~SharedBlock() {
        if (m_data != MAP_FAILED) {
            munmap(m_data, m_size);
        }
    }
    SharedBlock(const SharedBlock&) = delete;
    SharedBlock& operator=(const SharedBlock&) = delete;
    bool Mapped() const { return m_data != MAP_FAILED; }
    std::uint8_t* Bytes() const { return static_cast<std::uint8_t*>(m_data); }

private:
    std::size_t m_size;
    void* m_data;
};

}  // namespace

bool DecodeInChildProcess(const char* kind, FrameOutput& out,
                          const std::function<bool(FrameOutput& out, Reason* why)>& decode, Reason* why) {
    SharedBlock block(sizeof(ChildOutcome) + out.size);
    if (!block.Mapped()) {
        return Fail(why, Reason(DecodeFailure::OutOfMemory).About(kind));
    }
    auto* outcome = reinterpret_cast<ChildOutcome*>(block.Bytes());
    std::uint8_t* samples = block.Bytes() + sizeof(ChildOutcome);
    const pid_t child = fork();
    if (child < 0) {
        return Fail(why, Reason(DecodeFailure::DecoderNotSetUp).About(kind));
    }
    if (child == 0) {
        // A failing library stops the child as the signal would stop any program:
        // handlers the parent installed (a fuzzer's, which records a crash and
        // exits) must not run here, or the parent could not tell the stop apart.
        for (const int stop : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP}) {
            signal(stop, SIG_DFL);
        }
        // What the library prints as it fails (an assertion's words) is not shown.
        const int quiet = open("/dev/null", O_WRONLY);
        if (quiet >= 0) {
            dup2(quiet, STDERR_FILENO);
        }
        FrameOutput shared{samples, out.size, false};
        Reason reason;
        bool done = false;
        try {
            done = decode(shared, &reason);
        } catch (...) {
            reason = Reason(DecodeFailure::OutOfMemory).About(kind);
        }
        outcome->done = done ? 1 : 0;
        outcome->convertedToRgb = shared.convertedToRgb ? 1 : 0;
        if (!done) {
            Keep(reason, outcome->failure);
        }
        _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return Fail(why, Reason(DecodeFailure::DecoderNotSetUp).About(kind));
        }
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return Fail(why, Reason(DecodeFailure::DecoderStopped).About(kind));
    }
    if (outcome->done == 0) {
        return Fail(why, Restore(outcome->failure));
    }
    std::memcpy(out.samples, samples, out.size);
    out.convertedToRgb = outcome->convertedToRgb != 0;
    return true;
}
