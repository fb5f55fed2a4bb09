#pragma once

// The settings dialog while its window is open: the refresh cycle takes the values of its controls before
// measuring and shows the new values after.
class DialogExchange {
public:
    virtual ~DialogExchange() = default;
    // Controls to settings, with validation; false when a control failed (a message has been shown).
    virtual bool PullFromControls() = 0;
    // Settings to controls.
    virtual void PushToControls() = 0;
};
