// SPDX-License-Identifier: GPL-3.0-or-later
#include "convert/transfercommands.h"

#include "config/appconfig.h"
#include "convert/jetconverter.h"
#include "convert/mboxexport.h"
#include "archive/databaselock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>

namespace {

constexpr int kLineIntervalMs = 1000;
constexpr int kLockWaitMs = 30000;

void line(FILE *to, const QString &text)
{
    std::fprintf(to, "%s\n", text.toLocal8Bit().constData());
    std::fflush(to);
}

// Calls `print` once a second.
class EverySecond final
{
public:
    bool due()
    {
        if (!m_timer.isValid())
            m_timer.start();
        if (!m_timer.hasExpired(kLineIntervalMs))
            return false;
        m_timer.restart();
        return true;
    }

private:
    QElapsedTimer m_timer;
};

int convertJet(const AppConfig &config)
{
    QString error;
    const std::optional<JetColumns> columns = JetColumns::parse(config.jetTable, config.jetColumns, &error);
    if (!columns) {
        line(stderr, error);
        return 1;
    }
    EverySecond clock;
    const auto progress = [&](const JetConverter::Progress &p) {
        if (clock.due())
            line(stderr, QStringLiteral("Converting %1: %2 of %3 messages").arg(config.convertJet).arg(p.done).arg(p.expected));
        return true;
    };
    const JetConverter::Result result = JetConverter().convert(config.convertJet, QDir::currentPath(), *columns, progress);
    if (result.status != JetConverter::Status::Converted) {
        line(stderr, result.reason);
        return 1;
    }
    if (const QString warning = JetConverter::unreadableNumbersText(result.unreadableNumbers); !warning.isEmpty())
        line(stderr, warning);
    line(stdout, QStringLiteral("Converted %1 messages from %2").arg(result.messages).arg(config.convertJet));
    return 0;
}

int exportMbox(const AppConfig &config)
{
    const QString database = QDir::current().filePath(QLatin1String(JetConverter::kDatabase));
    if (!QFileInfo(database).isFile()) {
        line(stderr, QStringLiteral("There is no message database %1.").arg(QDir::toNativeSeparators(database)));
        return 1;
    }
    if (JetConverter::looksLikeAccess(database)) {
        line(stderr, QStringLiteral("%1 is an Access database; convert it first with --convert-jet %2.")
                         .arg(QDir::toNativeSeparators(database), QLatin1String(JetConverter::kDatabase)));
        return 1;
    }
    // A compaction in another copy replaces the file: it is waited for.
    DatabaseLock lock;
    QString why;
    if (!lock.lockShared(QDir::currentPath(), kLockWaitMs, &why)) {
        line(stderr, why);
        return 1;
    }
    EverySecond clock;
    const auto progress = [&](const MboxExport::Progress &p) {
        if (clock.due())
            line(stderr, QStringLiteral("Exporting to %1: %2 of %3 messages").arg(config.exportMbox).arg(p.done).arg(p.total));
        return true;
    };
    const MboxExport::Result result = MboxExport::write(database, config.exportMbox, std::nullopt, progress);
    if (result.status != MboxExport::Status::Exported) {
        line(stderr, result.reason);
        return 1;
    }
    line(stdout, MboxExport::doneText(result.messages, config.exportMbox));
    return 0;
}

}

namespace TransferCommands {

bool requested(const AppConfig &config)
{
    return !config.convertJet.isEmpty() || !config.exportMbox.isEmpty();
}

int run(const AppConfig &config)
{
    return config.convertJet.isEmpty() ? exportMbox(config) : convertJet(config);
}

}
