#include "views/BackgroundPriority.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

void GiveWayToTheViewer() {
    // On Linux a thread's own id sets the priority of that thread alone.
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10) == 0) {
        // The change alone does not hand the core over until the next tick: the thread
        // that started this one may be waiting for it now.
        sched_yield();
    }
}
