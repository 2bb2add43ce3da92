// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/proxyoptions.h"

#include "app/proxydialog.h"

#include <QAction>
#include <QEventLoop>
#include <QInputDialog>
#include <QLineEdit>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QPointer>
#include <QWidget>

namespace {

// Long enough for a keyring that is there to answer (it usually takes milliseconds); a
// keyring that asks the user to unlock it first may answer later, and is listened to then.
constexpr int kKeyringWaitMs = 4000;

// "host:port", as the user knows the proxy.
QString proxyName(const ProxySetting &setting)
{
    return ProxyRoute{QStringLiteral("http"), setting.host, setting.port, {}, {}}.name();
}

// A host as the proxy names it: without the brackets of an IPv6 address, in any case.
QString bareHost(QString host)
{
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    return host.toLower();
}

}

ProxyOptions::ProxyOptions(QAction *menuItem, QWidget *window, std::unique_ptr<PasswordStore> store, QObject *parent)
    : QObject(parent)
    , MnuProxy(menuItem)
    , m_window(window)
    , m_store(std::move(store))
{
    m_keyringTimer.setSingleShot(true);
    m_keyringTimer.setInterval(kKeyringWaitMs);
    connect(&m_keyringTimer, &QTimer::timeout, this, &ProxyOptions::onKeyringTimeout);
    connect(MnuProxy, &QAction::triggered, this, &ProxyOptions::MnuProxy_Click);
    connectStore();
}

ProxyOptions::~ProxyOptions() = default;

void ProxyOptions::connectStore()
{
    connect(m_store.get(), &PasswordStore::readAnswered, this, &ProxyOptions::onReadAnswered);
    connect(m_store.get(), &PasswordStore::writeAnswered, this, &ProxyOptions::onWriteAnswered);
}

void ProxyOptions::setPasswordStore(std::unique_ptr<PasswordStore> store)
{
    m_store = std::move(store);
    connectStore();
    m_password.reset();
    m_keyring = Keyring::Unasked;
    askKeyring();
}

void ProxyOptions::setKeyringWait(int milliseconds)
{
    m_keyringTimer.setInterval(milliseconds);
}

bool ProxyOptions::waitingForKeyring() const
{
    return m_keyring == Keyring::Waiting;
}

void ProxyOptions::load(const ProxySetting &setting)
{
    m_setting = setting;
    m_setting.password.clear();
    m_password.reset();
    applyToApplication(m_setting);
    emit applied();
    askKeyring();
}

ProxySetting ProxyOptions::chosen() const
{
    return m_setting;
}

QString ProxyOptions::keyFor(const ProxySetting &setting)
{
    return QStringLiteral("proxy %1@%2").arg(setting.user, proxyName(setting));
}

void ProxyOptions::applyToApplication(const ProxySetting &setting)
{
    // The browser's engine reads the desktop's configuration itself when Qt is told to use
    // it; otherwise it takes the application proxy's type, host and port. Credentials are
    // not put there: the browser asks for them when the proxy does (credentialsFor).
    switch (setting.mode) {
    case ProxySetting::Mode::System:
        QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::DefaultProxy));
        QNetworkProxyFactory::setUseSystemConfiguration(true);
        return;
    case ProxySetting::Mode::None:
        QNetworkProxyFactory::setUseSystemConfiguration(false);
        QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
        return;
    case ProxySetting::Mode::Manual:
        QNetworkProxyFactory::setUseSystemConfiguration(false);
        QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, setting.host, setting.port));
        return;
    }
}

bool ProxyOptions::needsPassword() const
{
    return m_setting.mode == ProxySetting::Mode::Manual && !m_setting.user.isEmpty();
}

void ProxyOptions::askKeyring()
{
    m_keyringTimer.stop();
    m_askedKey.clear();
    if (!needsPassword() || m_password) {
        m_keyring = Keyring::Unasked;
        return;
    }
    m_keyring = Keyring::Waiting;
    m_askedKey = keyFor(m_setting);
    m_keyringTimer.start();
    m_store->read(m_askedKey);
}

void ProxyOptions::onReadAnswered(const QString &key, PasswordStore::Answer answer, const QString &password)
{
    if (sender() != m_store.get() || key != m_askedKey || key != keyFor(m_setting))
        return; // about a setting given up meanwhile
    // A late answer is taken too, unless the user has given a password meanwhile.
    if (answer == PasswordStore::Answer::Found && !m_password)
        m_password = password;
    const bool waiting = m_keyring == Keyring::Waiting;
    m_keyring = answer == PasswordStore::Answer::NoKeyring ? Keyring::Silent : Keyring::Answered;
    m_keyringTimer.stop();
    if (waiting)
        emit keyringSettled();
}

void ProxyOptions::onWriteAnswered(const QString &key, bool stored)
{
    // The password stays in memory for the run either way.
    if (sender() == m_store.get() && !stored && key == keyFor(m_setting))
        m_keyring = Keyring::Silent;
}

void ProxyOptions::onKeyringTimeout()
{
    if (m_keyring != Keyring::Waiting)
        return;
    m_keyring = Keyring::Silent;
    emit keyringSettled();
}

