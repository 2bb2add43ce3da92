// SPDX-License-Identifier: GPL-3.0-or-later
#include "pageconnections.h"

#include <QAbstractSocket>
#include <QUrl>

namespace {

// More than the most pages ever in flight: an idle connection beyond it is closed.
constexpr int kIdleLimit = 64;

QString serverOf(const QUrl &url)
{
    const bool secure = url.scheme() == QLatin1String("https");
    return url.scheme() + QLatin1Char(' ') + url.host().toLower() + QLatin1Char(' ')
           + QString::number(url.port(secure ? 443 : 80));
}

}

PageConnections::PageConnections(QObject *parent)
    : QObject(parent)
{
}

PageConnections::~PageConnections() = default;

int PageConnections::idleCount() const
{
    return int(m_idle.size());
}

QAbstractSocket *PageConnections::take(const QUrl &url)
{
    const QString server = serverOf(url);
    for (qsizetype i = m_idle.size() - 1; i >= 0; --i) {
        if (m_idle[i].server != server)
            continue;
        QAbstractSocket *socket = m_idle.takeAt(i).socket;
        socket->disconnect(this);
        socket->setParent(nullptr);
        if (socket->state() == QAbstractSocket::ConnectedState)
            return socket;
        socket->deleteLater();
    }
    return nullptr;
}

void PageConnections::giveBack(const QUrl &url, QAbstractSocket *socket)
{
    if (socket->state() != QAbstractSocket::ConnectedState) {
        socket->deleteLater();
        return;
    }
    socket->setParent(this);
    // An idle connection has nothing to say: anything it does ends it.
    connect(socket, &QAbstractSocket::disconnected, this, [this, socket] { drop(socket); });
    connect(socket, &QAbstractSocket::errorOccurred, this, [this, socket] { drop(socket); });
    connect(socket, &QAbstractSocket::readyRead, this, [this, socket] { drop(socket); });
    m_idle.append(Idle{serverOf(url), socket});
    if (m_idle.size() > kIdleLimit)
        drop(m_idle.constFirst().socket);
}

void PageConnections::drop(QAbstractSocket *socket)
{
    for (qsizetype i = 0; i < m_idle.size(); ++i) {
        if (m_idle[i].socket == socket) {
            m_idle.removeAt(i);
            socket->disconnect(this);
            socket->abort();
            socket->deleteLater();
            return;
        }
    }
}
