#include "AppTestSupport.h"

#include "app/OrvoHomePage.h"
#include "app/OrvoPython.h"
#include "app/PythonCppBridge.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace AppTest;

namespace {

constexpr int kLoadTimeoutMs = 60000;

TEST(OrvoHomePageTest, ShowsTheApplicationPageInAFixedWindowTitledByTheApplication)
{
    startPython();
    // The window title comes from the application's text function, whatever it makes of it.
    runPython(QStringLiteral("import orvoweb.i18n\n"
                             "plain_utf8 = orvoweb.i18n.UTF8\n"
                             "orvoweb.i18n.UTF8 = lambda text: '[' + plain_utf8(text) + ']'\n"));
    PythonCppBridge *bridge = pythonBridge();
    bridge->showHomePage();
    runPython(QStringLiteral("orvoweb.i18n.UTF8 = plain_utf8"));
    OrvoHomePage *page = bridge->homePage();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->windowTitle(), QStringLiteral("[Tarvex Orvo 2-My Device Manager]"));
    EXPECT_EQ(page->minimumSize(), QSize(360, 525));
    EXPECT_EQ(page->maximumSize(), QSize(360, 525));
    EXPECT_TRUE(page->isVisible());

    QSignalSpy loaded(page, &QWebEngineView::loadFinished);
    ASSERT_TRUE(loaded.wait(kLoadTimeoutMs));
    EXPECT_TRUE(loaded.first().first().toBool());
    EXPECT_EQ(page->url().toString(), QStringLiteral("http://127.0.0.1:%1/").arg(listenPort()));
    EXPECT_EQ(page->title(), QStringLiteral("Tarvex Orvo 2-My Device Manager"));

    // A second call reuses the window and loads the page again.
    page->hide();
    bridge->showHomePage();
    EXPECT_EQ(bridge->homePage(), page);
    EXPECT_TRUE(page->isVisible());
    EXPECT_EQ(page->windowTitle(), QStringLiteral("[Tarvex Orvo 2-My Device Manager]"));
    ASSERT_TRUE(loaded.wait(kLoadTimeoutMs));
    EXPECT_TRUE(loaded.last().first().toBool());
}

} // namespace
