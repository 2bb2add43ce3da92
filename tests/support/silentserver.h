// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTcpServer>

// Accepts connections on loopback and never answers, so a request to it stays under way.
class SilentServer final : public QTcpServer
{
public:
    SilentServer();

protected:
    void incomingConnection(qintptr handle) override;
};
