#pragma once

#include <QString>
#include <QUrl>

namespace BrowserAddress {
// The URL the browser loads for an address handed to navigate: a local absolute path
// becomes a file URL, an address with a scheme is taken as it is, anything else
// ("www.host", "host/path") is taken to be an http address. Empty for a blank address.
QUrl toUrl(const QString &address);
}
