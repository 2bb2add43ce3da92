// SPDX-License-Identifier: GPL-3.0-or-later
// The Jet reader: reads one table of a Microsoft Jet (Access 97 to 2003) file through
// libmdb and writes its rows, in the order the file's data pages give them, as frames
// (convert/jetframe.h) to standard output. It runs as a process of its own because a
// damaged file can make libmdb loop for ever or fail hard: the converter that starts it
// watches it, and stops it, without any harm to the program.
//
//   veltra-jetreader FILE TABLE COLUMN...
//   veltra-jetreader --list FILE        (the user tables and their columns)
//
// The header is checked before libmdb trusts it: libmdb takes a page of zeros for a Jet 3
// header, and unmasks its encryption key from it into a key that is not zero. A file that
// is damaged must not be called encrypted.
// Table and column names are matched in any letter case. Every column's value comes as
// text: numbers and dates written as libmdb writes them, dates as "YYYY-MM-DD HH:MM:SS",
// Yes/No as 1/0, texts converted from the file's code page (Jet 3) or UCS-2 (Jet 4) to UTF-8.
#include "convert/jetframe.h"

// glib comes first: mdbtools.h includes it inside extern "C", where its C++ parts cannot be.
#include <glib.h>
#include <iconv.h>
#include <mdbtools.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using JetFrame::RefusalCode;

constexpr const char *kDateFormat = "%Y-%m-%d %H:%M:%S";
// Flushed at least this often, so that the converter sees a living reader.
constexpr auto kFlushInterval = std::chrono::milliseconds(200);
// A memo's text takes at most three bytes of UTF-8 for each byte stored.
constexpr std::size_t kUtf8PerStoredByte = 3;
constexpr std::size_t kMemoSlack = 64;
constexpr std::uint32_t kMemoLengthMask = 0x3fffffff;
constexpr int kMemoHeaderSize = 12;
// Where the header page keeps the database password and the creation date that masks it.
constexpr int kPasswordOffset = 0x42;
constexpr int kJet3PasswordSize = 20;
constexpr int kJet4PasswordSize = 40;
constexpr int kCreationDateOffset = 0x72;
// The header page: its type byte, the engine's name, the format version.
constexpr long kJet3PageSize = 2048;
constexpr long kJet4PageSize = 4096;
constexpr int kSignatureOffset = 4;
constexpr int kVersionOffset = 0x14;
constexpr char kJetSignature[] = "Standard Jet DB";
constexpr char kAceSignature[] = "Standard ACE DB";
// The table of tables (MSysObjects) is defined on this page in every Jet file.
constexpr unsigned long kCatalogPage = 2;
constexpr unsigned char kTableDefinitionPage = 0x02;

// The frames go to a descriptor of their own: libmdb prints some of what it finds in a
// damaged file to standard output, which would break the stream.
FILE *g_frames = nullptr;

void putLength(std::string &out, std::uint32_t n)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(char((n >> (8 * i)) & 0xff));
}

void writeFrame(JetFrame::Type type, const std::string &payload)
{
    std::string header(1, char(type));
    putLength(header, std::uint32_t(payload.size()));
    std::fwrite(header.data(), 1, header.size(), g_frames);
    std::fwrite(payload.data(), 1, payload.size(), g_frames);
}

int refuse(RefusalCode code, const std::string &detail = {})
{
    writeFrame(JetFrame::Refusal, std::string(1, char(code)) + detail);
    std::fflush(g_frames);
    return 0;
}

bool sameName(const char *a, const char *b)
{
    gchar *x = g_utf8_casefold(a, -1);
    gchar *y = g_utf8_casefold(b, -1);
    const bool same = std::strcmp(x, y) == 0;
    g_free(x);
    g_free(y);
    return same;
}

// libmdb reads the header page (its masked part unmasked) when it opens the file; the
// password lies there, masked once more for Jet 4 by the creation date's whole part.
bool hasPassword(MdbHandle *mdb)
{
    const unsigned char *page = mdb->pg_buf;
    const bool jet3 = mdb->f->jet_version == MDB_VER_JET3;
    unsigned char mask[4] = {0, 0, 0, 0};
    if (!jet3) {
        double created = 0;
        std::memcpy(&created, page + kCreationDateOffset, sizeof created);
        const std::int32_t whole = created > -2147483648.0 && created < 2147483648.0 ? std::int32_t(created) : 0;
        for (int i = 0; i < 4; ++i)
            mask[i] = (std::uint32_t(whole) >> (8 * i)) & 0xff;
    }
    const int size = jet3 ? kJet3PasswordSize : kJet4PasswordSize;
    for (int i = 0; i < size; ++i) {
        if ((page[kPasswordOffset + i] ^ mask[i % 4]) != 0)
            return true;
    }
    return false;
}

