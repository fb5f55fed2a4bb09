#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>
#include <string>

#include "FakePlatform.h"
#include "TempDir.h"
#include "core/capacity/Monitor.h"

#include <QWidget>

// Runs a step as soon as a given window is the active modal one (its modal loop is running), so a test
// can act inside a dialog's exec(). A step that never gets its window closes every dialog and is reported
// by Missed(), so a test never hangs.
class ModalStep : public QObject {
    Q_OBJECT

public:
    ModalStep(QWidget* window, std::function<void()> step, int timeoutMs = 10000);

    bool Ran() const { return m_ran; }
    bool Missed() const { return m_missed; }

private:
    void Poll();

    QWidget* m_window;
    std::function<void()> m_step;
    QTimer m_timer;
    int m_remainingPolls;
    bool m_ran = false;
    bool m_missed = false;
};

// Closes every message box that comes up (as by its OK button) after a delay, and keeps its text.
class MessageBoxCloser : public QObject {
    Q_OBJECT

public:
    explicit MessageBoxCloser(int delayMs = 0);

    const QStringList& Texts() const { return m_texts; }
    // For each box closed: whether it stood over its dialog, shown, when it came up.
    const QList<bool>& OverTheirDialog() const { return m_overTheirDialog; }

private:
    void Poll();

    QTimer m_timer;
    int m_delayPolls;
    int m_seenPolls = 0;
    QStringList m_texts;
    QList<bool> m_overTheirDialog;
};

// A made-up machine with drives C (the current drive), D and E, settings in a temporary folder (Directory D,
// Auto on with Time 5) and the
// monitor that holds them; status files go into <temp>/status/.
struct DialogMachine {
    DialogMachine();

    std::string StatusFolder() const { return dir.Folder() + "status/"; }
    // Names of the files in the status folder.
    std::vector<std::string> StatusFiles() const { return dir.List("status"); }
    // Content of the saved settings file; empty when it was never saved.
    std::string SavedSettings() const { return dir.Read("tarvellin.ini"); }

    TempDir dir;
    FakePlatform platform;
    std::unique_ptr<Monitor> monitor;
};

// Closes every visible dialog and message box: the last resort of a test that went wrong.
void CloseAllDialogs();

// Outcome of a scripted modal run.
struct ModalRun {
    int result = -1;       // what run returned
    bool stepRan = false;  // the step found its window
    bool timedOut = false; // the watchdog had to close the dialogs
};

// Calls run (which runs window modally) and performs step inside window's modal loop. A run that has not
// ended after timeoutMs is ended by closing every dialog.
ModalRun RunModalWith(QWidget* window, const std::function<int()>& run, std::function<void()> step,
                      int timeoutMs = 15000);

// Value of a key in a saved settings text ("key=value" lines); nullopt when the key is missing.
std::optional<std::string> SavedValue(const std::string& settingsText, const std::string& key);

class QCheckBox;
class QLineEdit;

// A control of a dialog by its resource id (object name "control<id>"); nullptr when there is none.
template <class Control> Control* ControlOf(QWidget& dialog, int id) {
    return dialog.findChild<Control*>(QStringLiteral("control%1").arg(id));
}

// Replaces the text of an edit as the user does: select all, then type (or delete).
void TypeInto(QLineEdit* edit, const QString& text);
// Clicks a check box on its box.
void ClickCheck(QCheckBox* check);
