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
// Anything else, or a stream that stops without End or Refusal, means the reader failed.
namespace JetFrame {

enum Type : char { Info = 'I', Refusal = 'F', Row = 'R', End = 'E' };

enum class RefusalCode : std::uint8_t {
    Unreadable = 1, // not opened as a Jet file at all
    Version,        // detail: the version byte, for Access 2007 and later
    Encrypted,
    Password,
    NoCatalog,      // the list of tables cannot be read
    NoTable,        // detail: the table's name
    NoColumns,      // detail: the missing columns
    BinaryColumn,   // detail: the column, then its type
};

inline constexpr std::uint32_t kNull = 0xffffffffu;
inline constexpr int kHeaderSize = 5;

}
