// SPDX-License-Identifier: GPL-3.0-or-later
#include "silentserver.h"

#include <QTcpSocket>

SilentServer::SilentServer()
{
    listen(QHostAddress::LocalHost, 0);
}

void SilentServer::incomingConnection(qintptr handle)
{
    auto *socket = new QTcpSocket(this);
    socket->setSocketDescriptor(handle);
}
