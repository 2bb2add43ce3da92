// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/passwordstore.h"

#include <QThread>

// The desktop's keyring (the Secret Service, or KWallet) through QtKeychain, never with
// its insecure fallback to a file. Its D-Bus calls run on a thread of the store's own,
// so the window's thread never waits on them, even where finding out that there is no
// keyring takes a blocking call.
class KeyringPasswordStore final : public PasswordStore
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(KeyringPasswordStore)
public:
    // `service`: the name the keyring files the passwords under.
    explicit KeyringPasswordStore(const QString &service, QObject *parent = nullptr);
    // Ends the thread; requests still unanswered are dropped.
    ~KeyringPasswordStore() override;

    void read(const QString &key) override;
    void write(const QString &key, const QString &password) override;
    void remove(const QString &key) override;

private:
    // Runs `request` on the store's thread, started with the first request.
    void onThread(std::function<void(QObject *worker)> request);

    QString m_service;
    QThread m_thread;
    QObject *m_worker = nullptr; // lives on m_thread
};
