// SPDX-License-Identifier: GPL-3.0-or-later
// Builds the search index of the database named on the command line in small steps,
// printing "done total" after each, so that a test can kill it halfway.
#include "store/searchindex.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: searchindex_child DATABASE\n");
        return 2;
    }
    SearchIndexBuilder::Settings settings;
    settings.stepMs = 1;
    settings.firstStep = 20;
    settings.pauseMs = 1;
    const auto report = SearchIndexBuilder::run(QString::fromLocal8Bit(argv[1]), SearchIndexBuilder::Task::Build, settings,
                                                [](qint64 done, qint64 total) {
                                                    std::printf("%lld %lld\n", static_cast<long long>(done),
                                                                static_cast<long long>(total));
                                                    std::fflush(stdout);
                                                });
    return report.outcome == SearchIndexBuilder::Outcome::Ready ? 0 : 1;
}
