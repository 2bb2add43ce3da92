// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The twelve values of KnowledgeBase.ini, in file order.
struct SettingsValues
{
    float top = 0;    // twips, normal window bounds
    float left = 0;
    float width = 0;
    float height = 0;
    QString searchField; // "Body", "Author" or "Subject"; any other text is kept as read
    QString wildcard;    // "P", "A", "B" or "N"; likewise
    float panelTop = 100; // pixels: 0 when the knowledge-base panel is hidden
    qint16 windowState = 0; // 0 normal, 1 minimised, 2 maximised
    bool startPage = false;
    bool autoUpdate = false;
    bool minTray = false;
    qint16 noWarning = 0; // check state: 0, 1, or 2 for the third state
};

namespace SettingsFile {

struct ReadResult
{
    SettingsValues values;
    // How many values, from the first on, were read; the caller applies exactly these.
    int count = 0;
};

// Reads the values in order and stops at the first that is missing or cannot be taken:
// a missing file gives 0, and so does a first line that is not a number. Positions and
// sizes must fit a 32-bit window coordinate, the window state and the "No Warning"
// value must be 0, 1 or 2, and the panel line must be a number.
ReadResult read(const QString &path);

// The exact file: twelve lines ended by CR LF, in Windows-1252.
QByteArray toBytes(const SettingsValues &values);

// Replaces the file atomically; see ListFile::writeBytes.
bool write(const QString &path, const SettingsValues &values, QString *error = nullptr);

// Lines 5 and 6 for the check marks of the search field and wildcard menus: the first
// checked entry (in the order given), or the design-time choice, "Subject" and "B", when
// none is. Only one line is ever written, so the file keeps its twelve-line layout even
// if several entries are checked.
QString searchFieldLine(bool body, bool author, bool subject);
QString wildcardLine(bool preface, bool append, bool bracket, bool none);

}
