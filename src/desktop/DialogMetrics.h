#pragma once

#include <QFont>
#include <QRect>

#include <vector>

struct DialogLayout;
class QWidget;

// The dialog font and its base units: converts dialog-template units to pixels as Windows does
// (x px = x du * baseX / 4, y px = y du * baseY / 8), and draws a dialog from its layout table.
class DialogMetrics {
public:
    // Metrics of the dialogs' font: a stand-in for the proportional Japanese gothic face, at its size.
    DialogMetrics();

    const QFont& Font() const { return m_font; }
    int BaseX() const { return m_baseX; }
    int BaseY() const { return m_baseY; }

    // A rectangle given in dialog units, in pixels.
    QRect ToPixels(int x, int y, int width, int height) const;
    // Places a control at a rectangle given in dialog units.
    void Place(QWidget* control, int x, int y, int width, int height) const;
    // Gives a dialog its font, its caption and its fixed client size from its layout.
    void SizeDialog(QWidget* dialog, const DialogLayout& layout) const;
    // Creates the layout's controls on the dialog, in template order (the tab order), and returns them in
    // that order. A control with an id is named control<id>. Nothing is connected.
    std::vector<QWidget*> DrawControls(QWidget* dialog, const DialogLayout& layout) const;

private:
    QFont m_font;
    int m_baseX = 0;
    int m_baseY = 0;
};

// Makes the dialogs' font the application's, so everything else that shows Japanese (the tray menu, the
// tooltip, message boxes) draws it with the same face. Needs the application object.
void UseDialogFontEverywhere();
