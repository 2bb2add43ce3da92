// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

// Where a password is kept between runs of the program: the desktop's keyring
// (KeyringPasswordStore), or a store of the tests' own. Every request is answered later,
// from the event loop, never before it returns; a store that is not there answers
// NoKeyring, or not at all.
class PasswordStore : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PasswordStore)
public:
    enum class Answer {
        Found,    // the keyring holds a password for the key
        NotFound, // the keyring answered, and holds none
        NoKeyring // no keyring, or it refused or failed
    };
    Q_ENUM(Answer)

    using QObject::QObject;
    ~PasswordStore() override = default;

    virtual void read(const QString &key) = 0;
    virtual void write(const QString &key, const QString &password) = 0;
    virtual void remove(const QString &key) = 0;

signals:
    // `password` is empty unless `answer` is Found.
    void readAnswered(const QString &key, PasswordStore::Answer answer, const QString &password);
    void writeAnswered(const QString &key, bool stored);
};
