// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "update/proxysetting.h"

#include <QDialog>
#include <QString>

class QButtonGroup;
class QDialogButtonBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QRadioButton;

// Options > Proxy...: no proxy, the proxy the desktop uses, or this proxy (host and port,
// with a user name and password when it asks for them). OK takes the choice only when it
// can be used, and otherwise says what is wrong and goes to the field to correct.
class ProxyDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProxyDialog)
public:
    explicit ProxyDialog(QWidget *parent = nullptr);

    // Shows `setting`; its password (when known) stands masked in the password field.
    void setSetting(const ProxySetting &setting);
    // What is chosen: the host as the proxy's address (a name in its ASCII form, or an
    // address), the port, the user name, and the password as typed.
    ProxySetting setting() const;
    // Whether the password field was typed in since setSetting.
    bool passwordEdited() const;

    // What is wrong with a choice, for the user; empty when OK may take it.
    enum class Field { None, Host, Port, User };
    struct Problem
    {
        QString text;
        Field field = Field::None;
    };
    static Problem check(ProxySetting::Mode mode, const QString &host, const QString &port, const QString &user,
                         const QString &password);
    // The host as the proxy's address, or empty when `text` is none.
    static QString hostAddress(const QString &text);

    void accept() override;

private:
    // The steps of building the dialog.
    void setUpChoices();
    void setUpFields();
    QGridLayout *manualLayout();
    QDialogButtonBox *okCancelButtons();

    ProxySetting::Mode mode() const;
    void updateEnabled();

    QRadioButton *m_none;
    QRadioButton *m_system;
    QRadioButton *m_manual;
    QButtonGroup *m_modes;
    QLabel *m_hostLabel;
    QLineEdit *m_host;
    QLabel *m_portLabel;
    QLineEdit *m_port;
    QLabel *m_userLabel;
    QLineEdit *m_user;
    QLabel *m_passwordLabel;
    QLineEdit *m_password;
};