const char *typeName(int type)
{
    switch (type) {
    case MDB_OLE:
        return "OLE object";
    case MDB_BINARY:
        return "Binary";
    default:
        return "Attachment or multi-valued";
    }
}

bool isBinary(int type)
{
    return type == MDB_OLE || type == MDB_BINARY || type == MDB_COMPLEX;
}

// The column's value in the row just fetched, as text; empty for NULL.
std::string columnText(MdbHandle *mdb, MdbColumn *col, std::size_t fileSize)
{
    if (col->col_type == MDB_BOOL) // stored in the null mask: a set bit is Yes
        return col->cur_value_len ? "0" : "1";
    if (col->cur_value_len <= 0)
        return {};
    char *text = nullptr;
    if (col->col_type == MDB_NUMERIC) {
        text = mdb_numeric_to_string(mdb, col->cur_value_start, col->col_scale, col->col_prec);
    } else if (col->col_type == MDB_MEMO) {
        // libmdb writes a memo's text into a buffer of its bind size: made as large as this
        // memo can need, and no larger than the file could hold.
        std::size_t stored = std::size_t(col->cur_value_len);
        if (col->cur_value_len >= kMemoHeaderSize) {
            std::uint32_t header = 0;
            std::memcpy(&header, mdb->pg_buf + col->cur_value_start, sizeof header);
            stored = std::max<std::size_t>(stored, std::min<std::size_t>(header & kMemoLengthMask, fileSize));
        }
        mdb_set_bind_size(mdb, stored * kUtf8PerStoredByte + kMemoSlack);
        text = mdb_col_to_string(mdb, mdb->pg_buf, col->cur_value_start, col->col_type, col->cur_value_len);
        mdb_set_bind_size(mdb, MDB_BIND_SIZE);
    } else {
        text = mdb_col_to_string(mdb, mdb->pg_buf, col->cur_value_start, col->col_type, col->cur_value_len);
    }
    std::string value = text ? text : "";
    g_free(text);
    return value;
}

std::string plural(long n, const char *unit)
{
    return std::to_string(n) + ' ' + unit + (n == 1 ? "" : "s");
}

std::uint32_t littleEndian32(const unsigned char *at)
{
    return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16 | std::uint32_t(at[3]) << 24;
}

struct Layout
{
    long pages = 0;
    std::optional<std::uint32_t> laterVersion; // Access 2007 or later
};

// What makes the file's header unsound, as a clause; empty when it is sound. Only the
// bytes libmdb would trust unchecked are looked at: the header page's type, signature and
// format version, and whether the file is a whole number of pages.
std::string headerDamage(FILE *file, long size, Layout *layout)
{
    if (size == 0)
        return "it is an empty file";
    if (size < kJet3PageSize)
        return "it is " + plural(size, "byte") + " long, too short to hold a database header";
    std::array<unsigned char, kJet3PageSize> page{};
    if (std::fread(page.data(), 1, page.size(), file) != page.size())
        return "its header page cannot be read";
    if (std::all_of(page.begin(), page.end(), [](unsigned char c) { return c == 0; }))
        return "its header page is all zeros";
    if (page[0] != MDB_PAGE_DB
        || (std::memcmp(page.data() + kSignatureOffset, kJetSignature, sizeof kJetSignature) != 0
            && std::memcmp(page.data() + kSignatureOffset, kAceSignature, sizeof kAceSignature) != 0))
        return "its header page does not carry an Access database's signature";
    long pageSize = 0;
    switch (const std::uint32_t version = littleEndian32(page.data() + kVersionOffset)) {
    case MDB_VER_JET3:
        pageSize = kJet3PageSize;
        break;
    case MDB_VER_JET4:
        pageSize = kJet4PageSize;
        break;
    case MDB_VER_ACCDB_2007:
    case MDB_VER_ACCDB_2010:
    case MDB_VER_ACCDB_2013:
    case MDB_VER_ACCDB_2016:
    case MDB_VER_ACCDB_2019:
        layout->laterVersion = version;
        return {};
    default:
        return "its header gives the unknown format version " + std::to_string(version);
    }
    if (size % pageSize != 0)
        return "it is " + plural(size, "byte") + " long, not a whole number of its " + std::to_string(pageSize)
               + "-byte pages: it has been cut short";
    layout->pages = size / pageSize;
    if (layout->pages <= long(kCatalogPage))
        return "it ends after " + plural(layout->pages, "page") + ", before its list of tables on page "
               + std::to_string(kCatalogPage);
    return {};
}

