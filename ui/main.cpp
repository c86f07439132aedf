#include "frmzefto.h"
#include "location.h"
#include "recordswindow.h"
#include "translations.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLocale>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zefto"));
    QApplication::setApplicationVersion(QStringLiteral(ZEFTO_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("zefto"));
    // Before anything reads a text: the help below and every window take theirs when they are made.
    zefto::ui::installTranslators(QLocale::system());

    QCommandLineParser parser;
    parser.setApplicationDescription(QApplication::translate("main", "Converts share table reports into ovrekson."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption records(QStringLiteral("records"),
                                     QApplication::translate("main", "Shows the records window alone."));
    const QCommandLineOption database(
        QStringLiteral("database"),
        QApplication::translate("main", "The database (else ZEFTO_DATABASE, else ovrek1.mdb here)."),
        QApplication::translate("main", "FILE|ADDRESS"));
    parser.addOption(records);
    parser.addOption(database);
    parser.process(app);
    // The option outranks the variable, as location::chosen ranks them; both windows read it from there.
    if (parser.isSet(database))
        qputenv(zefto::location::environmentVariable, parser.value(database).toUtf8());

    if (parser.isSet(records)) {
        // The window's own title, so the window system shows it alone with nothing appended.
        QApplication::setApplicationDisplayName(QApplication::translate("zefto::ui::RecordsWindow", "Zefto Records"));
        zefto::ui::RecordsWindow *window =
            zefto::ui::RecordsWindow::openOn(nullptr, zefto::ui::RecordsWindow::chosenDatabase(), std::nullopt);
        (void)window;
        return app.exec();
    }
    zefto::ui::frmZefto window;
    window.show();
    return app.exec();
}
