#include "modalanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>

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
    QAbstractButton *button = box->button(m_answer);
    if (!button)
        button = box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok) : box->button(QMessageBox::Cancel);
    if (button)
        button->click();
    else
        box->reject();
}

DialogAnswerer::DialogAnswerer(std::function<void(QDialog *)> answer, QObject *parent)
    : QObject(parent)
    , m_answer(std::move(answer))
{
    connect(&m_timer, &QTimer::timeout, this, &DialogAnswerer::poll);
    m_timer.start(10);
}

void DialogAnswerer::poll()
{
    auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
    if (!dialog) {
        m_last = nullptr; // the next dialog may be made at the same address
        return;
    }
    if (qobject_cast<QMessageBox *>(dialog) || dialog == m_last || !dialog->isVisible())
        return;
    m_last = dialog;
    classes << QString::fromLatin1(dialog->metaObject()->className());
    m_answer(dialog);
}
