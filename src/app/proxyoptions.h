// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/passwordstore.h"
#include "update/proxysetting.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

class QAction;
class QWidget;

// The proxy the window uses, for the update and the browser alike: Options > Proxy...,
// the setting (kept in Preferences.ini by the window, all but the password), the
// password (in the desktop's keyring, or held in memory for the run), and the
// application proxy Qt's network and the browser's engine follow.
//
// The password of "this proxy" with a user name is looked up in the keyring when the
// setting is read and whenever it changes. Where no keyring answers (none on the bus, an
// error, or no answer within a few seconds), the first update or page that needs the
// password asks for it, once a run; a password typed in the dialog or the prompt is held
// in memory until the program ends, and put in the keyring when one answers.
class ProxyOptions final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProxyOptions)
public:
    // `menuItem`: Options > Proxy...; `window`: the parent of the dialog and the prompt.
    ProxyOptions(QAction *menuItem, QWidget *window, std::unique_ptr<PasswordStore> store, QObject *parent = nullptr);
    ~ProxyOptions() override;

    // The setting as read from Preferences.ini at start-up: takes effect at once.
    void load(const ProxySetting &setting);
    // The setting as chosen, without its password: what Preferences.ini keeps.
    ProxySetting chosen() const;
    // The setting an update runs with, its password included; asked for when it is needed
    // and not known yet. None, with `*refusal` for the status line, when the user cancels
    // the prompt or cancelled it earlier in the run.
    std::optional<ProxySetting> settingForUpdate(QString *refusal);
    // The user name and password for the browser's proxy `proxyHost` asking for them:
    // false when it is not the chosen proxy, none is known or can be asked for, or the
    // proxy has already refused them.
    bool credentialsFor(const QString &proxyHost, QString *user, QString *password);

    // Makes Qt's network and the browser's engine follow `setting`: the desktop's proxy
    // configuration for System, otherwise the application proxy (none, or the host and port).
    static void applyToApplication(const ProxySetting &setting);
    // The keyring's name for the password of `setting`'s user at its proxy.
    static QString keyFor(const ProxySetting &setting);

    // Replaces where the password is kept (tests give a store of their own), and looks the
    // password up there afresh.
    void setPasswordStore(std::unique_ptr<PasswordStore> store);
    // How long the keyring may take to answer before it is taken for none (tests).
    void setKeyringWait(int milliseconds);
    // Whether the keyring lookup for the current setting is still under way.
    bool waitingForKeyring() const;

signals:
    // The user chose anew in the dialog: the window keeps the setting.
    void changed();
    // The application proxy was set (at start-up, and after each choice): the browser
    // follows it.
    void applied();
    // The keyring answered, or the wait for it ended.
    void keyringSettled();

private:
    enum class Keyring {
        Unasked,  // nothing to look up
        Waiting,  // asked, no answer yet
        Answered, // it answered (found or not)
        Silent,   // none answered, or it failed
    };

    void MnuProxy_Click();
    bool needsPassword() const;
    void askKeyring();
    void onReadAnswered(const QString &key, PasswordStore::Answer answer, const QString &password);
    void onWriteAnswered(const QString &key, bool stored);
    void onKeyringTimeout();
    void connectStore();
    // Known, waited for, or asked of the user once a run; false when it is not to be had.
    bool ensurePassword();
    void keepPassword(const QString &password);

    QAction *MnuProxy;
    QWidget *m_window;
    std::unique_ptr<PasswordStore> m_store;
    ProxySetting m_setting;             // without the password
    std::optional<QString> m_password;  // for keyFor(m_setting), when known
    Keyring m_keyring = Keyring::Unasked;
    QString m_askedKey;                 // the key the keyring was asked for last
    QTimer m_keyringTimer;
    bool m_prompted = false;            // the user was asked this run
    std::optional<QString> m_givenToBrowser; // the password last given to the browser's proxy
};
