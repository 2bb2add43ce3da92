// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/resultlist.h"

#include <QLabel>

namespace {

constexpr int kBatchDivisor = 16;
constexpr int kBatchMaxWaitMs = 100;
// Once a screenful is listed, lines are added (and the list repainted) at most this often:
// a repaint costs more than finding a hit through the search index.
constexpr int kScreenful = 16;
constexpr int kBatchMinWaitMs = 20;
constexpr int kProgressEveryMs = 50;

}

namespace ResultList {

void setForeColor(QLabel *label, const QColor &color)
{
    QPalette palette = label->palette();
    if (palette.color(QPalette::WindowText) == color)
        return;
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

Batch::Batch(ResultModel *list)
    : m_list(list)
{
    m_sinceAdded.start();
}

void Batch::add(const ResultModel::Hit &hit)
{
    m_waiting.push_back(hit);
    const bool grown = int(m_waiting.size()) > m_list->count() / kBatchDivisor
                       && (m_list->count() < kScreenful || m_sinceAdded.elapsed() >= kBatchMinWaitMs);
    if (grown || m_sinceAdded.elapsed() >= kBatchMaxWaitMs)
        flush();
}

void Batch::flush()
{
    m_list->append(m_waiting);
    m_waiting.clear();
    m_sinceAdded.restart();
}

int Batch::count() const
{
    return int(m_list->count() + m_waiting.size());
}

Progress::Progress(QLabel *label)
    : m_label(label)
{
}

bool Progress::due() const
{
    return !m_shown.isValid() || m_shown.elapsed() >= kProgressEveryMs;
}

void Progress::show(qint32 searched, int found)
{
    if (!due())
        return;
    m_shown.start();
    m_label->setText(QStringLiteral(" Searched ") + QString::number(searched) + QStringLiteral(" and found ")
                     + QString::number(found) + QStringLiteral(": Still searching..."));
}

}
