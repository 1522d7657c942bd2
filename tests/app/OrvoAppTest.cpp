#include "AppTestSupport.h"

#include "app/OrvoApp.h"
#include "env/OrvoEnv.h"

#include <gtest/gtest.h>

namespace {

// Lower-casing the folder too would miss the translations on a case-sensitive file system.
TEST(OrvoAppTest, TranslationFileLowersOnlyItsName)
{
    AppTest::initEnvironment();
    const QString resources = OrvoEnv::instance()->resourceDir();
    ASSERT_NE(resources, resources.toLower());
    EXPECT_EQ(OrvoApp::translationFile(QStringLiteral("de_DE")), resources + QStringLiteral("/orvod_de_de"));
    EXPECT_EQ(OrvoApp::translationFile(QStringLiteral("pt_BR")), resources + QStringLiteral("/orvod_pt_br"));
}

} // namespace
