#include "terminalwindow.h"

#include <QTextStream>

namespace zefto::cli {

void TerminalWindow::setProgressVisible(bool on)
{
    if (!on && m_drawn) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        m_drawn = false;
    }
    m_lastPercent = -1;
}

void TerminalWindow::setProgressValue(float v)
{
    if (!m_showProgress || m_max <= m_min)
        return;
    const int percent = int(100 * (v - m_min) / (m_max - m_min));
    if (percent != m_lastPercent)
        draw(percent);
}

void TerminalWindow::draw(int percent)
{
    m_lastPercent = percent;
    const int width = 40;
    const int filled = width * qBound(0, percent, 100) / 100;
    std::fprintf(stderr, "\r%% 0 [%s%s] %% 100  %3d%%", QByteArray(filled, '#').constData(),
                 QByteArray(width - filled, '.').constData(), percent);
    std::fflush(stderr);
    m_drawn = true;
}

void TerminalWindow::showWaiting(const QString &text)
{
    // Said once per wait; the end of the wait needs no words.
    if (text.isEmpty())
        return;
    setProgressVisible(false);
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    std::fflush(stderr);
}

void TerminalWindow::msgBox(const QString &prompt, MessageIcon icon)
{
    setProgressVisible(false);
    // Errors and warnings in full on standard error; the report's line on standard output keeps their first line.
    const bool problem = icon == MessageIcon::Warning || icon == MessageIcon::Critical;
    QTextStream out(m_toStderr ? stderr : stdout);
    if (problem && !m_toStderr) {
        out << prompt.section(u'\n', 0, 0) << '\n';
        out.flush();
        QTextStream err(stderr);
        err << reportName() << (icon == MessageIcon::Warning ? ": warning: " : ": error: ") << prompt << '\n';
        return;
    }
    switch (icon) {
    case MessageIcon::Warning: out << "warning: "; break;
    case MessageIcon::Critical: out << "error: "; break;
    default: break;
    }
    out << prompt << '\n';
}

void TerminalWindow::endBox(const RunOutcome &outcome, MessageIcon icon)
{
    msgBox(outcome.message, icon);
    // Said apart from the message: the first line beside the report stays what the run said.
    if (outcome.notAReport) {
        QTextStream err(stderr);
        err << reportName() << ": this does not look like a share table report\n";
    }
}

} // namespace zefto::cli
