// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/proxydialog.h"

#include "widgets/apptitle.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// A field's label, with its access key, read out for the field by screen readers.
QLabel *labelFor(const QString &text, QLineEdit *field, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setBuddy(field);
    QString name = text;
    name.remove(QLatin1Char('&'));
    if (name.endsWith(QLatin1Char(':')))
        name.chop(1);
    field->setAccessibleName(name);
    return label;
}

}

ProxyDialog::ProxyDialog(QWidget *parent)
    : QDialog(parent)
    , m_none(new QRadioButton(tr("&No proxy: connect directly"), this))
    , m_system(new QRadioButton(tr("The proxy the &desktop uses"), this))
    , m_manual(new QRadioButton(tr("&This proxy:"), this))
    , m_modes(new QButtonGroup(this))
    , m_host(new QLineEdit(this))
    , m_port(new QLineEdit(this))
    , m_user(new QLineEdit(this))
    , m_password(new QLineEdit(this))
{
    setObjectName(QStringLiteral("ProxyDialog"));
    setWindowTitle(tr("Proxy"));
    setAccessibleName(tr("Proxy"));
    setUpChoices();
    setUpFields();

    auto *intro = new QLabel(tr("How the program reaches the update server and the web pages it shows:"), this);
    intro->setWordWrap(true);
    QGridLayout *manual = manualLayout();
    QDialogButtonBox *buttons = okCancelButtons();

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(m_none);
    layout->addWidget(m_system);
    layout->addWidget(m_manual);
    layout->addLayout(manual);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Tab goes through the choices, the fields, then the buttons.
    QWidget *previous = nullptr;
    for (QWidget *w : std::initializer_list<QWidget *>{m_none, m_system, m_manual, m_host, m_port, m_user, m_password,
                                                       buttons->button(QDialogButtonBox::Ok),
                                                       buttons->button(QDialogButtonBox::Cancel)}) {
        if (previous)
            setTabOrder(previous, w);
        previous = w;
    }
    connect(m_modes, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            updateEnabled();
    });
    // Choosing "this proxy" with the keyboard goes on to its host.
    connect(m_manual, &QRadioButton::clicked, this, [this] {
        if (m_host->text().isEmpty())
            m_host->setFocus(Qt::TabFocusReason);
    });
    updateEnabled();
}

void ProxyDialog::setUpChoices()
{
    m_none->setObjectName(QStringLiteral("OptProxyNone"));
    m_system->setObjectName(QStringLiteral("OptProxySystem"));
    m_manual->setObjectName(QStringLiteral("OptProxyManual"));
    m_host->setObjectName(QStringLiteral("TxtProxyHost"));
    m_port->setObjectName(QStringLiteral("TxtProxyPort"));
    m_user->setObjectName(QStringLiteral("TxtProxyUser"));
    m_password->setObjectName(QStringLiteral("TxtProxyPassword"));
    m_modes->addButton(m_none, int(ProxySetting::Mode::None));
    m_modes->addButton(m_system, int(ProxySetting::Mode::System));
    m_modes->addButton(m_manual, int(ProxySetting::Mode::Manual));
    m_system->setChecked(true);
    m_system->setToolTip(tr("The desktop's network settings, or http_proxy, https_proxy and no_proxy"));
}

void ProxyDialog::setUpFields()
{
    m_host->setMaxLength(255);
    m_port->setMaxLength(5);
    m_port->setInputMethodHints(Qt::ImhDigitsOnly);
    m_user->setMaxLength(255);
    m_password->setMaxLength(255);
    m_password->setEchoMode(QLineEdit::Password);
    m_host->setPlaceholderText(tr("proxy.example.org"));
    m_host->setMinimumWidth(m_host->fontMetrics().horizontalAdvance(QStringLiteral("proxy.example.org")) * 3 / 2);
    m_hostLabel = labelFor(tr("&Host:"), m_host, this);
    m_portLabel = labelFor(tr("&Port:"), m_port, this);
    m_userLabel = labelFor(tr("&User name:"), m_user, this);
    m_passwordLabel = labelFor(tr("Pass&word:"), m_password, this);
}

// The fields of "this proxy", set in under its choice, with a note on the user name.
QGridLayout *ProxyDialog::manualLayout()
{
    auto *note = new QLabel(tr("Leave the user name empty for a proxy that asks for none. The password is kept in "
                               "the desktop's keyring; where there is none, it is kept only until the program ends, "
                               "and asked for once each time the program runs."),
                            this);
    note->setWordWrap(true);
    note->setObjectName(QStringLiteral("LblProxyNote"));

    auto *manual = new QGridLayout;
    manual->setContentsMargins(24, 0, 0, 0);
    manual->addWidget(m_hostLabel, 0, 0);
    manual->addWidget(m_host, 0, 1);
    manual->addWidget(m_portLabel, 0, 2);
    manual->addWidget(m_port, 0, 3);
    manual->addWidget(m_userLabel, 1, 0);
    manual->addWidget(m_user, 1, 1, 1, 3);
    manual->addWidget(m_passwordLabel, 2, 0);
    manual->addWidget(m_password, 2, 1, 1, 3);
    manual->addWidget(note, 3, 0, 1, 4);
    manual->setColumnStretch(1, 1);
    m_port->setFixedWidth(m_port->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 12);
    return manual;
}

