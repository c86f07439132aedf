#pragma once

#include "outcome.h"

#include <QString>

namespace zefto {

enum class MessageIcon { None, Information, Warning, Critical };

// All the conversion needs of a window: the report path, the two buttons,
// the progress bar and a modal message box. The desktop window, the
// command-line converter and the tests each implement it.
class WindowPort {
public:
    virtual ~WindowPort() = default;
    virtual QString text1() const = 0;            // the report path as typed or picked
    virtual void setCommand1Enabled(bool on) = 0; // Ok
    virtual void setCommand3Enabled(bool on) = 0; // Cancel
    virtual void setProgressVisible(bool on) = 0;
    virtual void setProgressMin(float v) = 0;
    virtual void setProgressMax(float v) = 0;
    virtual void setProgressValue(float v) = 0;
    // Shows the prompt and returns once the operator has pressed OK.
    virtual void msgBox(const QString &prompt, MessageIcon icon) = 0;
    // The box that ends a run; a window may tell more of the outcome than its message.
    virtual void endBox(const RunOutcome &outcome, MessageIcon icon) { msgBox(outcome.message, icon); }

    // While another program holds the database's write lock: the text to
    // show once (empty when the wait is over), and a call every few
    // milliseconds of the wait in which a window can paint.
    virtual void showWaiting(const QString &text) { (void)text; }
    virtual void keepAlive() {}
    // Asked at every line boundary: true stops the run and takes it back.
    virtual bool interruptRequested() const { return false; }
    // The report was converted before: asks `question` with the buttons
    // "Convert again" and "Cancel" (the default, and Escape); true converts it again.
    virtual bool askConvertAgain(const QString &question)
    {
        (void)question;
        return false;
    }
    // How messages name the report; the path unless the caller knows better.
    virtual QString reportName() const { return text1(); }
};

} // namespace zefto
