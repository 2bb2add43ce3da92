// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/localpageinterceptor.h"

#include "browser/inertpage.h"

void LocalPageInterceptor::interceptRequest(QWebEngineUrlRequestInfo &info)
{
    if (info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame)
        return;
    if (InertPage::covers(info.firstPartyUrl()))
        info.block(true);
}
