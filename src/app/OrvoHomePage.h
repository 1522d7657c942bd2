#pragma once

#include <QWebEngineView>

// The web window that shows the web application's pages. The host object configures and owns it.
class OrvoHomePage : public QWebEngineView
{
    Q_OBJECT

public:
    OrvoHomePage();
    ~OrvoHomePage() override;

private:
    void onLoadFinished(bool ok);
};
