// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/recordset.h"

class StatementCatalogue;

// Storing a record in its place by number (Recordset::addInOrder): after the highest whole
// number below its own and before the lowest above it, so that stepping through stored
// order still walks the archive by number.
namespace OrderedPlacement {

// Stores the record in its place unless its number is stored already. highestDeleted: the
// highest id deleted in this session, which a new record must stay above. Failures are
// told to the catalogue's failure handler.
Recordset::AddResult add(StatementCatalogue &statements, const MessageRecord &record, qint64 highestDeleted);

}
