// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/inertpage.h"

#include <QUrl>

namespace InertPage {

bool covers(const QUrl &url)
{
    return url.isLocalFile() || url.scheme() == QLatin1String("data");
}

}
