#include "app/OrvoCommandLine.h"

#include <gtest/gtest.h>

namespace {

TEST(OrvoCommandLine, AnswersHelpAndVersionAndLeavesEverythingElseToTheProgram)
{
    enum class Answer { Run, Help, Version };
    struct Case
    {
        const char *name;
        QStringList arguments;
        Answer answer;
    };
    const Case cases[] = {
        {"no arguments", {}, Answer::Run},
        {"long help", {QStringLiteral("--help")}, Answer::Help},
        {"short help", {QStringLiteral("-h")}, Answer::Help},
        {"long version", {QStringLiteral("--version")}, Answer::Version},
        {"short version", {QStringLiteral("-v")}, Answer::Version},
        {"help wins over version", {QStringLiteral("--version"), QStringLiteral("--help")}, Answer::Help},
        // Qt's own options are not bundles of one-letter options: "-reverse" holds a v.
        {"Qt's reverse option", {QStringLiteral("-reverse")}, Answer::Run},
        {"Qt's platform option", {QStringLiteral("-platform"), QStringLiteral("offscreen")}, Answer::Run},
        {"unknown option", {QStringLiteral("--verbose")}, Answer::Run},
        {"help among Qt's options", {QStringLiteral("-reverse"), QStringLiteral("--help")}, Answer::Help},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        OrvoCommandLine commandLine(QStringLiteral("orvo-test"), QStringLiteral("Tests the options."));
        const bool answers = commandLine.asksForAnswer(QStringList{QStringLiteral("/usr/bin/orvo-test")} + c.arguments);
        EXPECT_EQ(answers, c.answer != Answer::Run);
        const QString text = commandLine.answer();
        switch (c.answer) {
        case Answer::Run:
            EXPECT_TRUE(text.isEmpty()) << text.toStdString();
            break;
        case Answer::Help:
            EXPECT_TRUE(text.startsWith(QStringLiteral("Usage: orvo-test [options]\nTests the options.\n")))
                << text.toStdString();
            EXPECT_TRUE(text.contains(QStringLiteral("--version"))) << text.toStdString();
            break;
        case Answer::Version:
            EXPECT_EQ(text, QStringLiteral("orvo-test 2.8.0.20 (build 25)\n"));
            break;
        }
    }
}

// A program that takes no argument of its own besides --help and --version refuses any other
// one, naming it; Qt's own options, with their values, are not refused.
TEST(OrvoCommandLine, RefusesWhatNeitherItNorQtTakes)
{
    struct Case
    {
        const char *name;
        QStringList arguments;
        // The start of the refusal, empty when the arguments are taken.
        QString refusal;
    };
    const Case cases[] = {
        {"no arguments", {}, {}},
        {"help", {QStringLiteral("--help")}, {}},
        {"Qt's platform option", {QStringLiteral("-platform"), QStringLiteral("offscreen")}, {}},
        {"Qt's style option with its value joined", {QStringLiteral("-style=fusion")}, {}},
        {"Qt's flags", {QStringLiteral("-reverse"), QStringLiteral("-widgetcount")}, {}},
        {"Qt's X11 options",
         {QStringLiteral("-display"), QStringLiteral(":1"), QStringLiteral("-geometry"), QStringLiteral("640x480")},
         {}},
        {"unknown long option", {QStringLiteral("--bogus")}, QStringLiteral("Unknown option 'bogus'.\n")},
        {"unknown single-dash word", {QStringLiteral("-bogus")}, QStringLiteral("Unknown option 'bogus'.\n")},
        {"unknown among known ones",
         {QStringLiteral("-reverse"), QStringLiteral("--verbose"), QStringLiteral("-platform"), QStringLiteral("xcb")},
         QStringLiteral("Unknown option 'verbose'.\n")},
        {"a word", {QStringLiteral("start")}, QStringLiteral("Unknown argument 'start'.\n")},
        {"a value without its option",
         {QStringLiteral("-reverse"), QStringLiteral("offscreen")},
         QStringLiteral("Unknown argument 'offscreen'.\n")},
        {"Qt's option without its value", {QStringLiteral("-platform")}, QStringLiteral("Missing value after")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const OrvoCommandLine commandLine(QStringLiteral("orvo-test"), QStringLiteral("Tests the options."));
        const QString refusal = commandLine.refusal(QStringList{QStringLiteral("/usr/bin/orvo-test")} + c.arguments);
        if (c.refusal.isEmpty()) {
            EXPECT_TRUE(refusal.isEmpty()) << refusal.toStdString();
            continue;
        }
        EXPECT_TRUE(refusal.startsWith(c.refusal)) << refusal.toStdString();
        EXPECT_TRUE(refusal.contains(QStringLiteral("\nUsage: orvo-test [options]\nTests the options.\n")))
            << refusal.toStdString();
    }
}

} // namespace