QDialogButtonBox *ProxyDialog::okCancelButtons()
{
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton *ok = buttons->button(QDialogButtonBox::Ok);
    // Enter anywhere in the dialog is OK; Escape is Cancel.
    ok->setDefault(true);
    ok->setAutoDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &ProxyDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    return buttons;
}

void ProxyDialog::setSetting(const ProxySetting &setting)
{
    m_modes->button(int(setting.mode))->setChecked(true);
    m_host->setText(setting.host);
    m_port->setText(setting.port == 0 ? QString() : QString::number(setting.port));
    m_user->setText(setting.user);
    m_password->setText(setting.password);
    m_password->setModified(false);
    updateEnabled();
    m_modes->checkedButton()->setFocus(Qt::OtherFocusReason);
}

ProxySetting ProxyDialog::setting() const
{
    ProxySetting setting;
    setting.mode = mode();
    setting.host = hostAddress(m_host->text());
    const QString port = m_port->text().trimmed();
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    if (digits.match(port).hasMatch() && port.toInt() <= 65535)
        setting.port = quint16(port.toInt());
    setting.user = m_user->text().trimmed();
    setting.password = setting.user.isEmpty() ? QString() : m_password->text();
    return setting;
}

bool ProxyDialog::passwordEdited() const
{
    return m_password->isModified();
}

QString ProxyDialog::hostAddress(const QString &text)
{
    QString host = text.trimmed();
    // An IPv6 address may come in the brackets of a URL.
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    if (host.isEmpty())
        return {};
    QUrl url;
    url.setHost(host, QUrl::StrictMode);
    if (!url.isValid())
        return {};
    // A name in its ASCII form, as the proxy is looked up by.
    return url.host(QUrl::EncodeUnicode);
}

ProxyDialog::Problem ProxyDialog::check(ProxySetting::Mode mode, const QString &host, const QString &port,
                                        const QString &user, const QString &password)
{
    if (mode != ProxySetting::Mode::Manual)
        return {};
    const QString typed = host.trimmed();
    if (typed.isEmpty())
        return {tr("Type the host name or address of the proxy, or choose another way to connect."), Field::Host};
    if (typed.contains(QStringLiteral("://")) || typed.contains(QLatin1Char('/')))
        return {tr("Type only the proxy's host name or address (such as proxy.example.org or 192.168.1.1), "
                   "without \"http://\" or a path."),
                Field::Host};
    static const QRegularExpression withPort(QStringLiteral("^([^:]+):([0-9]*)$"));
    if (withPort.match(typed).hasMatch() && !hostAddress(withPort.match(typed).captured(1)).isEmpty())
        return {tr("Type the port in the Port field, not after the host name."), Field::Host};
    if (hostAddress(typed).isEmpty())
        return {tr("\"%1\" is not a host name or address. Type the proxy's name (such as proxy.example.org) or "
                   "address (such as 192.168.1.1).")
                    .arg(typed),
                Field::Host};
    const QString number = port.trimmed();
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    if (number.isEmpty())
        return {tr("Type the proxy's port, a whole number from 1 to 65535 (often 3128 or 8080)."), Field::Port};
    if (!digits.match(number).hasMatch() || number.size() > 5 || number.toInt() < 1 || number.toInt() > 65535)
        return {tr("\"%1\" is not a port. The port is a whole number from 1 to 65535 (often 3128 or 8080).").arg(number),
                Field::Port};
    if (user.trimmed().isEmpty() && !password.isEmpty())
        return {tr("Type the user name the password goes with, or clear the password."), Field::User};
    return {};
}

void ProxyDialog::accept()
{
    const Problem problem = check(mode(), m_host->text(), m_port->text(), m_user->text(), m_password->text());
    if (problem.text.isEmpty()) {
        QDialog::accept();
        return;
    }
    QMessageBox::warning(this, kAppTitle, problem.text);
    QLineEdit *field = problem.field == Field::Host ? m_host : problem.field == Field::Port ? m_port : m_user;
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
}

ProxySetting::Mode ProxyDialog::mode() const
{
    return ProxySetting::Mode(m_modes->checkedId());
}

void ProxyDialog::updateEnabled()
{
    const bool manual = mode() == ProxySetting::Mode::Manual;
    for (QWidget *w : std::initializer_list<QWidget *>{m_hostLabel, m_host, m_portLabel, m_port, m_userLabel, m_user,
                                                       m_passwordLabel, m_password})
        w->setEnabled(manual);
}
