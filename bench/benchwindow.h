// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the benchmarks that drive the window share.
#include "app/form1.h"
#include "results/resultmodel.h"
#include "results/resulttable.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>

namespace BenchWindow {

// The window's control of that name; the benchmark cannot go on without it.
template<typename T> T *child(QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QLatin1String(name));
    if (!c)
        qFatal("no control %s", name);
    return c;
}

// Enter in the search box with `term`, as typed; returns when the search has ended.
inline void search(Form1 &w, const QString &term)
{
    auto *box = child<QComboBox>(&w, "Combo1");
    box->setEditText(term);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QCoreApplication::sendEvent(box, &enter);
}

}
