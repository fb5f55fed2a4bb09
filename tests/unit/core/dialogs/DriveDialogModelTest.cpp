#include "core/dialogs/DriveDialogModel.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "FakeDialog.h"

namespace {

using D = DriveDialogModel;

FakeDialog DriveWindow() {
    return FakeDialog(kDriveDialogLayout);
}

// How many folder edits are enabled, and that they are exactly the first ones (-1 otherwise).
int EnabledPrefix(FakeDialog& view) {
    int enabled = 0;
    bool gap = false;
    for (const int id : D::kFolderIds) {
        const bool on = view[id].enabled;
        if (on && gap) {
            return -1;
        }
        gap = gap || !on;
        enabled += on ? 1 : 0;
    }
    return enabled;
}

// The drive settings dialog's model on the made-up machine with drives C to L.
class DriveDialogModelTest : public ::testing::Test {
protected:
    DriveDialogModelTest() {
        for (char letter = 'F'; letter <= 'L'; ++letter) {
            machine.platform.AddDrive(letter, 1000, 500);
        }
        model.Bind(view);
    }

    MonitorSettings& Settings() { return machine.monitor->Settings(); }
    // The user changes the letters to a text.
    void EnterLetters(const std::string& text) {
        view[D::kLetters].text = text;
        model.LettersChanged();
    }

    DialogMachine machine;
    FakeDialog view = DriveWindow();
    DriveDialogModel model{*machine.monitor};
};

TEST_F(DriveDialogModelTest, LettersOfMissingDrivesVanish) {
    const struct {
        const char* stored;
        const char* entered;
        const char* shown;
        int enabledFolders;
    } cases[] = {
        {"", "DE", "DE", 2},
        {"", "DQE", "DE", 2},
        {"", "Q", "", 0},
        {"D", "Z", "", 0},
        {"", "d", "d", 1},
        {"", "DD", "DD", 2},
        {"", "CDEFGHIJK", "CDEFGHIJK", 9},
        {"DE", "", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entered);
        Settings().Directory2 = c.stored;
        FakeDialog view = DriveWindow();
        model.Bind(view);
        model.Open();
        EXPECT_EQ(EnabledPrefix(view), static_cast<int>(std::string(c.stored).size()));
        view[D::kLetters].text = c.entered;
        model.LettersChanged();
        EXPECT_EQ(view[D::kLetters].text, c.shown);
        EXPECT_EQ(EnabledPrefix(view), c.enabledFolders);
        EXPECT_EQ(Settings().Directory2, c.shown);
        model.Handle(DialogEvent::OkButton);
        model.Closed();
        EXPECT_EQ(view.ended, DialogResult::Accepted);
        EXPECT_EQ(view[D::kLetters].limit, D::kMaxLetters);
    }
}

TEST_F(DriveDialogModelTest, CancelKeepsLettersAndFoldersTakenAtTheLastLetterChange) {
    for (const DialogEvent event : {DialogEvent::CancelButton, DialogEvent::Escape, DialogEvent::CloseBox}) {
        Settings().Directory2 = "D";
        Settings().Path2To10.fill("");
        view = DriveWindow();
        model.Open();
        view[D::kFolderIds[0]].text = "/srv/d/";
        EnterLetters("DE"); // takes the folder entered so far
        view[D::kFolderIds[1]].text = "/srv/e/";
        EXPECT_TRUE(model.Handle(event));
        model.Closed();
        EXPECT_EQ(view.ended, DialogResult::Rejected);
        EXPECT_EQ(Settings().Directory2, "DE");
        EXPECT_EQ(Settings().Path2To10.at(0), "/srv/d/");
        EXPECT_EQ(Settings().Path2To10.at(1), "");
    }
    EXPECT_EQ(model.ActionFor(DialogEvent::Enter), DialogAction::PassOn); // Enter presses the focused button
}

TEST_F(DriveDialogModelTest, OkTakesFoldersAndSavesNothing) {
    Settings().Directory2 = "DE";
    model.Open();
    view[D::kFolderIds[1]].text = "/srv/e/";
    model.Handle(DialogEvent::OkButton);
    EXPECT_EQ(view.ended, DialogResult::Accepted);
    EXPECT_EQ(Settings().Path2To10.at(1), "/srv/e/");
    EXPECT_EQ(machine.platform.saves, 0);
    EXPECT_TRUE(machine.StatusFiles().empty());
}

TEST_F(DriveDialogModelTest, StoredOverlongLettersAreCutWithOneMessage) {
    Settings().Directory2 = "CDECDECDECDE";
    model.Open();
    EXPECT_EQ(view.messages, std::vector<std::string>{"9 文字以内で入力してください。"});
    EXPECT_EQ(view[D::kLetters].text, "CDECDECDE");
    model.Handle(DialogEvent::OkButton);
    EXPECT_EQ(view.ended, DialogResult::Accepted);
    EXPECT_EQ(Settings().Directory2, "CDECDECDE");
}

TEST_F(DriveDialogModelTest, ChangesMadeByTheExchangeAreNoLetterChange) {
    // The window reports every change of the letters' text, the exchange's own too, as an edit does.
    view.whenChanged = [&](int id) {
        if (id == D::kLetters) {
            model.LettersChanged();
        }
    };
    model.Open();
    view.reads.clear();
    EnterLetters("DQE");
    EXPECT_EQ(std::count(view.reads.begin(), view.reads.end(), D::kLetters), 1);
    EXPECT_EQ(view[D::kLetters].text, "DE");
    EXPECT_EQ(EnabledPrefix(view), 2);
}

TEST_F(DriveDialogModelTest, DefaultedFolderShowsTheDriveRoot) {
    Settings().OtherDrive = 1;
    Settings().Directory2 = "E";
    const std::string rootOfE = machine.dir.Folder() + "e/";
    machine.platform.drives.at('E').folder = rootOfE;
    std::filesystem::create_directories(rootOfE);
    machine.monitor->RefreshCycle();
    model.Open();
    EXPECT_EQ(view[D::kFolderIds[0]].text, rootOfE);
}

} // namespace
