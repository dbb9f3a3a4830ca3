#include "form1.h"
#include "windowlanguage.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QIcon>
#include <QLocale>

#include <cstdio>

namespace {

// The exit status of a command line the window cannot take, as QCommandLineParser's own.
constexpr int wrongUsage = 1;

} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    // The window speaks the desktop's language where it has a translation for it.
    WindowLanguage::use(QLocale::system());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/org.quarb.FileSplitter.png")));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Cuts a file into numbered pieces and joins them back."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("path"),
                                 QStringLiteral("A file to split, or a folder of pieces or a piece to join."),
                                 QStringLiteral("[FILE | FOLDER]"));
    // What the file managers' menus ask for: the path on the side named, whatever it is.
    const QCommandLineOption split(QStringLiteral("split"), QStringLiteral("Open FILE on the split side."),
                                   QStringLiteral("FILE"));
    const QCommandLineOption join(QStringLiteral("join"),
                                  QStringLiteral("Open FOLDER, or the folder of the piece PIECE, on the join side."),
                                  QStringLiteral("FOLDER | PIECE"));
    parser.addOptions({split, join});
    parser.process(application);
    QStringList paths = parser.positionalArguments();
    paths += parser.values(split);
    paths += parser.values(join);
    // The window takes one path; more are refused rather than quietly dropped, as the parser
    // refuses an option it does not know.
    if (paths.size() > 1) {
        std::fprintf(stderr, "%s: one FILE or FOLDER at most, but %lld were given (see '%s --help')\n",
                     qUtf8Printable(QCoreApplication::applicationName()), static_cast<long long>(paths.size()),
                     qUtf8Printable(QCoreApplication::applicationName()));
        return wrongUsage;
    }
    Form1 window;
    if (!paths.isEmpty()) {
        const std::string path = QFile::encodeName(paths.front()).toStdString();
        if (parser.isSet(split))
            window.openForSplit(path);
        else if (parser.isSet(join))
            window.openForJoin(path);
        else
            window.openPath(path);
    }
    window.show();
    return QApplication::exec();
}
