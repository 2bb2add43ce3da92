// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QListWidget>

#include <functional>
#include <optional>

class QHeaderView;
class QStandardItemModel;

// The result list: its entries stay the lines "n : subject" every part reads and writes,
// and are shown in columns (number, subject, author, date) under a header whose clicks
// sort them. Author and date are read by message number when an entry is first drawn or
// sorted, so the runs that fill the list need not carry them.
class ResultListWidget : public QListWidget
{
    Q_OBJECT

public:
    enum Column { NumberColumn, SubjectColumn, AuthorColumn, DateColumn, ColumnCount };
    struct Details
    {
        QString author;
        QString date; // as stored, the deletion flag included
    };
    using DetailsSource = std::function<std::optional<Details>(qint32 messnum)>;

    explicit ResultListWidget(QWidget *parent = nullptr);
    ~ResultListWidget() override;

    void setDetailsSource(DetailsSource source);
    // Author and date are read again from now on (another database, or records edited).
    void forgetDetails();
    Details details(qint32 messnum) const;

    QHeaderView *header() const;
    int sortColumn() const;
    Qt::SortOrder sortOrder() const;
    // Puts the entries in the column's order (stable, so equal keys keep number order);
    // the selected entry stays selected without a selection change being signalled.
    void sortEntries(int column, Qt::SortOrder order);

    QList<int> columnWidths() const;
    void setColumnWidths(const QList<int> &widths);

    // The entry's parts as the columns show them.
    static QString numberText(const QString &line);
    static QString subjectText(const QString &line);

signals:
    // The entries were put in another order; `selectedRow` is where the selected one is now.
    void reordered(int selectedRow);

protected:
    void updateGeometries() override;

private:
    void listCleared();

    QHeaderView *m_header;
    QStandardItemModel *m_headerModel;
    DetailsSource m_source;
    mutable QHash<qint32, Details> m_details;
    bool m_reordering = false;
};
