#pragma once

#include "windowport.h"

#include <QStringList>
#include <functional>
#include <vector>

// Records what the run does to the window, answers OK to every box, and
// "Convert again" to the question about a report converted before unless told otherwise.
class FakeWindow : public zefto::WindowPort {
public:
    struct Box {
        QString prompt;
        zefto::MessageIcon icon;
        bool okEnabled, cancelEnabled, progressVisible; // at the time it was shown
    };

    QString path;
    bool okEnabled = true, cancelEnabled = true, progressVisible = false;
    float min = 0, max = 100, value = 0;
    std::vector<float> values;
    std::vector<Box> boxes;
    int textReads = 0;
    QStringList waitingTexts;        // every text shown while waiting, empty ones included
    std::function<void()> onWaiting; // something that happens once a wait is shown
    int keepAlives = 0;
    int interruptAfterLines = -1;       // asks the run to stop once this many values were set
    std::function<void(float)> onValue; // something that happens to the world mid-run
    bool convertAgain = true;           // the answer to "Convert it again?"
    QStringList questions;              // every such question asked
    std::function<void()> onQuestion;   // something that happens while the operator thinks

    QString text1() const override
    {
        ++const_cast<FakeWindow *>(this)->textReads;
        return path;
    }
    void setCommand1Enabled(bool on) override { okEnabled = on; }
    void setCommand3Enabled(bool on) override { cancelEnabled = on; }
    void setProgressVisible(bool on) override { progressVisible = on; }
    void setProgressMin(float v) override { min = v; }
    void setProgressMax(float v) override { max = v; }
    void setProgressValue(float v) override
    {
        value = v;
        values.push_back(v);
        if (onValue)
            onValue(v);
    }
    void msgBox(const QString &prompt, zefto::MessageIcon icon) override
    {
        boxes.push_back({prompt, icon, okEnabled, cancelEnabled, progressVisible});
    }
    bool askConvertAgain(const QString &question) override
    {
        questions << question;
        if (onQuestion)
            onQuestion();
        return convertAgain;
    }
    void showWaiting(const QString &text) override
    {
        waitingTexts << text;
        if (onWaiting && !text.isEmpty())
            onWaiting();
    }
    void keepAlive() override { ++keepAlives; }
    bool interruptRequested() const override
    {
        return interruptAfterLines >= 0 && int(values.size()) >= interruptAfterLines;
    }
};