void ProxyOptions::keepPassword(const QString &password)
{
    m_password = password;
    // Where the keyring answered, it keeps the password for the next run.
    if (m_keyring == Keyring::Answered)
        m_store->write(keyFor(m_setting), password);
}

bool ProxyOptions::ensurePassword()
{
    if (m_password)
        return true;
    const QPointer<ProxyOptions> self(this);
    if (m_keyring == Keyring::Waiting) {
        // The keyring's answer or the end of the wait for it, with the window working on.
        QEventLoop loop;
        connect(this, &ProxyOptions::keyringSettled, &loop, &QEventLoop::quit);
        connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
        QTimer::singleShot(m_keyringTimer.remainingTime() + 100, &loop, &QEventLoop::quit);
        loop.exec();
        if (!self)
            return false;
        if (m_password)
            return true;
    }
    if (m_prompted || !needsPassword())
        return false;
    m_prompted = true;
    QInputDialog prompt(m_window);
    prompt.setObjectName(QStringLiteral("ProxyPasswordPrompt"));
    prompt.setWindowTitle(tr("Proxy password"));
    prompt.setLabelText(tr("The proxy %1 needs the password of %2.\n\n%3\n\n&Password:")
                            .arg(proxyName(m_setting), m_setting.user,
                                 m_keyring == Keyring::Answered
                                     ? tr("It will be kept in the desktop's keyring.")
                                     : tr("No keyring answered: the password is kept only until the program ends.")));
    prompt.setInputMode(QInputDialog::TextInput);
    prompt.setTextEchoMode(QLineEdit::Password);
    if (auto *field = prompt.findChild<QLineEdit *>())
        field->setAccessibleName(tr("Password for the proxy"));
    const bool given = prompt.exec() == QDialog::Accepted;
    if (!self || !given)
        return false;
    keepPassword(prompt.textValue());
    return true;
}

std::optional<ProxySetting> ProxyOptions::settingForUpdate(QString *refusal)
{
    if (!needsPassword())
        return m_setting;
    if (!ensurePassword()) {
        if (refusal)
            *refusal = tr("Update cancelled: no password was given for the proxy %1 (Options > Proxy... takes one); "
                          "nothing was fetched.")
                           .arg(proxyName(m_setting));
        return std::nullopt;
    }
    ProxySetting setting = m_setting;
    setting.password = *m_password;
    return setting;
}

bool ProxyOptions::credentialsFor(const QString &proxyHost, QString *user, QString *password)
{
    if (!needsPassword() || bareHost(proxyHost) != bareHost(m_setting.host))
        return false;
    // Asked again after the password was given: the proxy refused it. Giving it again would
    // only have the page ask on and on; the user gives another in Options > Proxy...
    if (m_password && m_givenToBrowser == m_password)
        return false;
    if (!ensurePassword())
        return false;
    m_givenToBrowser = m_password;
    *user = m_setting.user;
    *password = *m_password;
    return true;
}

void ProxyOptions::MnuProxy_Click()
{
    ProxyDialog dialog(m_window);
    ProxySetting shown = m_setting;
    shown.password = needsPassword() ? m_password.value_or(QString()) : QString();
    dialog.setSetting(shown);
    const QPointer<ProxyOptions> self(this);
    if (dialog.exec() != QDialog::Accepted || !self)
        return;
    ProxySetting chosen = dialog.setting();
    const QString oldKey = needsPassword() ? keyFor(m_setting) : QString();
    const std::optional<QString> oldPassword = m_password;
    const QString typed = chosen.password;
    chosen.password.clear();
    m_setting = chosen;
    m_givenToBrowser.reset();
    applyToApplication(m_setting);
    emit applied();
    emit changed();
    // An answer still on its way is about the setting given up.
    m_askedKey.clear();
    if (m_keyring == Keyring::Waiting)
        m_keyring = Keyring::Unasked;
    m_keyringTimer.stop();
    if (!needsPassword()) {
        // The password stays where it is kept, for "this proxy" chosen again.
        m_password.reset();
        return;
    }
    const QString newKey = keyFor(m_setting);
    if (newKey != oldKey || dialog.passwordEdited())
        m_prompted = false; // another proxy, user or password: it may be asked for again
    if (dialog.passwordEdited() && typed.isEmpty()) {
        // Cleared: forgotten, and asked for when it is needed.
        m_password.reset();
        m_store->remove(newKey);
        if (!oldKey.isEmpty() && oldKey != newKey)
            m_store->remove(oldKey);
        return;
    }
    if (dialog.passwordEdited() || (newKey != oldKey && !typed.isEmpty())) {
        // Typed, or carried over to another proxy or user: kept for the run, and in the keyring.
        m_password = typed;
        m_store->write(newKey, typed);
        if (!oldKey.isEmpty() && oldKey != newKey)
            m_store->remove(oldKey);
        if (m_keyring == Keyring::Unasked)
            m_keyring = Keyring::Answered; // told otherwise by the write's answer
        return;
    }
    if (newKey != oldKey || !oldPassword) {
        // Another proxy or user with no password typed: the keyring may know it.
        m_password.reset();
        askKeyring();
    }
}
