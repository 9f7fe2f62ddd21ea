#include "app/command_line.h"

#include "build_info.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

void describe(QCommandLineParser& parser)
{
    parser.setApplicationDescription(
        u"A timer for talks at academic meetings: the time since the talk started, the time left in the "
        "presentation and the discussion, and the overtime, in text that fills the window, with a bell at the "
        "warning, at the end of the presentation and at the end of the discussion."_s);
    parser.addHelpOption();
    parser.addVersionOption();
}

} // namespace

std::optional<int> answerCommandLine(int argc, char* argv[])
{
    // The usual start has no arguments and pays nothing for them.
    if (argc < 2)
        return std::nullopt;
    // A core application needs no display; the help text takes the program's name from it.
    const QCoreApplication probe(argc, argv);
    QCommandLineParser parser;
    describe(parser);
    // Unknown options may still be the window system's; they are judged once the application has taken those.
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(u"help"_s) || parser.isSet(u"help-all"_s)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(u"version"_s)) {
        std::printf("%s %s\n", qPrintable(QString::fromUtf16(programName)),
                    qPrintable(QString::fromUtf16(programVersion)));
        return 0;
    }
    return std::nullopt;
}

void checkCommandLine(const QCoreApplication& app)
{
    QCommandLineParser parser;
    describe(parser);
    parser.process(app);
}
