// SPDX-License-Identifier: GPL-3.0-or-later
// The model of the result table over a real database: which record a hit reads, how a
// column sorts, and what is left once the database closes.
#include "archive/messagearchive.h"
#include "fixtures.h"
#include "results/resultmodel.h"
#include "results/resulttable.h"

#include <QHeaderView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

MessageRecord record(qint32 messnum, const QString &subject, const QString &author, const QString &date)
{
    MessageRecord r = Fixtures::message(messnum);
    r.messtitle = subject;
    r.messauthor = author;
    r.messdate = date;
    return r;
}

QList<qint32> numbersOf(const ResultModel &model)
{
    QList<qint32> out;
    for (int row = 0; row < model.rowCount(); ++row)
        out << model.number(row);
    return out;
}

}

class TestResultModel : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MessageArchive> m_archive;

    ResultModel *open(const QList<MessageRecord> &records)
    {
        m_dir = std::make_unique<QTemporaryDir>();
        if (!Fixtures::writeDatabase(m_dir->filePath(QStringLiteral("veltra.mdb")), records))
            return nullptr;
        m_archive = std::make_unique<MessageArchive>(m_dir->path());
        if (m_archive->open(true).status != MessageArchive::OpenStatus::Opened)
            return nullptr;
        return new ResultModel(m_archive.get(), m_archive.get());
    }

