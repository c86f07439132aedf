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

    void setReport(const QString &path) { m_report = path; }

    QString text1() const override { return m_report; }
    void setCommand1Enabled(bool) override {}
    void setCommand3Enabled(bool) override {}
    void setProgressVisible(bool on) override;
    void setProgressMin(float v) override { m_min = v; }
    void setProgressMax(float v) override { m_max = v; }
    void setProgressValue(float v) override;
    void msgBox(const QString &prompt, MessageIcon icon) override;

private:
    void draw(int percent);

    QString m_report;
    bool m_showProgress;
    bool m_drawn = false;
    float m_min = 0, m_max = 100;
    int m_lastPercent = -1;
};

} // namespace zefto::cli
