// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QObject>
#include <QString>

class QAbstractSocket;
class QUrl;

// Connections to update servers kept open between pages, so page after page goes over the
// same few connections instead of a new one each. A connection is lent to one fetch at a
// time; an idle one the server closes is dropped.
class PageConnections final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PageConnections)
public:
    explicit PageConnections(QObject *parent = nullptr);
    ~PageConnections() override;

    // An idle connection to the server of `url`, now the caller's; nullptr when there is none.
    QAbstractSocket *take(const QUrl &url);
    // A connection whose last answer was read whole and that the server keeps open.
    void giveBack(const QUrl &url, QAbstractSocket *socket);
    int idleCount() const;

private:
    struct Idle
    {
        QString server;
        QAbstractSocket *socket = nullptr;
    };
    void drop(QAbstractSocket *socket);

    QList<Idle> m_idle;
};
