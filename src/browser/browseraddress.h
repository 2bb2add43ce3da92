// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QUrl>

namespace BrowserAddress {
// The URL the browser loads for an address handed to navigate: a local absolute path
// becomes a file URL, an address with a scheme is taken as it is, anything else
// ("www.host", "host/path") is taken to be an http address. Empty for a blank address.
QUrl toUrl(const QString &address);

// Whether the browser shows documents of this URL's kind: web pages, local files and
// the blank page. Script and data addresses, the engine's own pages, FTP (which the
// engine cannot show) and schemes handed to other programs are refused.
bool isShowable(const QUrl &url);

// The URL as the browser reports it: plain ASCII (letters outside it as UTF-8 escapes,
// international host names in their xn-- form), so an address written to a Windows-1252
// list file comes back exactly.
QString toText(const QUrl &url);
}
