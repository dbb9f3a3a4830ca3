#include "form1.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/org.quarb.FileSplitter.png")));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Cuts a file into numbered pieces and joins them back."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("path"),
                                 QStringLiteral("A file to split, or a folder of pieces to join."),
                                 QStringLiteral("[FILE | FOLDER]"));
    parser.process(application);
    Form1 window;
    if (const QStringList paths = parser.positionalArguments(); !paths.isEmpty())
        window.openPath(QFile::encodeName(paths.front()).toStdString());
    window.show();
    return QApplication::exec();
}
