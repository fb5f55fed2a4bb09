#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "TempDir.h"
#include "core/capacity/Monitor.h"
#include "core/dialogs/DialogControls.h"
#include "core/dialogs/DialogLayouts.h"

// A dialog window made of plain values: the controls of a dialog's layout, by id, and what the model did to
// them. A model that reaches for a control the layout does not have, or treats a control as one of another
// kind (a text as a check box), fails the test.
class FakeDialog : public DialogControls {
public:
    struct Control {
        ControlKind kind = ControlKind::Text;
        std::string text;
        bool checked = false;
        bool enabled = true;
        int limit = -1; // the edit's text limit; -1 when none was set
    };

    explicit FakeDialog(const DialogLayout& layout) {
        for (const ControlLayout& control : layout.controls) {
            if (control.id != kNoControlId) {
                controls[control.id].kind = control.kind;
            }
        }
    }

    Control& operator[](int id) { return At(id); }

    std::string Text(int id) const override {
        reads.push_back(id);
        return Holding(id, ControlKind::Text, ControlKind::Edit).text;
    }
    void SetText(int id, const std::string& text) override {
        writes.push_back(id);
        Holding(id, ControlKind::Text, ControlKind::Edit);
        const bool changed = At(id).text != text;
        At(id).text = text;
        if (changed && whenChanged) {
            whenChanged(id);
        }
    }
    void LimitText(int id, int maxChars) override {
        Holding(id, ControlKind::Edit, ControlKind::Edit).limit = maxChars;
    }
    bool Checked(int id) const override {
        reads.push_back(id);
        return Holding(id, ControlKind::CheckBox, ControlKind::CheckBox).checked;
    }
    void SetChecked(int id, bool checked) override {
        writes.push_back(id);
        Holding(id, ControlKind::CheckBox, ControlKind::CheckBox).checked = checked;
    }
    bool Enabled(int id) const override { return At(id).enabled; }
    void Enable(int id, bool enabled) override { At(id).enabled = enabled; }
    void ShowMessage(int id, const std::string& message) override {
        messages.push_back(message);
        // Not again for a message that the hook itself brings up.
        if (std::function<void()> hook = std::exchange(whileMessageShows, nullptr)) {
            hook();
            whileMessageShows = std::move(hook);
        }
        focus = id;
    }
    void End(DialogResult result) override { ended = result; }

    std::map<int, Control> controls;
    mutable std::vector<int> reads; // ids of the controls read, in order
    std::vector<int> writes;        // ids of the controls written, in order
    std::vector<std::string> messages;
    int focus = 0; // the control focused by the last message
    std::optional<DialogResult> ended;
    std::function<void()> whileMessageShows; // runs while a message is on screen (not nested)
    std::function<void(int id)> whenChanged; // runs after SetText changed a control's text

private:
    // The control, which must be of the kind (or of the other one).
    Control& Holding(int id, ControlKind kind, ControlKind otherKind) const {
        Control& control = At(id);
        if (control.kind != kind && control.kind != otherKind) {
            ADD_FAILURE() << "control " << id << " is of another kind";
        }
        return control;
    }
    Control& At(int id) const {
        auto found = controls.find(id);
        if (found == controls.end()) {
            ADD_FAILURE() << "no control " << id;
            static Control none;
            return none;
        }
        return const_cast<Control&>(found->second);
    }
};

// A made-up machine with drives C (the current drive), D and E, settings in a temporary folder (Directory D,
// Auto on with Time 5) and the monitor that holds them; status files go into <temp>/status/.
struct DialogMachine {
    DialogMachine() {
        platform.AddDrive('C', 100000, 40000);
        platform.AddDrive('D', 200000, 150000);
        platform.AddDrive('E', 300000, 1000, DriveType::Remote);
        platform.configurationPath = dir.Folder() + "tarvellin.ini";
        std::filesystem::create_directories(dir.Path() / "status");
        monitor = std::make_unique<Monitor>(platform, platform.configurationPath);
        MonitorSettings& settings = monitor->Settings();
        settings.Path = dir.Folder() + "status/";
        settings.Directory = std::string(1, 'D'); // (a literal trips a false -Wrestrict of GCC 12)
        settings.Auto = 1;
        settings.Time = 5;
    }

    // Names of the files in the status folder.
    std::vector<std::string> StatusFiles() const { return dir.List("status"); }

    TempDir dir;
    FakePlatform platform;
    std::unique_ptr<Monitor> monitor;
};
