#include "app/OrvoCommandLine.h"

#include "env/OrvoEnv.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace {

const QCommandLineOption kHelpOption({QStringLiteral("h"), QStringLiteral("help")},
                                     QStringLiteral("Shows this help and exits."));
const QCommandLineOption kVersionOption({QStringLiteral("v"), QStringLiteral("version")},
                                        QStringLiteral("Shows the version and exits."));

// The options Qt's application objects take from the command line, with a value or without.
const char *const kQtValueOptions[] = {
    "platform",    "platformpluginpath", "platformtheme", "plugin",  "qmljsdebugger", "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",       "display", "geometry",      "style",
    "stylesheet"};
const char *const kQtFlagOptions[] = {"reverse", "widgetcount"};

} // namespace

OrvoCommandLine::OrvoCommandLine(const QString &programName, const QString &description)
    : m_programName(programName)
    , m_description(description)
{}

QStringList OrvoCommandLine::arguments(int argc, char **argv)
{
    QStringList list;
    list.reserve(argc);
    for (int i = 0; i < argc; ++i)
        list << QString::fromLocal8Bit(argv[i]);
    return list;
}

bool OrvoCommandLine::asksForAnswer(const QStringList &arguments)
{
    QCommandLineParser parser;
    // Qt's own single-dash options ("-reverse", "-platform") must not read as bundles of
    // one-letter options such as -v.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(kHelpOption);
    parser.addOption(kVersionOption);
    // Unknown options are Qt's (the application object takes them later), so a failed parse
    // still answers for the options it knows.
    parser.parse(arguments);
    if (parser.isSet(kHelpOption))
        m_answer = helpText();
    else if (parser.isSet(kVersionOption))
        m_answer = versionText();
    else
        m_answer.clear();
    return !m_answer.isEmpty();
}

QString OrvoCommandLine::answer() const
{
    return m_answer;
}

QString OrvoCommandLine::refusal(const QStringList &arguments) const
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(kHelpOption);
    parser.addOption(kVersionOption);
    for (const char *name : kQtValueOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value")));
    for (const char *name : kQtFlagOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(name)));
    QString problem;
    if (!parser.parse(arguments))
        problem = parser.errorText();
    else if (!parser.positionalArguments().isEmpty())
        problem = QStringLiteral("Unknown argument '%1'.").arg(parser.positionalArguments().constFirst());
    if (problem.isEmpty())
        return QString();
    return problem + QLatin1Char('\n') + helpText().trimmed();
}

QString OrvoCommandLine::helpText() const
{
    QCommandLineParser parser;
    parser.setApplicationDescription(m_description);
    parser.addOption(kHelpOption);
    parser.addOption(kVersionOption);
    // The parser's usage line names whatever it finds (the application's first argument, or a
    // placeholder before the application exists); the program says its own name.
    const QString text = parser.helpText();
    return QStringLiteral("Usage: %1 [options]").arg(m_programName) + text.mid(text.indexOf(QLatin1Char('\n')));
}

QString OrvoCommandLine::versionText() const
{
    return QStringLiteral("%1 %2 (build %3)\n").arg(m_programName, OrvoEnv::version(), OrvoEnv::build());
}
