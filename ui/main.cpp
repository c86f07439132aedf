#include "frmzefto.h"
#include "location.h"
#include "recordswindow.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zefto"));
    QApplication::setDesktopFileName(QStringLiteral("zefto"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QApplication::translate("main", "Converts share table reports into ovrekson."));
    parser.addHelpOption();
    const QCommandLineOption records(QStringLiteral("records"),
                                     QApplication::translate("main", "Shows the records window alone."));
    const QCommandLineOption database(
        QStringLiteral("database"),
        QApplication::translate("main", "The database (else ZEFTO_DATABASE, else ovrek1.mdb here)."),
        QStringLiteral("FILE|ADDRESS"));
    parser.addOption(records);
    parser.addOption(database);
    parser.process(app);
    // The option outranks the variable, as location::chosen ranks them; both windows read it from there.
    if (parser.isSet(database))
        qputenv(zefto::location::environmentVariable, parser.value(database).toUtf8());

    if (parser.isSet(records)) {
        QApplication::setApplicationDisplayName(QStringLiteral("Zefto Records")); // the title alone, nothing appended
        zefto::ui::RecordsWindow *window = zefto::ui::RecordsWindow::openOn(nullptr, zefto::ui::RecordsWindow::chosenDatabase(), std::nullopt);
        (void)window;
        return app.exec();
    }
    zefto::ui::frmZefto window;
    window.show();
    return app.exec();
}
