#include "DialogDriver.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <filesystem>
#include <string_view>

namespace {

constexpr int kPollMs = 10;

} // namespace

ModalStep::ModalStep(QWidget* window, std::function<void()> step, int timeoutMs)
    : m_window(window), m_step(std::move(step)), m_remainingPolls(timeoutMs / kPollMs) {
    connect(&m_timer, &QTimer::timeout, this, &ModalStep::Poll);
    m_timer.start(kPollMs);
}

void ModalStep::Poll() {
    // A message box raised while the window starts shows the window and ends its own loop with the window
    // active but not yet in its own loop: the window is ready only once no message box of it is left.
    if (QApplication::activeModalWidget() == m_window && m_window->isVisible() &&
        m_window->findChildren<QMessageBox*>().isEmpty()) {
        m_timer.stop();
        m_ran = true;
        m_step();
        return;
    }
    if (--m_remainingPolls <= 0) {
        m_timer.stop();
        m_missed = true;
        CloseAllDialogs();
    }
}

MessageBoxCloser::MessageBoxCloser(int delayMs) : m_delayPolls(delayMs / kPollMs) {
    connect(&m_timer, &QTimer::timeout, this, &MessageBoxCloser::Poll);
    m_timer.start(kPollMs);
}

void MessageBoxCloser::Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) {
        return;
    }
    if (m_seenPolls++ < m_delayPolls) {
        return;
    }
    m_seenPolls = 0;
    m_texts.append(box->text());
    const QWidget* dialog = box->parentWidget() != nullptr ? box->parentWidget()->window() : nullptr;
    m_overTheirDialog.append(dialog != nullptr && dialog->isVisible() &&
                             dialog->frameGeometry().contains(box->frameGeometry().center()));
    if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
        ok->click();
    } else {
        box->done(QMessageBox::Ok);
    }
}

DialogMachine::DialogMachine() {
    platform.AddDrive('C', 100000, 40000);
    platform.AddDrive('D', 200000, 150000);
    platform.AddDrive('E', 300000, 1000, DriveType::Remote);
    platform.configurationPath = dir.Folder() + "tarvellin.ini";
    std::filesystem::create_directories(dir.Path() / "status");
    monitor = std::make_unique<Monitor>(platform, platform.configurationPath);
    MonitorSettings& settings = monitor->Settings();
    settings.Path = StatusFolder();
    settings.Directory = std::string(1, 'D'); // (a literal trips a false -Wrestrict of GCC 12)
    settings.Auto = 1;                        // keeps the minutes field enabled
    settings.Time = 5;
}

void CloseAllDialogs() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(widget); dialog != nullptr && dialog->isVisible()) {
            dialog->done(QDialog::Rejected);
        }
    }
}

ModalRun RunModalWith(QWidget* window, const std::function<int()>& run, std::function<void()> step, int timeoutMs) {
    ModalRun outcome;
    ModalStep modal(window, std::move(step), timeoutMs);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&outcome] {
        outcome.timedOut = true;
        CloseAllDialogs();
    });
    watchdog.start(timeoutMs);
    outcome.result = run();
    outcome.stepRan = modal.Ran();
    return outcome;
}

std::optional<std::string> SavedValue(const std::string& settingsText, const std::string& key) {
    const std::string_view text(settingsText);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=') {
            return std::string(line.substr(key.size() + 1));
        }
        start = end + 1;
    }
    return std::nullopt;
}

void TypeInto(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    if (text.isEmpty()) {
        QTest::keyClick(edit, Qt::Key_Backspace);
    } else {
        QTest::keyClicks(edit, text);
    }
}

void ClickCheck(QCheckBox* check) {
    QTest::mouseClick(check, Qt::LeftButton, Qt::KeyboardModifiers(), QPoint(6, check->height() / 2));
}
