// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/sqlitestatement.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QVariant>
#include <QList>

#include <vector>

class MessageArchive;

// The hits of a listing as the result table shows them. The hits are message numbers with
// the rowids of their records, in an array; subject, author and date are read only for the
// rows drawn, sorted or read out, a page of rows at a time through one prepared statement,
// and a few pages are kept. Adding a batch of hits is one insertion, which the view and a
// screen reader hear once. Subjects and authors are shown with the references the group's
// pages wrote decoded; what is stored, and so what searches find, stays as it is.
//
// The model empties when the database closes, before its statements go.
class ResultModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ResultModel)

public:
    enum Column { NumberColumn, SubjectColumn, AuthorColumn, DateColumn, ColumnCount };
    struct Hit
    {
        qint32 messnum = 0;
        qint64 rowid = 0; // 0: the first record of the number, looked up when first read
    };

    explicit ResultModel(MessageArchive *archive, QObject *parent = nullptr);
    ~ResultModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Stable: equal keys keep number order whichever way the column is sorted. The view's
    // selection follows its row.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // A new listing: empty, or the hits given, in number order as their runs met them.
    void clear();
    void setHits(std::vector<Hit> hits);
    // Hits added at the end, in one insertion.
    void append(const std::vector<Hit> &hits);

    int count() const;
    qint32 number(int row) const;
    // The entry as the list has always read it: "n : subject".
    QString lineText(int row) const;
    QString subject(int row) const;
    QString author(int row) const;
    QString storedDate(int row) const; // as stored, the deletion flag included
    int rowOf(qint32 messnum) const;
    QList<qint32> numbers() const;
    // Subject, author and date are read again from now on (records edited, or all read).
    void forgetFields();
    // Shown in bold while unread: the rows of the number are drawn again.
    void readChanged(qint32 messnum);
    bool isUnread(int row) const;
    // The font unread rows are drawn in (the view's own, bold), given by the window.
    void setUnreadFont(const QVariant &font);

private:
    struct Fields
    {
        QString subject; // as shown
        QString author;  // as shown
        QString date;    // as stored
        bool unread = false;
    };

    const Fields &fields(int row) const;
    bool prepare() const;
    void resolveRowids(int first, int last) const;
    // Reads the fields of the hits from `first` for `count` rows, calling `take` with each
    // hit's row and fields; rows whose record is gone are passed empty fields.
    template<typename Take>
    void readRows(int first, int count, Take take) const;
    void databaseClosing();

    MessageArchive *m_archive;
    mutable std::vector<Hit> m_hits;
    mutable QHash<qint64, Fields> m_cache; // by rowid
    mutable SqliteStatement m_page;
    mutable SqliteStatement m_firstRecord;
    mutable quint64 m_generation = 0;
    QVariant m_unreadFont;
    mutable bool m_readKept = false; // the page statement reads the read state's table
};
