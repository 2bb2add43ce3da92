// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// What the Jet reader program writes to its standard output for the converter: a stream of
// frames, each a type byte, a payload length (32 bits, little-endian) and the payload.
//
//   Info     "version N\nrows N\n": the file opened, the table and every column found
//   Refusal  a RefusalCode byte, then its detail (UTF-8; names one a line)
//   Row      each column asked for, in the order asked: a length (32 bits, little-endian;
//            kNull for none) and the column's text in UTF-8
//   End      the table has been read to its end
//
// Asked for the file's tables instead (--list), the reader writes for each table a Table
// frame (its name) followed by a Column frame for each of its columns (a ColumnKind byte,
// then the name), and End after the last.
//
// Anything else, or a stream that stops without End or Refusal, means the reader failed.
namespace JetFrame {

enum Type : char { Info = 'I', Refusal = 'F', Row = 'R', End = 'E', Table = 'T', Column = 'C' };

enum class RefusalCode : std::uint8_t {
    Unreadable = 1, // not opened as a Jet file at all
    Version,        // detail: the version byte, for Access 2007 and later
    Encrypted,
    Password,
    NoCatalog,      // the list of tables cannot be read
    NoTable,        // detail: the table's name
    NoColumns,      // detail: the missing columns
    BinaryColumn,   // detail: the column, then its type
    Damaged,        // detail: what is wrong, as a clause ("its header page is all zeros")
};

// What a column holds, as far as choosing it for a message field goes.
enum class ColumnKind : char {
    Integer = 'n',
    Date = 'd',
    Text = 't',
    Memo = 'm',
    Binary = 'b', // OLE object, binary, attachment: never a message field
    Other = 'o',
};

inline constexpr std::uint32_t kNull = 0xffffffffu;
inline constexpr int kHeaderSize = 5;

}
