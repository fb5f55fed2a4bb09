#include "core/dialogs/SettingDialogModel.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "FakeDialog.h"
#include "core/dialogs/NetworkDialogModel.h"

namespace {

using M = SettingDialogModel;
using N = NetworkDialogModel;

const std::string kFreeTextOfD = "空容量150000 MByte";
const std::string kFreeTextOfC = "空容量40000 MByte";
const std::string kInteger = "整数を入力してください。";
const std::string kNokoriRange = "0 から 1000000000 までの整数を入力してください。";

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// The settings dialog's model on the made-up machine, bound to fake windows for itself and the network
// settings dialog.
class SettingDialogModelTest : public ::testing::Test {
protected:
    SettingDialogModelTest() {
        model.Bind(view);
        network.Bind(networkView);
    }

    MonitorSettings& Settings() { return machine.monitor->Settings(); }

    DialogMachine machine;
    FakeDialog view{kSettingDialogLayout};
    FakeDialog networkView{kNetworkDialogLayout};
    NetworkDialogModel network;
    SettingDialogModel model{*machine.monitor, network};
};

TEST_F(SettingDialogModelTest, ExchangeVisitsTheControlsInItsOrder) {
    const std::vector<int> order{1002, 1003, 1004, 1005, 1007, 1006, 1011, 1012, 1013, 1014, 1016, 1018, 1020};
    model.Push();
    EXPECT_EQ(view.writes, order);
    view.reads.clear();
    EXPECT_TRUE(model.Pull());
    EXPECT_EQ(view.reads, order);
    EXPECT_EQ(view[M::kDirectory].limit, M::kMaxDirectoryChars);
}

// Each row enters one text into one control (and 777 into the threshold after it) and presses Esc.
TEST_F(SettingDialogModelTest, ValidationStopsAtTheFailingControl) {
    const struct {
        const char* name;
        int id;
        const char* entered;
        const char* message; // empty: accepted
    } cases[] = {
        {"Time not an integer", M::kTime, "abc", "整数を入力してください。"},
        {"Time empty", M::kTime, "", "整数を入力してください。"},
        {"Time with a trailing letter", M::kTime, "5x", "整数を入力してください。"},
        {"Time beyond 32 bits", M::kTime, "2147483648", "整数を入力してください。"},
        {"Time negative has no range", M::kTime, "-3", ""},
        {"Time with blanks", M::kTime, " 12 ", ""},
        {"Nokori -1", M::kNokori, "-1", "0 から 1000000000 までの整数を入力してください。"},
        {"Nokori 0", M::kNokori, "0", ""},
        {"Nokori 1000000000", M::kNokori, "1000000000", ""},
        {"Nokori 1000000001", M::kNokori, "1000000001", "0 から 1000000000 までの整数を入力してください。"},
        {"Directory of 10 characters", M::kDirectory, "ABCDEFGHIJ", ""},
        {"Directory of 11 characters", M::kDirectory, "ABCDEFGHIJK", "10 文字以内で入力してください。"},
        {"Directory of 10 wide characters", M::kDirectory, "ドライブドライブドラ", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DialogMachine machine;
        MonitorSettings& settings = machine.monitor->Settings();
        settings.Keikoku = 1;
        settings.Nokori = 100;
        FakeDialog view = this->view;
        NetworkDialogModel network;
        SettingDialogModel model(*machine.monitor, network);
        model.Bind(view);
        ASSERT_TRUE(model.Open());
        view[M::kNokori].text = "777";
        view[c.id].text = c.entered;
        EXPECT_TRUE(model.Handle(DialogEvent::Escape));

        const bool accepted = *c.message == '\0';
        EXPECT_EQ(view.ended, accepted ? std::optional(DialogResult::Accepted) : std::nullopt);
        EXPECT_EQ(machine.platform.saves, 0); // Esc does not refresh
        if (accepted) {
            EXPECT_TRUE(view.messages.empty());
            EXPECT_EQ(settings.Nokori, c.id == M::kNokori ? std::stoi(c.entered) : 777);
            if (c.id == M::kTime) {
                EXPECT_EQ(settings.Time, std::stoi(c.entered));
            }
            if (c.id == M::kDirectory) {
                EXPECT_EQ(settings.Directory, c.entered);
            }
        } else {
            EXPECT_EQ(view.messages, std::vector<std::string>{c.message});
            EXPECT_EQ(view.focus, c.id);
            // The failing control keeps its old member; the threshold after it is not taken.
            EXPECT_EQ(settings.Time, 5);
            EXPECT_EQ(settings.Nokori, 100);
            EXPECT_EQ(settings.Directory, "D");
        }
    }
}

TEST_F(SettingDialogModelTest, StoredFlagOtherThanZeroOrOneReadsAsUnchecked) {
    const struct {
        int MonitorSettings::*flag;
        int checkId;
        int dependentId;
    } cases[] = {{&MonitorSettings::Auto, M::kAutoCheck, M::kTime},
                 {&MonitorSettings::NetWork, M::kNetWorkCheck, M::kNetworkButton},
                 {&MonitorSettings::Keikoku, M::kKeikokuCheck, M::kNokori},
                 {&MonitorSettings::OtherDrive, M::kOtherDriveCheck, M::kDriveButton}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.checkId);
        DialogMachine machine;
        machine.monitor->Settings().*c.flag = 2;
        FakeDialog view = this->view;
        NetworkDialogModel network;
        SettingDialogModel model(*machine.monitor, network);
        model.Bind(view);
        model.Open();
        EXPECT_FALSE(view[c.checkId].checked);
        EXPECT_FALSE(view[c.dependentId].enabled);
        model.Handle(DialogEvent::Escape);
        EXPECT_EQ(view.ended, DialogResult::Accepted);
        EXPECT_EQ(machine.monitor->Settings().*c.flag, 0);
    }
}

TEST_F(SettingDialogModelTest, StoredInvalidValueFailsEveryPullIncludingTheFourAtOpening) {
    const struct {
        const char* name;
        void (*spoil)(MonitorSettings&);
        int failingId;
        const char* message;
    } cases[] = {
        {"Nokori above the range",
         [](MonitorSettings& s) {
             s.Keikoku = 1;
             s.Nokori = 1000000001;
         },
         M::kNokori, "0 から 1000000000 までの整数を入力してください。"},
        {"Directory of 11 characters", [](MonitorSettings& s) { s.Directory = "ABCDEFGHIJK"; }, M::kDirectory,
         "10 文字以内で入力してください。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DialogMachine machine;
        c.spoil(machine.monitor->Settings());
        const int nokori = machine.monitor->Settings().Nokori;
        FakeDialog view = this->view;
        NetworkDialogModel network;
        SettingDialogModel model(*machine.monitor, network);
        model.Bind(view);
        model.Open();
        EXPECT_EQ(view.messages, std::vector<std::string>(4, c.message));
        model.Handle(DialogEvent::Escape);
        EXPECT_EQ(view.messages.size(), 5u);
        EXPECT_FALSE(view.ended);
        EXPECT_EQ(view.focus, c.failingId);
        EXPECT_EQ(machine.monitor->Settings().Nokori, nokori);
        // The opening measurement replaces a Directory that names no drive by the current one; the failing
        // pulls never take the long text back.
        EXPECT_EQ(machine.monitor->Settings().Directory, c.failingId == M::kDirectory ? "C" : "D");
    }
}

TEST_F(SettingDialogModelTest, EventsRefreshAndEndOrNot) {
    const struct {
        DialogEvent event;
        DialogAction action;
        std::optional<DialogResult> ended;
        bool refreshes;
        bool takesEdits;
    } cases[] = {
        {DialogEvent::Enter, DialogAction::RefreshThenOk, DialogResult::Accepted, true, true},
        {DialogEvent::OkButton, DialogAction::RefreshThenOk, DialogResult::Accepted, true, true},
        {DialogEvent::Escape, DialogAction::Ok, DialogResult::Accepted, false, true},
        {DialogEvent::CloseBox, DialogAction::Cancel, DialogResult::Rejected, false, false},
        {DialogEvent::UpdateButton, DialogAction::Refresh, std::nullopt, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.event));
        DialogMachine machine;
        FakeDialog view = this->view;
        NetworkDialogModel network;
        SettingDialogModel model(*machine.monitor, network);
        model.Bind(view);
        model.Open();
        EXPECT_EQ(model.ActionFor(c.event), c.action);
        view[M::kTime].text = "7";
        EXPECT_TRUE(model.Handle(c.event));
        EXPECT_EQ(view.ended, c.ended);
        EXPECT_TRUE(view.messages.empty());
        EXPECT_EQ(machine.monitor->Settings().Time, c.takesEdits ? 7 : 5);
        EXPECT_EQ(Contains(machine.StatusFiles(), kFreeTextOfD), c.refreshes);
        EXPECT_EQ(machine.platform.saves, c.refreshes ? 1 : 0);
        if (c.refreshes) {
            // The refresh pushed its new texts into the open dialog.
            EXPECT_EQ(view[M::kFreeText].text, kFreeTextOfD);
        }
    }
    EXPECT_EQ(model.ActionFor(DialogEvent::CancelButton), DialogAction::PassOn); // the dialog has no Cancel
}

TEST_F(SettingDialogModelTest, EnableRulesFollowTheirCheckBoxes) {
    const struct {
        int checkId;
        int dependentId;
    } rules[] = {{M::kAutoCheck, M::kTime},
                 {M::kNetWorkCheck, M::kNetworkButton},
                 {M::kKeikokuCheck, M::kNokori},
                 {M::kOtherDriveCheck, M::kDriveButton}};
    for (const auto& rule : rules) {
        for (const bool initiallyOn : {false, true}) {
            SCOPED_TRACE(rule.checkId * 10 + initiallyOn);
            DialogMachine machine;
            MonitorSettings& settings = machine.monitor->Settings();
            settings.Auto = settings.NetWork = settings.Keikoku = settings.OtherDrive = initiallyOn ? 1 : 0;
            FakeDialog view = this->view;
            NetworkDialogModel network;
            SettingDialogModel model(*machine.monitor, network);
            model.Bind(view);
            model.Open();
            std::vector<bool> enabled{view[rule.dependentId].enabled};
            for (int click = 0; click < 2; ++click) {
                view[rule.checkId].checked = !view[rule.checkId].checked; // the box toggles itself
                model.CheckClicked(rule.checkId);
                enabled.push_back(view[rule.dependentId].enabled);
            }
            EXPECT_EQ(enabled, (std::vector<bool>{initiallyOn, !initiallyOn, initiallyOn}));
        }
    }
    // A check box without a rule neither pulls nor enables anything.
    model.CheckClicked(M::kGByteCheck);
    EXPECT_TRUE(view.reads.empty());
}

TEST_F(SettingDialogModelTest, EnableRuleClickPullsEverythingAndAppliesDespiteInvalidValue) {
    Settings().Keikoku = 1;
    model.Open();
    view[M::kPath].text = "/srv/share/";
    view[M::kNokori].text = "x";
    // Auto is taken before the failing threshold: the rule sees the new value.
    view[M::kAutoCheck].checked = false;
    model.CheckClicked(M::kAutoCheck);
    EXPECT_FALSE(view[M::kTime].enabled);
    // OtherDrive comes after it and is not taken: the rule sees the old value.
    view[M::kOtherDriveCheck].checked = true;
    model.CheckClicked(M::kOtherDriveCheck);
    EXPECT_FALSE(view[M::kDriveButton].enabled);

    EXPECT_EQ(view.messages, std::vector<std::string>(2, kInteger));
    EXPECT_EQ(Settings().Path, "/srv/share/");
    EXPECT_EQ(Settings().Auto, 0);
    EXPECT_EQ(Settings().OtherDrive, 0);
    EXPECT_EQ(Settings().Nokori, 100);
}

TEST_F(SettingDialogModelTest, OpeningClearsPendingWarningAndKeepsLastTexts) {
    Monitor& monitor = *machine.monitor;
    monitor.Settings().Directory.clear();
    monitor.Reading().usedText = "使用量1 MByte";
    monitor.Reading().totalText = "全容量2 MByte";
    monitor.Reading().freeText = "空容量1 MByte";
    monitor.RaiseWarning();
    ASSERT_TRUE(model.Open());
    EXPECT_TRUE(monitor.WindowOpen());
    EXPECT_EQ(monitor.WarningPending(), 0);
    EXPECT_EQ(view[M::kUsedText].text, "使用量1 MByte");
    EXPECT_EQ(view[M::kTotalText].text, "全容量2 MByte");
    EXPECT_EQ(view[M::kFreeText].text, "空容量1 MByte");
    // The opening measurement reads the current drive but leaves an empty Directory empty.
    EXPECT_EQ(monitor.Reading().freeMB, 40000);
    EXPECT_EQ(monitor.Settings().Directory, "");

    EXPECT_FALSE(model.Open()); // a second run while it runs is refused
    model.Closed();
    EXPECT_FALSE(monitor.WindowOpen());
    EXPECT_FALSE(model.Running());
}

TEST_F(SettingDialogModelTest, NetworkSettingsAreCopiedInAndOutUnlessCancelled) {
    const struct {
        const char* name;
        DialogEvent ending;
        bool takesEdits;
    } cases[] = {
        {"Esc", DialogEvent::Escape, true},
        {"OK", DialogEvent::OkButton, true},
        {"Cancel", DialogEvent::CancelButton, false},
        {"close box", DialogEvent::CloseBox, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DialogMachine machine;
        MonitorSettings& settings = machine.monitor->Settings();
        settings.NetWork = 1;
        settings.Port = 8085;
        settings.Pass = "pw";
        settings.NetKoushin = 0;
        settings.EnbChange = 1;
        const MonitorSettings before = settings;
        FakeDialog view = this->view;
        FakeDialog networkView = this->networkView;
        networkView[N::kChangeCheck].enabled = false;
        NetworkDialogModel network;
        network.Bind(networkView);
        SettingDialogModel model(*machine.monitor, network);
        model.Bind(view);
        model.Open();
        int openFlagInside = -1;
        model.RunNetworkSettings([&] {
            network.Open();
            openFlagInside = network.m_networkDialogOpen;
            EXPECT_EQ(networkView[N::kPort].text, "8085");
            EXPECT_EQ(networkView[N::kPassword].text, "pw");
            EXPECT_FALSE(networkView[N::kRefreshCheck].checked);
            EXPECT_TRUE(networkView[N::kChangeCheck].checked);
            networkView[N::kPort].text = "9000";
            networkView[N::kPassword].text = "";
            networkView[N::kRefreshCheck].checked = true;
            network.Handle(c.ending);
            network.Closed();
        });
        EXPECT_EQ(openFlagInside, 1);
        EXPECT_EQ(network.m_networkDialogOpen, 0);
        if (c.takesEdits) {
            EXPECT_EQ(settings.Port, 9000);
            EXPECT_EQ(settings.Pass, "");
            EXPECT_EQ(settings.NetKoushin, 1);
            EXPECT_EQ(settings.EnbChange, 1);
        } else {
            EXPECT_TRUE(settings == before);
        }
        EXPECT_EQ(machine.platform.saves, 0);
    }
}

TEST_F(SettingDialogModelTest, CloseForExitAcceptsBothDialogsWithoutSaving) {
    Settings().NetWork = 1;
    model.Open();
    view[M::kTime].text = "9";
    model.RunNetworkSettings([&] {
        network.Open();
        networkView[N::kPort].text = "7000";
        model.CloseForExit(); // the tray's exit command, arriving while both dialogs run
        network.Closed();
    });
    EXPECT_EQ(networkView.ended, DialogResult::Accepted);
    EXPECT_EQ(view.ended, DialogResult::Accepted);
    EXPECT_EQ(Settings().Port, 7000);
    EXPECT_EQ(Settings().Time, 9);
    EXPECT_EQ(machine.platform.saves, 0);
    EXPECT_TRUE(machine.StatusFiles().empty());
}

TEST_F(SettingDialogModelTest, CloseForExitDuringValidationMessageLeavesNetworkDialogOpen) {
    Settings().NetWork = 1;
    Settings().Port = 8085;
    model.Open();
    model.RunNetworkSettings([&] {
        network.Open();
        networkView[N::kPort].text = "70000";
        // The exit command arrives while the port's message waits for the user.
        networkView.whileMessageShows = [&] { model.CloseForExit(); };
        network.Handle(DialogEvent::Escape);
        networkView.whileMessageShows = nullptr;
        EXPECT_FALSE(networkView.ended);
        network.Handle(DialogEvent::CancelButton); // the user, who cancels it
        network.Closed();
    });
    EXPECT_EQ(networkView.messages, std::vector<std::string>{"0 から 65535 までの整数を入力してください。"});
    EXPECT_EQ(view.ended, DialogResult::Accepted);
    EXPECT_EQ(Settings().Port, 8085);
}

TEST_F(SettingDialogModelTest, CloseForExitDoesNothingWhileClosed) {
    model.CloseForExit();
    EXPECT_FALSE(view.ended);
    EXPECT_TRUE(view.reads.empty());
}

TEST_F(SettingDialogModelTest, RefreshWhileOpenPullsEditsAndShowsNewTexts) {
    model.Open();
    view[M::kTime].text = "8";
    view[M::kDirectory].text = "q"; // no such drive: falls back to C
    // A refresh from elsewhere (network request or automatic refresh) while the user edits.
    machine.monitor->RefreshCycle();
    EXPECT_EQ(view[M::kFreeText].text, kFreeTextOfC);
    EXPECT_EQ(view[M::kDirectory].text, "C");
    EXPECT_EQ(Settings().Time, 8);
    EXPECT_NE(machine.dir.Read("tarvellin.ini").find("Time=8"), std::string::npos);
    EXPECT_TRUE(Contains(machine.StatusFiles(), kFreeTextOfC));
    EXPECT_FALSE(view.ended);
}

TEST_F(SettingDialogModelTest, RefreshDuringValidationMessageShowsItOnlyOnce) {
    model.Open();
    view[M::kTime].text = "abc";
    int nested = 0;
    // The second refresh arrives while the first one's message is on screen; so does an Esc.
    view.whileMessageShows = [&] {
        ++nested;
        machine.monitor->RefreshCycle();
        model.Handle(DialogEvent::Escape);
    };
    machine.monitor->RefreshCycle();
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(view.messages, std::vector<std::string>{kInteger});
    EXPECT_FALSE(view.ended);
    EXPECT_EQ(machine.platform.saves, 1); // the outer cycle finds the file holding the same bytes
    EXPECT_EQ(Settings().Time, 5);
}

} // namespace