// Reads the table's definition and columns into *table, checking that every page it
// names lies in the file; otherwise what is wrong, as a clause. libmdb would read a page
// past the end as an empty one, and so lose the rows of a file cut short without a word.
std::string readDefinition(MdbHandle *mdb, MdbCatalogEntry *entry, long pages, MdbTableDef **table)
{
    const std::string name = std::string("table \"") + entry->object_name + '"';
    const std::string where = "page " + std::to_string(entry->table_pg) + ", the definition of " + name + ", ";
    if (entry->table_pg >= static_cast<unsigned long>(pages))
        return where + "lies past the end of the file: it has been cut short";
    *table = mdb_read_table(entry);
    if (!*table)
        return where + "is not a table definition page";
    if (!mdb_read_columns(*table)) {
        mdb_free_tabledef(*table);
        *table = nullptr;
        return "the columns of " + name + " cannot be read";
    }
    if ((*table)->usage_map) {
        guint32 last = 0;
        for (gint32 pg = mdb_map_find_next(mdb, (*table)->usage_map, (*table)->map_sz, 0); pg > 0 && guint32(pg) > last;
             pg = mdb_map_find_next(mdb, (*table)->usage_map, (*table)->map_sz, last)) {
            if (pg >= pages) {
                mdb_free_tabledef(*table);
                *table = nullptr;
                return "page " + std::to_string(pg) + ", which holds rows of " + name
                       + ", lies past the end of the file: it has been cut short";
            }
            last = guint32(pg);
        }
    }
    return {};
}

// Read only once the file is known not to be encrypted: an encrypted file's pages other
// than the header are scrambled. A file cut short loses the rows of its list of tables
// first, which would make its tables seem missing.
std::string catalogDamage(MdbHandle *mdb, long pages)
{
    if (!mdb_read_pg(mdb, kCatalogPage) || mdb->pg_buf[0] != kTableDefinitionPage)
        return "page " + std::to_string(kCatalogPage) + ", which should define its list of tables, is not a table "
               "definition page";
    MdbCatalogEntry catalog{};
    catalog.mdb = mdb;
    std::snprintf(catalog.object_name, sizeof catalog.object_name, "MSysObjects");
    catalog.object_type = MDB_TABLE;
    catalog.table_pg = kCatalogPage;
    MdbTableDef *table = nullptr;
    std::string damage = readDefinition(mdb, &catalog, pages, &table);
    if (table)
        mdb_free_tabledef(table);
    return damage;
}

JetFrame::ColumnKind kindOf(int type)
{
    using Kind = JetFrame::ColumnKind;
    switch (type) {
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
        return Kind::Integer;
    case MDB_DATETIME:
        return Kind::Date;
    case MDB_TEXT:
        return Kind::Text;
    case MDB_MEMO:
        return Kind::Memo;
    default:
        return isBinary(type) ? Kind::Binary : Kind::Other;
    }
}

// Access keeps objects it is still writing under names that start with "~".
bool isUserTable(MdbCatalogEntry *entry)
{
    return mdb_is_user_table(entry) && entry->object_name[0] != '~';
}

int listTables(MdbHandle *mdb, long pages)
{
    if (!mdb_read_catalog(mdb, MDB_TABLE))
        return refuse(RefusalCode::NoCatalog);
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i));
        if (!isUserTable(entry))
            continue;
        writeFrame(JetFrame::Table, entry->object_name);
        // A table that cannot be read is listed without columns: the others can still be chosen.
        MdbTableDef *table = nullptr;
        if (!readDefinition(mdb, entry, pages, &table).empty())
            continue;
        for (unsigned j = 0; j < table->num_cols; ++j) {
            auto *col = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, j));
            writeFrame(JetFrame::Column, std::string(1, char(kindOf(col->col_type))) + col->name);
        }
        mdb_free_tabledef(table);
    }
    writeFrame(JetFrame::End, {});
    std::fflush(g_frames);
    return 0;
}

