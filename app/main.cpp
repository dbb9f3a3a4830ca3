#include "form1.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/org.quarb.FileSplitter.png")));
    Form1 window;
    window.show();
    return QApplication::exec();
}
