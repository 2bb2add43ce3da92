// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/integritycheck.h"

#include "store/sqlitedb.h"
#include "store/steppedbuild.h"

#include <QStringList>

#include <sqlite3.h>

namespace {

// quick_check lists up to a hundred faults; the first few say enough.
constexpr int kDetailLines = 5;
constexpr int kBusyPauseMs = 10;
constexpr int kBusyLimitMs = 2000;

} // namespace

IntegrityCheck::IntegrityCheck(QObject *parent)
    : QObject(parent)
    , m_job(this)
{
}

// A result the worker posted meanwhile goes with the object, undelivered.
IntegrityCheck::~IntegrityCheck() = default;

bool IntegrityCheck::isRunning() const
{
    return m_job.isRunning();
}

bool IntegrityCheck::start(const QString &databasePath)
{
    // At the window's own priority: start-up waits for no more than the check.
    return m_job.start(
        [this, databasePath](const BackgroundJob::Context &job) -> std::function<void()> {
            const Report report = run(databasePath, &job.shared());
            return [this, report] { emit finished(report.outcome, report.detail); };
        },
        true);
}

IntegrityCheck::Report IntegrityCheck::run(const QString &databasePath)
{
    WorkerConnection shared;
    return run(databasePath, &shared);
}

IntegrityCheck::Report IntegrityCheck::run(const QString &databasePath, WorkerConnection *shared)
{
    Report report;
    // The window's own connection may be writing; wait a little for it, but give up at once
    // when the check is called off.
    WorkerDb worker(*shared, kBusyPauseMs, kBusyLimitMs);
    if (!worker.open(databasePath, SQLITE_OPEN_READONLY)) {
        report.detail = worker.db().lastError();
        return report;
    }
    sqlite3 *db = worker.db().handle();

    auto failed = [&](const char *what, int rc) {
        report.outcome = sqliteDamage(rc) != SqliteDamage::None ? Outcome::Damaged : Outcome::Unchecked;
        report.detail = QString::fromUtf8(what) + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(db));
    };
    sqlite3_stmt *stmt = nullptr;
    if (shared->cancelled()) {
        report.detail = QStringLiteral("called off");
    } else if (const int prepared = sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &stmt, nullptr);
               prepared != SQLITE_OK) {
        failed("prepare", prepared);
    } else {
        QStringList lines;
        int total = 0;
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            if (++total <= kDetailLines)
                lines << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
        }
        if (rc != SQLITE_DONE) {
            failed("quick_check", rc);
        } else if (total == 1 && lines.constFirst() == QLatin1String("ok")) {
            report.outcome = Outcome::Sound;
        } else {
            report.outcome = Outcome::Damaged;
            if (total > kDetailLines)
                lines << QStringLiteral("(%1 faults in all)").arg(total);
            report.detail = QStringLiteral("quick_check: ") + lines.join(QLatin1Char('\n'));
        }
    }
    sqlite3_finalize(stmt);
    return report;
}
