#pragma once

#include "database.h"
#include "outcome.h"
#include "recordset.h"
#include "reportreader.h"
#include "turkish.h"
#include "windowport.h"

#include <QString>

namespace zefto {

// The conversion: the state a run shares with the page converter, the run
// itself (Ok's click) and the page converter. The window owns one.
class Engine {
public:
    explicit Engine(WindowPort &window) : m_window(window) {}

    // Opens the database by a name resolved against the current directory
    // now, and remembers the full path for later runs. Throws Error.
    void openDatabase(const QString &name);
    const QString &databasePath() const { return m_databasePath; }

    // One conversion of the report named by the window's text box.
    RunOutcome Command1_Click();

    // Converts the data block whose first line is in satir (50 lines).
    void tabloici();

    // Shared state of a run.
    Database db;
    Recordset kayit;
    QString satir;                    // the current report line
    qint16 stt = 0;                   // lines read in the conversion pass
    qint16 stir = 0;                  // lines in the report
    turkish::ValidityFlag validity = 0; // set by a Ğ repaired in a father's name
    ReportReader report;              // the report being converted

private:
    void readLine();  // into satir, counting it
    void countLine(); // stt + 1, 16-bit, and the progress bar
    bool ensureDatabase(RunOutcome &outcome);
    void finish(RunOutcome &outcome);
    int laterDataLines();

    WindowPort &m_window;
    QString m_databasePath;
};

} // namespace zefto
