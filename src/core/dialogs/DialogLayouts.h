#pragma once

#include <span>

// The id of a static text that the dialog never reaches by id.
inline constexpr int kNoControlId = -1;

// What a control of a dialog template is.
enum class ControlKind {
    Text,          // a static text, left-aligned
    Edit,          // a one-line edit field that scrolls its text sideways
    CheckBox,      // a check box that checks itself on a click
    PushButton,    // a push button; the focused one is pressed by Enter only where the dialog has a default
    DefaultButton, // the push button that Enter presses when no other button has the focus
    Icon,          // the program's icon in a static control; it has no text
};

// Style details beyond the kind, as flags.
enum ControlStyle : unsigned {
    kPlainStyle = 0,
    kPassword = 1u << 0,   // an edit that masks its text
    kNeverShown = 1u << 1, // exists, hidden and disabled, for good
    kNoPrefix = 1u << 2,   // a text whose ampersands are shown, not taken as the mark of an access key
};

// One control of a dialog template, at its place in dialog units.
struct ControlLayout {
    int id;
    ControlKind kind;
    const char* text; // UTF-8; empty for an edit
    int x, y, width, height;
    unsigned style = kPlainStyle;
};

// The dialogs' font.
struct DialogFont {
    const char* face; // UTF-8
    int pointSize;
    int charset; // the Windows character set of the face
};

// One dialog template: both faces build their dialog from it (the Windows one through the resource script,
// which its test holds against this table).
struct DialogLayout {
    int resourceId;
    const char* caption; // UTF-8
    int width, height;   // the client area, in dialog units
    // In template order, which is also the tab order.
    std::span<const ControlLayout> controls;
};

// Every dialog shows the proportional Japanese gothic face at 9 points.
inline constexpr DialogFont kDialogFont{"ＭＳ Ｐゴシック", 9, 128};

extern const DialogLayout kAboutDialogLayout;    // resource 100
extern const DialogLayout kLauncherDialogLayout; // resource 102
extern const DialogLayout kSettingDialogLayout;  // resource 131
extern const DialogLayout kNetworkDialogLayout;  // resource 140
extern const DialogLayout kDriveDialogLayout;    // resource 141
