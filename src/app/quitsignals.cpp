// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/quitsignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kSignals[3] = {SIGTERM, SIGHUP, SIGINT};

// [0] is read by the notifier, [1] written by the handler. Only one object owns them.
int g_pipe[2] = {-1, -1};

void onSignal(int signalNumber)
{
    // Only async-signal-safe calls here: the byte wakes the event loop, which does the rest.
    const int savedErrno = errno;
    const char byte = char(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = savedErrno;
}

}

QuitSignals::QuitSignals(QObject *parent)
    : QObject(parent)
{
    if (g_pipe[0] != -1)
        return; // another object has them
    // Close-on-exec: the companion started after a compaction must not hold them.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    // A full pipe must not block the handler; the bytes already there wake the loop.
    ::fcntl(g_pipe[1], F_SETFL, ::fcntl(g_pipe[1], F_GETFL) | O_NONBLOCK);
    ::fcntl(g_pipe[0], F_SETFL, ::fcntl(g_pipe[0], F_GETFL) | O_NONBLOCK);
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::readPipe);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) {
        struct sigaction previous = {};
        if (::sigaction(kSignals[i], nullptr, &previous) != 0)
            continue;
        // A signal ignored from the start (nohup) stays ignored.
        if (previous.sa_handler == SIG_IGN)
            continue;
        m_installed[i] = ::sigaction(kSignals[i], &action, &m_previous[i]) == 0;
    }
}

QuitSignals::~QuitSignals()
{
    if (!m_notifier)
        return;
    for (int i = 0; i < 3; ++i) {
        if (m_installed[i])
            ::sigaction(kSignals[i], &m_previous[i], nullptr);
    }
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

bool QuitSignals::isActive() const
{
    if (!m_notifier)
        return false;
    for (bool installed : m_installed) {
        if (installed)
            return true;
    }
    return false;
}

void QuitSignals::readPipe()
{
    // Several signals come together as one request to end, named by the first.
    int first = 0;
    char bytes[16];
    ssize_t count = 0;
    while ((count = ::read(g_pipe[0], bytes, sizeof bytes)) > 0) {
        if (!first)
            first = int(bytes[0]);
    }
    if (first)
        emit received(first);
}
