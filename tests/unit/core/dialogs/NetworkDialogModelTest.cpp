#include "core/dialogs/NetworkDialogModel.h"

#include <gtest/gtest.h>

#include "FakeDialog.h"

namespace {

using N = NetworkDialogModel;

const std::string kRange = "0 から 65535 までの整数を入力してください。";

// The network settings dialog's model after the settings dialog's copy-in, opened on a fake window whose
// hidden check box is disabled.
class NetworkDialogModelTest : public ::testing::Test {
protected:
    NetworkDialogModelTest() {
        view[N::kChangeCheck].enabled = false;
        model.Bind(view);
        model.m_port = 8085;
        model.m_password = "pw";
        model.m_refreshWithoutCommand = 0;
        model.m_changeOverNetwork = 1;
    }

    FakeDialog view{kNetworkDialogLayout};
    NetworkDialogModel model;
};

TEST_F(NetworkDialogModelTest, PortIsValidatedOnOkAndEsc) {
    const struct {
        const char* entered;
        const char* message; // empty: accepted
        int port;
    } cases[] = {
        {"-1", kRange.c_str(), 8085},
        {"0", "", 0},
        {"65535", "", 65535},
        {"65536", kRange.c_str(), 8085},
        {"80a", "整数を入力してください。", 8085},
    };
    for (const DialogEvent event : {DialogEvent::OkButton, DialogEvent::Escape}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.entered) + (event == DialogEvent::Escape ? " by Esc" : " by OK"));
            FakeDialog view = this->view;
            NetworkDialogModel model;
            model.Bind(view);
            model.m_port = 8085;
            model.m_password = "pw";
            model.Open();
            view[N::kPort].text = c.entered;
            view[N::kPassword].text = "new";
            EXPECT_TRUE(model.Handle(event));
            const bool accepted = *c.message == '\0';
            EXPECT_EQ(view.ended, accepted ? std::optional(DialogResult::Accepted) : std::nullopt);
            EXPECT_EQ(model.m_port, c.port);
            // The password comes after the port: taken only when the port passed.
            EXPECT_EQ(model.m_password, accepted ? "new" : "pw");
            if (!accepted) {
                EXPECT_EQ(view.messages, std::vector<std::string>{c.message});
                EXPECT_EQ(view.focus, N::kPort);
            }
        }
    }
}

TEST_F(NetworkDialogModelTest, EnterIsTakenAndDoesNothing) {
    model.Open();
    view[N::kPassword].text = "typed";
    EXPECT_TRUE(model.Handle(DialogEvent::Enter));
    EXPECT_FALSE(view.ended);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(model.m_password, "pw");
}

TEST_F(NetworkDialogModelTest, CancelAndCloseBoxTakeNothing) {
    for (const DialogEvent event : {DialogEvent::CancelButton, DialogEvent::CloseBox}) {
        FakeDialog view = this->view;
        model.Bind(view);
        model.Open();
        view[N::kPort].text = "99999"; // invalid: no message either
        view[N::kPassword].text = "other";
        view[N::kRefreshCheck].checked = true;
        EXPECT_TRUE(model.Handle(event));
        model.Closed();
        EXPECT_EQ(view.ended, DialogResult::Rejected);
        EXPECT_TRUE(view.messages.empty());
        EXPECT_EQ(model.m_port, 8085);
        EXPECT_EQ(model.m_password, "pw");
        EXPECT_EQ(model.m_refreshWithoutCommand, 0);
    }
}

TEST_F(NetworkDialogModelTest, HiddenCheckPassesItsStoredValueThrough) {
    for (const int stored : {0, 1, 2}) {
        FakeDialog view = this->view;
        model.Bind(view);
        model.m_changeOverNetwork = stored;
        model.Open();
        EXPECT_EQ(view[N::kChangeCheck].checked, stored == 1);
        view[N::kRefreshCheck].checked = true;
        model.Handle(DialogEvent::Escape);
        model.Closed();
        EXPECT_EQ(view.ended, DialogResult::Accepted);
        EXPECT_EQ(model.m_changeOverNetwork, stored);
        EXPECT_EQ(model.m_refreshWithoutCommand, 1);
    }
}

TEST_F(NetworkDialogModelTest, ValidationMessageIsShownOnceWhileItIsUp) {
    model.Open();
    view[N::kPort].text = "x";
    bool nestedPull = true;
    view.whileMessageShows = [&] { nestedPull = model.Pull(); };
    model.Handle(DialogEvent::OkButton);
    EXPECT_FALSE(nestedPull);
    EXPECT_EQ(view.messages.size(), 1u);
    view.whileMessageShows = nullptr;
    model.Handle(DialogEvent::OkButton); // the message is gone: the next OK shows it again
    EXPECT_EQ(view.messages.size(), 2u);
}

} // namespace
