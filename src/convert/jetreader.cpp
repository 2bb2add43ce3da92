// SPDX-License-Identifier: GPL-3.0-or-later
// The Jet reader: reads one table of a Microsoft Jet (Access 97 to 2003) file through
// libmdb and writes its rows, in the order the file's data pages give them, as frames
// (convert/jetframe.h) to standard output. It runs as a process of its own because a
// damaged file can make libmdb loop for ever or fail hard: the converter that starts it
// watches it, and stops it, without any harm to the program.
//
//   veltra-jetreader FILE TABLE COLUMN...
//
// Table and column names are matched in any letter case. Every column's value comes as
// text: numbers and dates written as libmdb writes them, dates as "YYYY-MM-DD HH:MM:SS",
// Yes/No as 1/0, texts converted from the file's code page (Jet 3) or UCS-2 (Jet 4) to UTF-8.
#include "convert/jetframe.h"

// glib comes first: mdbtools.h includes it inside extern "C", where its C++ parts cannot be.
#include <glib.h>
#include <iconv.h>
#include <mdbtools.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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

void putLength(std::string &out, std::uint32_t n)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(char((n >> (8 * i)) & 0xff));
}

void writeFrame(JetFrame::Type type, const std::string &payload)
{
    std::string header(1, char(type));
    putLength(header, std::uint32_t(payload.size()));
    std::fwrite(header.data(), 1, header.size(), stdout);
    std::fwrite(payload.data(), 1, payload.size(), stdout);
}

int refuse(RefusalCode code, const std::string &detail = {})
{
    writeFrame(JetFrame::Refusal, std::string(1, char(code)) + detail);
    std::fflush(stdout);
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

int readTable(MdbHandle *mdb, const char *tableName, const std::vector<const char *> &wanted, std::size_t fileSize)
{
    if (!mdb_read_catalog(mdb, MDB_TABLE))
        return refuse(RefusalCode::NoCatalog);
    MdbCatalogEntry *entry = nullptr;
    for (unsigned i = 0; i < mdb->num_catalog && !entry; ++i) {
        auto *candidate = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i));
        if (candidate->object_type == MDB_TABLE && sameName(candidate->object_name, tableName))
            entry = candidate;
    }
    MdbTableDef *table = entry ? mdb_read_table(entry) : nullptr;
    if (!table)
        return refuse(RefusalCode::NoTable, tableName);
    if (!mdb_read_columns(table)) {
        mdb_free_tabledef(table);
        return refuse(RefusalCode::NoTable, tableName);
    }

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
    std::fflush(stdout);
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
            std::fflush(stdout);
            lastFlush = now;
        }
    }
    writeFrame(JetFrame::End, {});
    std::fflush(stdout);
    mdb_free_tabledef(table);
    return 0;
}

}

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "Usage: veltra-jetreader FILE TABLE COLUMN...\n");
        return 2;
    }
    static char buffer[1 << 20];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    FILE *probe = std::fopen(argv[1], "rb");
    if (!probe)
        return refuse(RefusalCode::Unreadable);
    std::fseek(probe, 0, SEEK_END);
    const long size = std::ftell(probe);
    std::fclose(probe);

    MdbHandle *mdb = mdb_open(argv[1], MDB_NOFLAGS);
    if (!mdb)
        return refuse(RefusalCode::Unreadable);
    int status = 0;
    if (mdb->f->jet_version != MDB_VER_JET3 && mdb->f->jet_version != MDB_VER_JET4)
        status = refuse(RefusalCode::Version, std::to_string(mdb->f->jet_version));
    else if (mdb->f->db_key != 0)
        status = refuse(RefusalCode::Encrypted);
    else if (hasPassword(mdb))
        status = refuse(RefusalCode::Password);
    else {
        mdb_set_date_fmt(mdb, kDateFormat);
        mdb_set_shortdate_fmt(mdb, kDateFormat);
        mdb_set_boolean_fmt_numbers(mdb);
        status = readTable(mdb, argv[2], std::vector<const char *>(argv + 3, argv + argc), std::size_t(std::max(size, 0L)));
    }
    mdb_close(mdb);
    return status;
}
