// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

// Turns the signals a logout or a terminal sends (SIGTERM, SIGHUP, SIGINT) into a Qt signal
// in the thread that made this object, so the program can end through its own exit path
// and save first. One at a time; the previous handlers come back when it is destroyed.
class QuitSignals final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QuitSignals)

public:
    explicit QuitSignals(QObject *parent = nullptr);
    ~QuitSignals() override;

    // False when the pipe or a handler could not be set up; the signals then do what
    // they did before.
    bool isActive() const;

signals:
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr;
    struct sigaction m_previous[3] = {};
    bool m_installed[3] = {};
};
