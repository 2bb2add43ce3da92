// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QUrl;

// Which documents are shown inert: no scripts, no windows, no navigation of their own and
// nothing fetched. Every page read from a local file is, whatever its name: the message
// page, the update's lastmessage.htm, a page the user saved, all may hold what a server
// sent. So is the message page shown from memory, the only data: document the program
// puts into a page.
namespace InertPage {
bool covers(const QUrl &url);
}
