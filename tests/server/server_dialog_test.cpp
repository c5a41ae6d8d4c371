// The board's operations against the real dialog and its real controls: the dialog runs its modal
// loop on a UI thread, as on the server's main thread, and the test takes and steps slots from
// other threads and reads the bars back from the controls.
#include "modal_dialog_runner.h"
#include "resource.h"
#include "server_dlg.h"
#include "wait_until.h"
#include "window_query.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

class ServerDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        runner = std::make_unique<ModalDialogRunner>([] { return new CServerDlg; }, "QDServer");
        ASSERT_NE(runner->hwnd(), nullptr) << "the dialog did not show";
        dlg = static_cast<CServerDlg*>(runner->dialog());
    }
    void TearDown() override { runner.reset(); }

    int BarPos(int nSlot) const
    {
        return static_cast<int>(SendMessageA(GetDlgItem(runner->hwnd(), IDC_PROGRESS1 + nSlot), PBM_GETPOS, 0, 0));
    }
    void Click(int nID) { SendMessageA(GetDlgItem(runner->hwnd(), nID), BM_CLICK, 0, 0); }

    std::unique_ptr<ModalDialogRunner> runner;
    CServerDlg* dlg = nullptr;
};

TEST_F(ServerDialogTest, OwnThreadChoiceIsReadAnewEachTime)
{
    EXPECT_TRUE(dlg->IsOwnThreadSelected()) << "\"Enabled\" is preselected";
    Click(IDC_OWNTHREAD_DISABLED);
    EXPECT_FALSE(dlg->IsOwnThreadSelected());
    Click(IDC_OWNTHREAD_ENABLED);
    EXPECT_TRUE(dlg->IsOwnThreadSelected());
}

TEST_F(ServerDialogTest, SlotsLendTheirOwnBarsAndStepFromManyThreads)
{
    std::vector<int> slots;
    slots.reserve(8);
    for (int i = 0; i < 8; ++i)
        slots.push_back(dlg->AllocateSlot());
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(slots[i], i);
    EXPECT_EQ(dlg->AllocateSlot(), -1);

    // Slot i is stepped i+1 times, each slot from a thread of its own.
    std::vector<std::thread> threads;
    threads.reserve(8);
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([this, i] {
            for (int k = 0; k <= i; ++k)
                EXPECT_TRUE(dlg->StepSlot(i));
        });
    for (auto& t : threads)
        t.join();
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(BarPos(i), 10 * (i + 1)) << "bar of Object " << i + 1;

    dlg->ReleaseSlot(3);
    EXPECT_EQ(BarPos(3), 0);
    EXPECT_EQ(BarPos(4), 50) << "only the released slot's bar is reset";
    EXPECT_EQ(dlg->AllocateSlot(), 3);
    dlg->ReleaseSlot(-1);
    dlg->ReleaseSlot(8);
    EXPECT_EQ(dlg->AllocateSlot(), -1);
}

TEST_F(ServerDialogTest, AbortButtonStopsExactlyOneStep)
{
    int a = dlg->AllocateSlot();
    int b = dlg->AllocateSlot();
    Click(IDC_ABORT_CALL);
    Click(IDC_ABORT_CALL);
    EXPECT_FALSE(dlg->StepSlot(b));
    EXPECT_EQ(BarPos(b), 0);
    EXPECT_TRUE(dlg->StepSlot(a));
    EXPECT_TRUE(dlg->StepSlot(b));
    EXPECT_EQ(BarPos(a), 10);
    EXPECT_EQ(BarPos(b), 10);
}

TEST_F(ServerDialogTest, StepPastTheMaximumStartsTheBarOver)
{
    int slot = dlg->AllocateSlot();
    for (int i = 0; i < 10; ++i)
        dlg->StepSlot(slot);
    EXPECT_EQ(BarPos(slot), 100);
    dlg->StepSlot(slot);
    EXPECT_EQ(BarPos(slot), 10) << "the control wraps a step past its range";
}

TEST_F(ServerDialogTest, SystemMenuHasTheAboutEntryThatOpensTheAboutBox)
{
    HMENU hMenu = GetSystemMenu(runner->hwnd(), FALSE);
    ASSERT_NE(hMenu, nullptr);
    int n = GetMenuItemCount(hMenu);
    ASSERT_GE(n, 2);
    MENUITEMINFOA sep{sizeof(sep), MIIM_FTYPE};
    GetMenuItemInfoA(hMenu, n - 2, TRUE, &sep);
    EXPECT_TRUE(sep.fType & MFT_SEPARATOR);
    char text[64] = "";
    GetMenuStringA(hMenu, n - 1, text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ(text, "&About QDServer...");
    EXPECT_EQ(GetMenuItemID(hMenu, n - 1), static_cast<UINT>(IDM_ABOUT));

    for (WPARAM command : {WPARAM(0x0010), WPARAM(0x001F)}) {
        PostMessageA(runner->hwnd(), WM_SYSCOMMAND, command, 0);
        HWND hAbout = WindowQuery("About QDServer").InThisProcess().WaitFor(5000);
        ASSERT_NE(hAbout, nullptr) << "command " << command;
        PostMessageA(hAbout, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(hAbout); }, 2000, 10));
    }
}

TEST_F(ServerDialogTest, MainWindowCarriesTheApplicationIcon)
{
    EXPECT_NE(SendMessageA(runner->hwnd(), WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageA(runner->hwnd(), WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_NE(SendMessageA(runner->hwnd(), WM_QUERYDRAGICON, 0, 0), 0);
}

}  // namespace
