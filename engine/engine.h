#pragma once

#include "database.h"
#include "error.h"
#include "outcome.h"
#include "recordset.h"
#include "recordwatch.h"
#include "reportreader.h"
#include "turkish.h"
#include "windowport.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace zefto {

// The conversion: the state a run shares with the page converter, the run
// itself (Ok's click) and the page converter. The window owns one.
class Engine {
public:
    explicit Engine(WindowPort &window);

    // Opens the database by a name resolved against the current directory
    // now (see location.h), and remembers it for later runs. Throws Error.
    void openDatabase(const QString &name);
    // Names the database without opening it: the first run that finds its
    // report usable opens (and if need be creates) it. Throws Error for a
    // name that cannot be used.
    void useDatabase(const QString &name);
    const QString &databasePath() const { return m_databasePath; }
    // Runs into a store opened elsewhere (a dry run's scratch store) instead of a named database.
    void attachStore(std::shared_ptr<Store> store) { db.attach(std::move(store)); }
    // Commits what is pending and closes the database; throws Error when that fails.
    void closeDatabase() { db.close(); }

    // The SHA-256 of a report's bytes (lower-case hex) and its size; throws Error 57.
    static std::pair<QString, qint64> fingerprint(const QString &path);
    // What a refused duplicate is told: the report, the earlier conversion, the database.
    static QString duplicateMessage(const QString &reportPath, const Conversion &earlier, const QString &database);

    // One conversion of the report named by the window's text box.
    RunOutcome Command1_Click();

    // Converts the data block whose first line is in satir (50 lines).
    void tabloici();

    // Follows each run's records as they are stored; what it works out goes
    // into the run's log entry and outcome.shares. Never changes the records
    // or the message. Owned by the caller; none: nothing is watched.
    RecordWatch *watch = nullptr;

    // The neighbourhood every record of a run gets (see mahalle.h).
    QString mahalle;

    // Shared state of a run.
    Database db;
    Recordset kayit;
    QString satir;                      // the current report line
    qint16 stt = 0;                     // lines read in the conversion pass
    qint16 stir = 0;                    // lines in the report
    turkish::ValidityFlag validity = 0; // set by a Ğ repaired in a father's name
    ReportReader report;                // the report being converted

private:
    void readLine();    // into satir, counting it
    void countLine();   // stt + 1, 16-bit, and the progress bar
    void watchStored(); // hands the record just stored to the watch
    void checkInterrupt();
    void ensureDatabase(Database::Missing missing = Database::Missing::Create);
    bool prepare(const QString &path, RunOutcome &outcome);
    bool mayConvert(const std::optional<Conversion> &earlier, RunOutcome &outcome);
    void logRun(RunOutcome &outcome);
    void describe(RunOutcome &outcome) const;
    std::optional<Error> convert(RunOutcome &outcome);
    void settle(RunOutcome &outcome, const std::optional<Error> &failure);
    void finish(RunOutcome &outcome);
    void restoreWindow();
    int laterDataLines();
    std::optional<Error> reportChanged(const RunOutcome &outcome);
    RunOutcome run();
    RunOutcome notStarted(RunOutcome &outcome, const std::optional<Error> &failure = std::nullopt);

    WindowPort &m_window;
    QString m_databasePath;
    bool m_databaseOpened = false;   // once opened, a vanished file is not made anew
    qint64 m_acceptedDuplicate = -1; // the earlier conversion the operator chose to convert again
    QString m_startedAt;             // of the run under way, for its log entry
    qint64 m_storedBefore = 0;
    bool m_committed = false;               // the run under way is in the table
    bool m_tableUnmade = false;             // the database was created for a run, which is to make its table
    std::optional<SharesChecked> m_watched; // what the watch made of the run logged last
    std::unique_ptr<Sha256> m_readDigest;   // of the bytes the run itself reads, to compare with the guard's
    QString m_nextLine;                     // the line before satir, whose buffer the next line is read into
};

} // namespace zefto
