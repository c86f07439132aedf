#include "frmzefto.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zefto"));
    QApplication::setDesktopFileName(QStringLiteral("zefto"));
    zefto::ui::frmZefto window;
    window.show();
    return app.exec();
}
