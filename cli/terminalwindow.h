#pragma once

#include "windowport.h"

#include <QString>
#include <cstdio>

namespace zefto::cli {

// The run's window on a terminal: messages to standard output, and a
// progress bar on standard error when that is a terminal.
class TerminalWindow : public WindowPort {
public:
    explicit TerminalWindow(bool showProgress) : m_showProgress(showProgress) {}

    // The path to convert, and how messages name it (the path when empty).
    void setReport(const QString &path, const QString &name = QString())
    {
        m_report = path;
        m_reportName = name;
    }
    // Where the run looks for a stop request at every line boundary.
    void setInterruptFlag(const volatile int *flag) { m_interrupt = flag; }
    // The answer to "Convert it again?" (--again); no by default.
    void setConvertAgain(bool on) { m_again = on; }
    // Messages go to standard error instead of standard output (a dry run's standard output is its records).
    void setMessagesToStandardError(bool on) { m_toStderr = on; }

    QString text1() const override { return m_report; }
    void setCommand1Enabled(bool) override {}
    void setCommand3Enabled(bool) override {}
    void setProgressVisible(bool on) override;
    void setProgressMin(float v) override { m_min = v; }
    void setProgressMax(float v) override { m_max = v; }
    void setProgressValue(float v) override;
    void msgBox(const QString &prompt, MessageIcon icon) override;
    void endBox(const RunOutcome &outcome, MessageIcon icon) override;
    void showWaiting(const QString &text) override;
    bool interruptRequested() const override { return m_interrupt && *m_interrupt != 0; }
    bool askConvertAgain(const QString &) override { return m_again; }
    QString reportName() const override { return m_reportName.isEmpty() ? m_report : m_reportName; }

private:
    void draw(int percent);

    QString m_report;
    QString m_reportName;
    const volatile int *m_interrupt = nullptr;
    bool m_showProgress;
    bool m_again = false;
    bool m_toStderr = false;
    bool m_drawn = false;
    float m_min = 0, m_max = 100;
    int m_lastPercent = -1;
};

} // namespace zefto::cli
