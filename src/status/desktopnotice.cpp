// SPDX-License-Identifier: GPL-3.0-or-later
#include "status/desktopnotice.h"

#include "widgets/apptitle.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
// A service that takes longer has hung; its answer is given up, nothing waited for it.
constexpr int kAnswerMs = 10000;

}

DesktopNotice::DesktopNotice(QObject *parent)
    : DesktopNotice(QDBusConnection::sessionBus(), parent)
{
}

DesktopNotice::DesktopNotice(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{
    if (m_bus.isConnected())
        m_bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                      SLOT(actionInvoked(uint, QString)));
}

void DesktopNotice::show(const QString &summary, const QString &body)
{
    if (!m_bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    // "default" is the click on the notice itself.
    call << kAppTitle << m_id << QStringLiteral("veltra-kb") << summary << body
         << QStringList{QStringLiteral("default"), QStringLiteral("Show")} << QVariantMap() << -1;
    // Without a service the bus starts none: an absent one answers with an error at once.
    call.setAutoStartService(false);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kAnswerMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &DesktopNotice::answered);
}

void DesktopNotice::answered(QDBusPendingCallWatcher *watcher)
{
    const QDBusPendingReply<uint> reply = *watcher;
    if (!reply.isError())
        m_id = reply.value();
    watcher->deleteLater();
}

void DesktopNotice::actionInvoked(uint id, const QString &key)
{
    if (id != 0 && id == m_id && (key == QLatin1String("default") || key == QLatin1String("show")))
        emit activated();
}
