#include "app/OrvoHomePage.h"

#include "app/OrvoAppLogging.h"
#include "env/OrvoFunctionTrace.h"

OrvoHomePage::OrvoHomePage()
{
    connect(this, &QWebEngineView::loadFinished, this, &OrvoHomePage::onLoadFinished);
}

OrvoHomePage::~OrvoHomePage() = default;

void OrvoHomePage::onLoadFinished(bool ok)
{
    if (ok)
        ORVO_TRACE_DEBUG(lcOrvoApp, "OrvoHomePage::onLoadFinished") << "page loaded" << url().toString() << title();
    else
        ORVO_TRACE_WARNING(lcOrvoApp, "OrvoHomePage::onLoadFinished") << "page not loaded" << url().toString();
}
