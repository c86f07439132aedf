#include "dryrun.h"

#include "engine.h"
#include "scratchstore.h"

#include <QCoreApplication>

namespace zefto::records {
namespace {

// Forwards everything to the caller's window but tells every end in the conditional.
class ConditionalPort final : public WindowPort {
public:
    explicit ConditionalPort(WindowPort &window) : m_window(window) {}

    QString text1() const override { return m_window.text1(); }
    void setCommand1Enabled(bool on) override { m_window.setCommand1Enabled(on); }
    void setCommand3Enabled(bool on) override { m_window.setCommand3Enabled(on); }
    void setProgressVisible(bool on) override { m_window.setProgressVisible(on); }
    void setProgressMin(float v) override { m_window.setProgressMin(v); }
    void setProgressMax(float v) override { m_window.setProgressMax(v); }
    void setProgressValue(float v) override { m_window.setProgressValue(v); }
    void msgBox(const QString &prompt, MessageIcon icon) override { m_window.msgBox(prompt, icon); }
    void endBox(const RunOutcome &outcome, MessageIcon icon) override
    {
        RunOutcome told = outcome;
        told.message = conditionalMessage(outcome);
        m_window.endBox(told, icon);
    }
    void showWaiting(const QString &text) override { m_window.showWaiting(text); }
    void keepAlive() override { m_window.keepAlive(); }
    bool interruptRequested() const override { return m_window.interruptRequested(); }
    // The guard is the caller's to tell (see DryRun::earlier): a dry run always goes on.
    bool askConvertAgain(const QString &) override { return true; }
    QString reportName() const override { return m_window.reportName(); }

private:
    WindowPort &m_window;
};

QString wouldStore(qint64 n)
{
    return n == 1 ? QCoreApplication::translate("zefto::records", "Converting would store 1 record")
                  : QCoreApplication::translate("zefto::records", "Converting would store %1 records").arg(n);
}

} // namespace

QString conditionalMessage(const RunOutcome &o)
{
    switch (o.end) {
    case RunOutcome::End::Incomplete:
        return wouldStore(o.recordsStored)
               + QCoreApplication::translate(
                     "zefto::records",
                     "; the run would stop at line %1 of '%2' because a required column is empty (%3)\n"
                     "%4 later data line(s) of the report would not be converted.")
                     .arg(o.stoppedAtLine)
                     .arg(o.reportPath, o.errorDescription)
                     .arg(o.unconvertedDataLines);
    case RunOutcome::End::Failed:
        return wouldStore(o.recordsStored)
               + QCoreApplication::translate("zefto::records",
                                             "; the run would stop at line %1 of '%2' because of error %3: %4")
                     .arg(o.stoppedAtLine)
                     .arg(o.reportPath)
                     .arg(o.errorNumber)
                     .arg(o.errorDescription);
    default:
        // The literals, a refusal before the run and an interruption say nothing of stored records.
        return o.message;
    }
}

DryRun dryRun(WindowPort &window, const DryTarget &target, const QString &mahalle,
              const std::optional<Record> &lastBefore)
{
    auto scratch = std::make_shared<ScratchStore>(target.name, target.columns, lastBefore);
    ConditionalPort port(window);
    DryRun result;
    {
        Engine engine(port);
        engine.mahalle = mahalle;
        engine.attachStore(scratch);
        result.outcome = engine.Command1_Click();
    }
    result.outcome.message = conditionalMessage(result.outcome);
    result.columns = target.columns;
    result.records = scratch->records();
    if (!result.outcome.sha256.isEmpty())
        result.earlier = target.earlier(result.outcome.sha256);
    return result;
}

} // namespace zefto::records
