#include "fulldisk.h"

#include <sqlite3.h>

#include <cstring>

namespace {

sqlite3_vfs *g_system = nullptr;
sqlite3_vfs g_fullDisk;
const sqlite3_io_methods *g_systemFile = nullptr;
sqlite3_io_methods g_limitedFile;
qint64 g_bytes = 0;

int limitedWrite(sqlite3_file *file, const void *data, int amount, sqlite3_int64 offset)
{
    if (offset + amount > g_bytes)
        return SQLITE_FULL;
    return g_systemFile->xWrite(file, data, amount, offset);
}

// The system's file, with only its writes passed through the limit.
int openLimited(sqlite3_vfs *, sqlite3_filename name, sqlite3_file *file, int flags, int *outFlags)
{
    const int rc = g_system->xOpen(g_system, name, file, flags, outFlags);
    if (rc == SQLITE_OK && name && std::strstr(name, "veltranew.mdb") && file->pMethods) {
        g_systemFile = file->pMethods;
        g_limitedFile = *file->pMethods;
        g_limitedFile.xWrite = limitedWrite;
        file->pMethods = &g_limitedFile;
    }
    return rc;
}

}

namespace FullDisk {

void install(qint64 bytes)
{
    g_bytes = bytes;
    if (g_system)
        return;
    g_system = sqlite3_vfs_find(nullptr);
    g_fullDisk = *g_system;
    g_fullDisk.zName = "fulldisk";
    g_fullDisk.xOpen = openLimited;
    sqlite3_vfs_register(&g_fullDisk, 1);
}

void uninstall()
{
    if (!g_system)
        return;
    sqlite3_vfs_unregister(&g_fullDisk);
    g_system = nullptr;
}

}
