#pragma once

#include "core/dialogs/DataExchange.h"
#include "core/dialogs/DialogControls.h"

// What the user can do to end or refresh a dialog.
enum class DialogEvent { OkButton, CancelButton, UpdateButton, Enter, Escape, CloseBox };

// What a dialog makes of a DialogEvent.
enum class DialogAction {
    PassOn,        // not the dialog's: the key goes on to the focused control's usual handling
    Nothing,       // taken, without an effect
    Ok,            // pull with validation; the dialog ends (accepted) only when every control passed
    RefreshThenOk, // the refresh cycle, then Ok
    Refresh,       // the refresh cycle alone; the dialog stays open
    Cancel,        // the dialog ends (rejected) without a pull
};

// The behaviour of one dialog without its window: its members, the exchange with the controls, what each
// event does. A view binds its controls once, before the first run.
class DialogModel {
public:
    DialogModel() = default;
    DialogModel(const DialogModel&) = delete;
    DialogModel& operator=(const DialogModel&) = delete;
    virtual ~DialogModel() = default;

    void Bind(DialogControls& controls) { m_controls = &controls; }

    // True from Open until Closed.
    bool Running() const { return m_running; }
    // The start of a run: fills the controls. False, doing nothing, while the dialog runs already.
    bool Open();
    // The end of a run.
    void Closed();

    // What the event does in this dialog.
    virtual DialogAction ActionFor(DialogEvent event) const = 0;
    // Carries out the event's action; false when the action is PassOn.
    bool Handle(DialogEvent event);

    // Controls to members, with validation; false when a control failed (its message has been shown) or
    // while a validation message of this dialog is on screen, which must not be shown a second time.
    bool Pull();
    // Members to controls.
    void Push();
    // Pull; the dialog ends, accepted, only when every control passed.
    void FrameworkOk();
    // The dialog ends, rejected; nothing is pulled.
    void Cancel();

protected:
    DialogControls& Controls() { return *m_controls; }
    // The controls and their members, in the dialog's exchange order.
    virtual void Exchange(DataExchange& exchange) = 0;
    // The start and end of a run, beyond the running flag.
    virtual void OnOpen() { Push(); }
    virtual void OnClosed() {}
    // The refresh cycle; only a dialog that has a refresh overrides it.
    virtual void Refresh() {}

private:
    DialogControls* m_controls = nullptr;
    bool m_running = false;
    bool m_messageShowing = false;
};
