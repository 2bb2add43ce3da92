// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QElapsedTimer>
#include "results/resultmodel.h"

#include <vector>

class QLabel;

// What the runs that fill the result list share: the label's colours and the list's
// batched filling.
namespace ResultList {

// The label's colour values: 255 while a run is going on, 0 at its end.
inline const QColor kRunningColor(255, 0, 0);
inline const QColor kDoneColor(0, 0, 0);

void setForeColor(QLabel *label, const QColor &color);

// Each insertion is drawn and told to a screen reader, so hits wait here in batches that
// grow with the list (up to 1/16 of its length), at least 20 ms apart once a screenful is
// listed, never above 100 ms.
class Batch final
{
public:
    explicit Batch(ResultModel *list);
    void add(const ResultModel::Hit &hit);
    void flush();
    int count() const; // lines listed and waiting

private:
    ResultModel *m_list;
    std::vector<ResultModel::Hit> m_waiting;
    QElapsedTimer m_sinceAdded;
};

// The running text of a walk, " Searched n and found m: Still searching...", changed at
// most every 50 ms: each change is announced to a screen reader and repainted, and doing
// that for every record made a search of thousands of hits wait on the listener.
class Progress final
{
public:
    explicit Progress(QLabel *label);
    // True when the next show() changes the text: the caller may skip working out its figures.
    bool due() const;
    void show(qint32 searched, int found);

private:
    QLabel *m_label;
    QElapsedTimer m_shown;
};

}
