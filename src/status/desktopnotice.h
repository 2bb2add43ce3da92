// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

class QDBusPendingCallWatcher;

// A desktop notification through the freedesktop notification service on the session
// bus. Every call is asynchronous: a service that is absent or never answers shows
// nothing and holds up nothing. A notice replaces the one shown before; clicking it
// raises activated().
class DesktopNotice final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DesktopNotice)

public:
    explicit DesktopNotice(QObject *parent = nullptr);
    DesktopNotice(const QDBusConnection &bus, QObject *parent);

    void show(const QString &summary, const QString &body);

signals:
    void activated();

private Q_SLOTS:
    void actionInvoked(uint id, const QString &key);

private:
    void answered(QDBusPendingCallWatcher *watcher);

    QDBusConnection m_bus;
    uint m_id = 0; // the service's number of the notice shown last
};
