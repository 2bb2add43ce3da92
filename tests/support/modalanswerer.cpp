// SPDX-License-Identifier: GPL-3.0-or-later
#include "modalanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QPushButton>

ModalAnswerer::ModalAnswerer(QMessageBox::StandardButton answer, QObject *parent)
    : QObject(parent)
    , m_answer(answer)
{
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start(10);
}

void ModalAnswerer::setAnswer(QMessageBox::StandardButton answer)
{
    m_answer = answer;
}

void ModalAnswerer::poll()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box)
        return;
    texts << box->text();
    titles << box->windowTitle();
    icons << box->icon();
    buttons << box->standardButtons();
    details << box->detailedText();
    defaults << (box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::NoButton);
    QAbstractButton *button = box->button(m_answer);
    if (!button)
        button = box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok) : box->button(QMessageBox::Cancel);
    if (button)
        button->click();
    else
        box->reject();
}

DialogAnswerer::DialogAnswerer(std::function<bool(QDialog *)> answer, QObject *parent)
    : QObject(parent)
    , m_answer(std::move(answer))
{
    connect(&m_timer, &QTimer::timeout, this, &DialogAnswerer::poll);
    m_timer.start(10);
}

void DialogAnswerer::poll()
{
    auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
    // A mark on the object itself: the next dialog may be made at the same address.
    if (!dialog || qobject_cast<QMessageBox *>(dialog) || dialog->property("answeredByTest").toBool()
        || !dialog->isVisible())
        return;
    const QString className = QString::fromLatin1(dialog->metaObject()->className());
    if (!m_answer(dialog))
        return; // not ready yet: asked again at the next poll
    dialog->setProperty("answeredByTest", true);
    classes << className;
}
