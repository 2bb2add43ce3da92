// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/indexvocabulary.h"
#include "store/readtransaction.h"
#include "store/recordset.h"
#include "store/sqlitestatement.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class SqliteDb;

// The recordset's finds by criteria, in stored (rowid) order. Among the records the
// substring index covers they jump through its candidates (see searchindex.h), each
// confirmed by the criteria; the records after those are read in turn. What they find is
// the same as reading every record. Compiled criteria and their statements are kept for
// the next find with the same criteria.
//
// A find reads a run of the next hits in one read transaction and keeps it: the finds
// that follow are answered from it for as long as the database is as it was then (no
// commit of another connection's, no change through this one), so a search pays for a
// transaction and its statements once a run rather than once a hit. Telling that costs
// each find one look at the file's data version, the only sign of another connection's
// commit. Runs start at one hit and grow while a search goes on from the end of the last.
class IndexedFind final
{
public:
    using FailureHandler = std::function<void()>;

    explicit IndexedFind(SqliteDb &db);
    ~IndexedFind();

    // Told of every failure of SQLite's, the reason left in the connection.
    void setFailureHandler(FailureHandler handler);
    // The table, as the file spells it and quoted; only table veltra has an index.
    void setTable(const QString &name, const QByteArray &quoted);
    // Finalizes every statement, before the connection closes.
    void clear();

    struct Result
    {
        Recordset::FindResult outcome = Recordset::FindResult::NoMatch;
        qint64 id = 0;                    // the record found
        std::optional<QString> malformed; // why the criteria cannot be used (an Error)
    };
    // The first record after rowid `after` the criteria match.
    Result next(const QString &criteria, qint64 after);

    // The index's use, as Recordset::setSearchIndexUse and the like describe it.
    void setIndexUse(bool use);
    bool indexUsable();
    bool indexComplete();
    void setChunk(int candidates);
    // The FTS5 table and query a find with these criteria asks now (an empty query: no
    // covered record can match); nullopt when it reads every record instead.
    struct IndexQuery
    {
        QByteArray table;
        QByteArray match;
    };
    std::optional<IndexQuery> indexQuery(const QString &criteria);
    bool indexFailed() const;
    // Damage met in the index: finds read every record from then on.
    void markIndexFailed();

private:
    struct Find;
    struct Run;
    // What the database looked like at the last look: this connection's changes and other
    // connections' commits.
    struct Version
    {
        qint64 changes = -1;
        qint64 data = -1;
        bool operator==(const Version &) const = default;
    };

    // How a lot of hits ended: enough, none left, or a failure (reported when the lot was
    // empty; after a hit it is left for the find that meets it again, as finds one by one did).
    enum class Collected { Enough, End, Stopped, Failed };

    Find *findFor(const QString &criteria, std::optional<QString> *malformed);
    qint64 pragmaValue(SqliteStatement &s, const char *sql);
    // Reads this connection's change count and the file's data version: true when either
    // moved since the last look, which outdates the runs and the decision on the index.
    bool versionChanged();
    bool decideIndex();
    bool lookUp(Find &f);
    bool readCandidates(Find &f, qint64 after);
    Collected collectThroughIndex(Find &f, qint64 after, std::size_t want, std::vector<qint64> *hits, qint64 *scanFrom);
    Collected collectByScan(Find &f, qint64 after, std::size_t want, std::vector<qint64> *hits);
    Collected readRun(Find &f, qint64 after, std::size_t want, std::vector<qint64> *hits);
    bool firstRow(Find &f, SqliteStatement &s, qint64 rowid, std::optional<qint64> *row);
    void failed();

    SqliteDb &m_db;
    QString m_tableName;
    QByteArray m_table; // quoted
    FailureHandler m_onFailure;
    std::map<QString, std::unique_ptr<Find>> m_finds;
    bool m_useIndex = true;
    bool m_indexFailed = false;
    Version m_version;
    std::optional<quint64> m_indexDecided; // the version counter the index's use was decided at
    qint64 m_indexCovers = 0; // the records up to this rowid are in the index
    qint64 m_indexBorn = 0;
    IndexVocabulary m_vocabulary;
    std::optional<quint64> m_vocabularyAt; // the version counter the words were read at
    bool m_ownRun = false; // the run reads in a transaction of its own, not a caller's
    int m_candidateChunk;
    bool m_indexComplete = false;
    quint64 m_versionCounter = 0; // bumped whenever the version changes, for the candidates
    bool m_quiet = false; // failures are not reported while a run holds hits
    SqliteStatement m_dataVersion;
    ReadTransaction::Statements m_readStatements;
};
