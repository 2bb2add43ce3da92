#include "inertpage.h"

#include <QUrl>

namespace InertPage {

bool covers(const QUrl &url)
{
    return url.isLocalFile() || url.scheme() == QLatin1String("data");
}

}
