// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The rules of the address bar and the address list, without widgets: what a typed text
// opens, how the list of typed addresses is rebuilt after a navigation, and the caption
// a page gives the window.
namespace AddressRules {

// What Enter in the address bar (or a pick from its list) does with the bar's text.
struct AddressCommand
{
    enum class Kind { Ignore, Navigate };
    Kind kind = Kind::Ignore;
    QString address;        // handed to the browser as it stands
    bool record = false;    // the address goes into the address list once it has loaded
    bool clearText = false; // the bar is emptied first (a search term)

    bool operator==(const AddressCommand &) const = default;
};

// Classifies the text typed into the address bar. `searchServer` is the web search
// engine's scheme and host.
AddressCommand classify(const QString &text, const QString &searchServer);

// The web search engine's address for a term: blanks become "+", everything else that
// could change the question ("&", "#", "+", "%", letters outside ASCII...) is escaped.
QString webSearchAddress(const QString &searchServer, const QString &term);

// The address list after `pendingUrl` has been recorded: it comes first, an earlier copy
// of it (compared regardless of case) is dropped, the others keep their order, empty
// entries are dropped, and the list never grows past 51 entries.
QStringList rebuildAddressList(const QStringList &entries, const QString &pendingUrl);

// The window caption for a page title: the title (at most its first 80 characters)
// and " - Veltra Knowledgebase V3.4", or that name alone for a page without a title.
QString captionFor(const QString &title);

// The address as text that fits on one line of a list file: control characters are
// written as %XX escapes of their UTF-8 bytes.
QString printable(const QString &address);

}
