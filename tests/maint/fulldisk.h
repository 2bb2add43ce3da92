#pragma once

#include <QtGlobal>

// A disk that fills up, as SQLite meets it: a write that would take the compacted copy
// (veltranew.mdb or a file SQLite keeps beside it) past `bytes` fails with SQLITE_FULL,
// which is what SQLite's own file layer answers when the system says there is no space
// left. Connections opened while it is installed use it; other files are left alone.
namespace FullDisk {

void install(qint64 bytes);
void uninstall();

}