private slots:
    void cleanup()
    {
        m_archive.reset();
        m_dir.reset();
    }

    // Sorting by a column: equal keys keep number order in both directions, a quoted name
    // sorts by its first letter, undated entries go after the dated ones, and a held
    // index (the view's selection) moves with its hit.
    void sortByColumn_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("order");
        QTest::addColumn<QList<qint32>>("numbers");
        QTest::newRow("author up") << int(ResultModel::AuthorColumn) << int(Qt::AscendingOrder)
                                   << QList<qint32>{7, 3, 9, 5, 11};
        QTest::newRow("author down") << int(ResultModel::AuthorColumn) << int(Qt::DescendingOrder)
                                     << QList<qint32>{11, 5, 3, 9, 7};
        QTest::newRow("date up") << int(ResultModel::DateColumn) << int(Qt::AscendingOrder)
                                 << QList<qint32>{9, 7, 5, 3, 11};
        QTest::newRow("date down") << int(ResultModel::DateColumn) << int(Qt::DescendingOrder)
                                   << QList<qint32>{11, 3, 5, 7, 9};
        QTest::newRow("subject up, references decoded") << int(ResultModel::SubjectColumn) << int(Qt::AscendingOrder)
                                                        << QList<qint32>{11, 9, 3, 7, 5};
        QTest::newRow("number down") << int(ResultModel::NumberColumn) << int(Qt::DescendingOrder)
                                     << QList<qint32>{11, 9, 7, 5, 3};
    }
    void sortByColumn()
    {
        QFETCH(int, column);
        QFETCH(int, order);
        QFETCH(QList<qint32>, numbers);
        ResultModel *model = open({
            record(3, QStringLiteral("[vclub] brakes"), QStringLiteral("bob"), QStringLiteral("Tue Jan 6, 2004 9:00 am")),
            record(5, QStringLiteral("[vclub] wipers"), QStringLiteral("\"Zed\""), QStringLiteral("-1Mon Jan 5, 2004 3:12 pm")),
            record(7, QStringLiteral("[vclub] clutch : again"), QStringLiteral("Anne"), QStringLiteral("2003-12-24 10:00")),
            record(9, QStringLiteral("[vclub] Axle"), QStringLiteral("bob"), QStringLiteral("1999-01-01 00:00")),
            // "&lt;" sorts as "<", before the letters; "&amp;" stored sorts after them.
            record(11, QStringLiteral("[vclub] &lt;none&gt;"), QStringLiteral("&quot;Zoe&quot;"), QStringLiteral("soon")),
        });
        QVERIFY(model);
        model->setHits({{3, 0}, {5, 0}, {7, 0}, {9, 0}, {11, 0}});
        const QPersistentModelIndex held = model->index(2, ResultModel::SubjectColumn); // message 7

        model->sort(column, Qt::SortOrder(order));
        QCOMPARE(numbersOf(*model), numbers);
        QVERIFY(held.isValid());
        QCOMPARE(model->number(held.row()), 7);
        QCOMPARE(held.column(), int(ResultModel::SubjectColumn));
        QCOMPARE(model->lineText(held.row()), QStringLiteral("7 : [vclub] clutch : again"));
    }

    // What a hit reads: the record its rowid names, or for a number alone the first record
    // of it (the one picking the entry shows); a number with no record is shown by its
    // number, a subject too long for any cell is cut for it, and a database that closes
    // leaves an empty list, not rows of freed records.
    void hitsReadTheirRecords()
    {
        const QString endless = QStringLiteral("[vclub] ") + QString(100000, u'x');
        ResultModel *model = open({record(4, QStringLiteral("[vclub] first four"), QStringLiteral("a"), QString()),
                                   record(4, QStringLiteral("[vclub] second four"), QStringLiteral("b"), QString()),
                                   record(6, endless, QStringLiteral("c"), QString())});
        QVERIFY(model);
        // The fixture writes records in order, so the second "4" has rowid 2.
        model->setHits({{4, 0}, {4, 2}, {5, 0}, {6, 3}});
        QCOMPARE(model->lineText(0), QStringLiteral("4 : [vclub] first four"));
        QCOMPARE(model->data(model->index(1, ResultModel::SubjectColumn)).toString(), QStringLiteral("[vclub] second four"));
        QCOMPARE(model->lineText(1), QStringLiteral("4 : [vclub] second four"));
        QCOMPARE(model->lineText(2), QStringLiteral("5 : "));
        QCOMPARE(model->author(3), QStringLiteral("c"));
        // A subject of 100,000 characters: its cell gets a line's worth to elide, the entry all of it.
        QVERIFY(model->data(model->index(3, ResultModel::SubjectColumn)).toString().size() <= 1000);
        QCOMPARE(model->lineText(3), QStringLiteral("6 : ") + endless);
        QCOMPARE(model->rowOf(6), 3);
        QCOMPARE(model->rowOf(8), -1);
        QCOMPARE(model->numbers(), (QList<qint32>{4, 4, 5, 6}));

        QSignalSpy reset(model, &QAbstractItemModel::modelReset);
        QString reason;
        QVERIFY(m_archive->takeAlone(&reason));
        QCOMPARE(reset.count(), 1);
        QCOMPARE(model->rowCount(), 0);
        QVERIFY(!model->data(model->index(0, ResultModel::SubjectColumn)).isValid());
        // Hits listed again before a database is open read nothing.
        model->setHits({{4, 0}});
        QCOMPARE(model->lineText(0), QStringLiteral("4 : "));
        m_archive->backToShared();
        QCOMPARE(m_archive->open(false).status, MessageArchive::OpenStatus::Opened);
        QCOMPARE(model->lineText(0), QStringLiteral("4 : [vclub] first four"));
    }

    // 5,000 hits added in one batch reach the view as one insertion (a screen reader
    // hears one event, not 5,000), and pages are read across the whole list.
    void batchIsOneInsertion()
    {
        QList<MessageRecord> records;
        for (qint32 n = 1; n <= 5000; ++n)
            records << record(n, QStringLiteral("[vclub] s") + QString::number(n), QStringLiteral("a"), QString());
        ResultModel *model = open(records);
        QVERIFY(model);
        QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
        std::vector<ResultModel::Hit> hits;
        for (qint32 n = 1; n <= 5000; ++n)
            hits.push_back({n, n});
        model->append(hits);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(model->rowCount(), 5000);
        for (const int row : {0, 63, 64, 4095, 4096, 4999})
            QCOMPARE(model->lineText(row), QStringLiteral("%1 : [vclub] s%1").arg(row + 1));
        model->sort(ResultModel::SubjectColumn, Qt::DescendingOrder);
        QCOMPARE(model->number(0), 999); // "s999" is the last in text order
    }

    // The table: a header click sorts with the selected entry still selected and no
    // selection change told (nothing was picked); a new listing is in number order again.
    void tableSortKeepsTheSelection()
    {
        ResultModel *model = open({record(3, QStringLiteral("c"), QStringLiteral("bob"), QString()),
                                   record(5, QStringLiteral("b"), QStringLiteral("Anne"), QString()),
                                   record(7, QStringLiteral("a"), QStringLiteral("Cy"), QString())});
        QVERIFY(model);
        ResultTable table;
        table.setHitModel(model);
        table.resize(400, 200);
        table.show();
        model->setHits({{3, 0}, {5, 0}, {7, 0}});
        table.setCurrentRow(0); // message 3
        QSignalSpy picked(&table, &ResultTable::entrySelectionChanged);
        QSignalSpy reordered(&table, &ResultTable::reordered);

        QHeaderView *header = table.horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(ResultModel::SubjectColumn) + 5, header->height() / 2));
        QCOMPARE(numbersOf(*model), (QList<qint32>{7, 5, 3}));
        QCOMPARE(table.selectedRow(), 2);
        QCOMPARE(table.currentRow(), 2);
        QCOMPARE(picked.count(), 0);
        QCOMPARE(reordered.count(), 1);
        QCOMPARE(reordered.first().first().toInt(), 2);
        QCOMPARE(table.sortColumn(), int(ResultModel::SubjectColumn));

        model->setHits({{5, 0}, {3, 0}});
        QCOMPARE(table.sortColumn(), int(ResultModel::NumberColumn));
        QCOMPARE(table.sortOrder(), Qt::AscendingOrder);
        QCOMPARE(table.text(0), QStringLiteral("5 : b"));
    }
};

QTEST_MAIN(TestResultModel)
#include "tst_resultmodel.moc"
