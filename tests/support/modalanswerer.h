// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

class QDialog;

// Answers the message boxes a window opens during a test: records each box's title and
// text and presses the chosen button, so modal prompts never block a test.
class ModalAnswerer final : public QObject
{
    Q_OBJECT
public:
    explicit ModalAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok, QObject *parent = nullptr);
    void setAnswer(QMessageBox::StandardButton answer);

    QStringList texts;  // every box's text, in order
    QStringList titles; // every box's window title, in order
    QList<QMessageBox::Icon> icons;
    QList<QMessageBox::StandardButtons> buttons;
    QStringList details; // every box's detailed text
    QList<QMessageBox::StandardButton> defaults; // the button Enter presses, in every box

private:
    void poll();
    QTimer m_timer;
    QMessageBox::StandardButton m_answer;
};

// Answers every other modal dialog (file, print, page setup, preview...) by running
// `answer` on it until it returns true; that answer must close it. Message boxes are left
// alone.
class DialogAnswerer final : public QObject
{
    Q_OBJECT
public:
    explicit DialogAnswerer(std::function<bool(QDialog *)> answer, QObject *parent = nullptr);

    QStringList classes; // class name of every dialog answered, in order

private:
    void poll();
    QTimer m_timer;
    std::function<bool(QDialog *)> m_answer;
};
