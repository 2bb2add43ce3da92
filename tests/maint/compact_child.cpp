// SPDX-License-Identifier: GPL-3.0-or-later
// Compacts the data folder given first and stops where the caller wants it: on reaching
// step N (the number of a Compaction::Step, -1 for none) it prints "paused N" and waits
// to be killed. With "--fsize BYTES" no file may grow past BYTES: the system refuses the
// write. A compaction that runs to its end prints "ok=<0|1> failure=<Compaction::Failure>",
// its reason and its cause, a line each.
#include "archive/compaction.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    const bool limited = argc == 5 && std::strcmp(argv[3], "--fsize") == 0;
    if (argc != 3 && !limited) {
        std::fprintf(stderr, "usage: compact_child FOLDER STEP [--fsize BYTES]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int stopAt = std::atoi(argv[2]);
    if (limited) {
        // Without this the kernel kills the process instead of failing the write.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlim_t bytes = std::strtoull(argv[4], nullptr, 10);
        const rlimit limit{bytes, bytes};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            std::perror("setrlimit");
            return 2;
        }
    }
    const auto pausePoint = [stopAt](Compaction::Step step) {
        if (int(step) != stopAt)
            return;
        std::printf("paused %d\n", stopAt);
        std::fflush(stdout);
        for (;;)
            ::pause();
    };
    const Compaction::Result result = Compaction::compact(folder, pausePoint);
    std::printf("ok=%d failure=%d\n%s\n%s\n", int(result.ok), int(result.failure), result.reason.toUtf8().constData(),
                result.cause.toUtf8().constData());
    return 0;
}
