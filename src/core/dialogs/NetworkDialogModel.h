#pragma once

#include <string>

#include "core/dialogs/DialogModel.h"

// The network settings dialog (resource 140): port, password and the two network switches. It holds its
// own copies of the four values; the settings dialog copies them in before a run and back after it.
class NetworkDialogModel final : public DialogModel {
public:
    enum Control : int {
        kOkButton = 1,
        kCancelButton = 2,
        kPort = 1005,
        kRefreshCheck = 1006,
        kPassword = 1007,
        kChangeCheck = 1012, // hidden and disabled: carries its value through
    };

    // OK and Esc take the values, Enter does nothing, Cancel and the close box take nothing.
    DialogAction ActionFor(DialogEvent event) const override;

    // 1 from the copy-in before a run until the copy-out after it.
    int m_networkDialogOpen = 0;
    int m_port = 0;
    std::string m_password;
    int m_refreshWithoutCommand = 0; // NetKoushin
    int m_changeOverNetwork = 0;     // EnbChange

protected:
    void Exchange(DataExchange& exchange) override;
};
