#include "views/BackgroundPriority.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

constexpr int kGiveWay = 10;
constexpr int kLowestPriority = 19;

}  // namespace

void GiveWayToTheViewer() {
    // On Linux a thread's own id sets the priority of that thread alone. The step is
    // from the thread's own nice value: a viewer started under nice 19 must not see
    // its background work raised above the thread that paints.
    const auto self = static_cast<id_t>(gettid());
    errno = 0;
    const int now = getpriority(PRIO_PROCESS, self);
    if (now == -1 && errno != 0) return;
    const int lower = std::min(now + kGiveWay, kLowestPriority);
    if (lower == now) return;
    if (setpriority(PRIO_PROCESS, self, lower) == 0) {
        // The change alone does not hand the core over until the next tick: the thread
        // that started this one may be waiting for it now.
        sched_yield();
    }
}
