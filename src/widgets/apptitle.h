// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The title of the program's message boxes.
inline const QString kAppTitle = QStringLiteral("Veltra KnowledgeBase");