int readTable(MdbHandle *mdb, long pages, const char *tableName, const std::vector<const char *> &wanted,
              std::size_t fileSize)
{
    if (!mdb_read_catalog(mdb, MDB_TABLE))
        return refuse(RefusalCode::NoCatalog);
    MdbCatalogEntry *entry = nullptr;
    for (unsigned i = 0; i < mdb->num_catalog && !entry; ++i) {
        auto *candidate = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i));
        if (candidate->object_type == MDB_TABLE && sameName(candidate->object_name, tableName))
            entry = candidate;
    }
    if (!entry)
        return refuse(RefusalCode::NoTable, tableName);
    MdbTableDef *table = nullptr;
    if (const std::string damage = readDefinition(mdb, entry, pages, &table); !damage.empty())
        return refuse(RefusalCode::Damaged, damage);
    std::vector<MdbColumn *> columns;
    std::string missing;
    for (const char *name : wanted) {
        MdbColumn *found = nullptr;
        for (unsigned i = 0; i < table->num_cols && !found; ++i) {
            auto *col = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, i));
            if (sameName(col->name, name))
                found = col;
        }
        if (!found)
            missing += std::string(name) + '\n';
        else if (isBinary(found->col_type)) {
            mdb_free_tabledef(table);
            return refuse(RefusalCode::BinaryColumn, std::string(found->name) + '\n' + typeName(found->col_type));
        }
        columns.push_back(found);
    }
    if (!missing.empty()) {
        mdb_free_tabledef(table);
        return refuse(RefusalCode::NoColumns, missing);
    }

    writeFrame(JetFrame::Info, "version " + std::to_string(mdb->f->jet_version == MDB_VER_JET3 ? 3 : 4) + "\nrows "
                                   + std::to_string(table->num_rows) + '\n');
    std::fflush(g_frames);
    auto lastFlush = std::chrono::steady_clock::now();
    std::string row;
    mdb_rewind_table(table);
    while (mdb_fetch_row(table)) {
        row.clear();
        for (MdbColumn *col : columns) {
            const std::string value = columnText(mdb, col, fileSize);
            putLength(row, std::uint32_t(value.size()));
            row += value;
        }
        writeFrame(JetFrame::Row, row);
        const auto now = std::chrono::steady_clock::now();
        if (now - lastFlush >= kFlushInterval) {
            std::fflush(g_frames);
            lastFlush = now;
        }
    }
    writeFrame(JetFrame::End, {});
    std::fflush(g_frames);
    mdb_free_tabledef(table);
    return 0;
}

}

int main(int argc, char **argv)
{
    const bool listing = argc == 3 && std::strcmp(argv[1], "--list") == 0;
    if (argc < 4 && !listing) {
        std::fprintf(stderr, "Usage: veltra-jetreader FILE TABLE COLUMN...\n       veltra-jetreader --list FILE\n");
        return 2;
    }
    const char *path = listing ? argv[2] : argv[1];
    const int frames = dup(STDOUT_FILENO);
    g_frames = frames < 0 ? nullptr : fdopen(frames, "wb");
    if (!g_frames || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        std::fprintf(stderr, "veltra-jetreader: standard output cannot be set apart\n");
        return 2;
    }
    static char buffer[1 << 20];
    std::setvbuf(g_frames, buffer, _IOFBF, sizeof buffer);

    FILE *file = std::fopen(path, "rb");
    if (!file)
        return refuse(RefusalCode::Unreadable);
    std::fseek(file, 0, SEEK_END);
    const long size = std::max(std::ftell(file), 0L);
    std::rewind(file);
    Layout layout;
    const std::string damage = headerDamage(file, size, &layout);
    std::fclose(file);
    if (!damage.empty())
        return refuse(RefusalCode::Damaged, damage);
    if (layout.laterVersion)
        return refuse(RefusalCode::Version, std::to_string(*layout.laterVersion));

    MdbHandle *mdb = mdb_open(path, MDB_NOFLAGS);
    if (!mdb)
        return refuse(RefusalCode::Unreadable);
    int status = 0;
    if (mdb->f->db_key != 0)
        status = refuse(RefusalCode::Encrypted);
    else if (hasPassword(mdb))
        status = refuse(RefusalCode::Password);
    else if (const std::string catalog = catalogDamage(mdb, layout.pages); !catalog.empty())
        status = refuse(RefusalCode::Damaged, catalog);
    else if (listing)
        status = listTables(mdb, layout.pages);
    else {
        mdb_set_date_fmt(mdb, kDateFormat);
        mdb_set_shortdate_fmt(mdb, kDateFormat);
        mdb_set_boolean_fmt_numbers(mdb);
        status = readTable(mdb, layout.pages, argv[2], std::vector<const char *>(argv + 3, argv + argc), std::size_t(size));
    }
    mdb_close(mdb);
    return status;
}
