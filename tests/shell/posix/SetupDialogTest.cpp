#include "shell/SetupDialog.h"

#include "pop3/POP3Server.h"
#include "shell/PluginShell.h"
#include "shell/TerminalDialog.h"
#include "shell/posix/ShellTestSupport.h"
#include "support/LineClient.h"
#include "support/TestProviderFactory.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

using namespace shelltest;

namespace {

// A window without drawing: the test plays the dialog manager.
class CFakeWindow : public IDialogWindow
{
public:
    void SetItemText(int item, const std::string& text) override { items[item] = text; }
    std::string GetItemText(int item, std::size_t maxLength) override
    {
        return items[item].substr(0, maxLength);
    }
    void EndDialog(std::intptr_t result) override { endResult = result; }
    void SetUserData(std::intptr_t data) override { userData = data; }
    std::intptr_t GetUserData() const override { return userData; }

    std::map<int, std::string> items;
    std::intptr_t userData = 0;
    std::intptr_t endResult = -1;
};

// A running plug-in shell on a stored free port, and a dialog opened on it.
class SetupDialog : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_storedPort = FreePort();
        m_sandbox.StoreText(std::to_string(m_storedPort));
        ASSERT_TRUE(m_shell.Load());
        ASSERT_EQ(m_shell.Initialize(), 0);
        ASSERT_TRUE(IsListening(m_storedPort));
        EXPECT_EQ(
            SetupDialogProc(m_window, kDialogInit, 0, reinterpret_cast<std::intptr_t>(&m_shell)),
            1);
    }
    void TearDown() override
    {
        m_shell.Finalize();
        m_shell.Unload();
    }

    // Types `text` into the field and presses OK.
    void ConfirmWith(const std::string& text)
    {
        m_window.items[kPortField] = text;
        EXPECT_EQ(SetupDialogProc(m_window, kDialogCommand, kOkButton, 0), 1);
        EXPECT_EQ(m_window.endResult, 1);
    }

    CSettingsSandbox m_sandbox;
    CTestProviderFactory m_factory;
    CPOP3Server m_server{&m_factory};
    CPluginShell m_shell{m_server};
    CFakeWindow m_window;
    int m_storedPort = 0;
};

} // namespace

TEST_F(SetupDialog, ShowsTheStoredPort)
{
    EXPECT_EQ(m_window.items[kPortField], std::to_string(m_storedPort));
}

TEST_F(SetupDialog, OkWithAFreePortMovesTheServerAndStoresThePort)
{
    const int newPort = FreePort();
    ConfirmWith(std::to_string(newPort));
    EXPECT_TRUE(IsListening(newPort));
    EXPECT_FALSE(IsListening(m_storedPort));
    EXPECT_EQ(ReadLocalPort(), newPort);
    EXPECT_EQ(m_shell.GetStatus(), 0);
}

TEST_F(SetupDialog, OkWithTheSamePortRestartsTheServerThereEndingOpenSessions)
{
    CLineClient client(static_cast<std::uint16_t>(m_storedPort));
    EXPECT_EQ(client.ReadLine(), "+OK welcome\r\n");
    ConfirmWith(std::to_string(m_storedPort));
    EXPECT_EQ(client.ReadToClose(), "");
    EXPECT_TRUE(client.IsClosed());
    CLineClient next(static_cast<std::uint16_t>(m_storedPort));
    EXPECT_EQ(next.ReadLine(), "+OK welcome\r\n");
    EXPECT_EQ(ReadLocalPort(), m_storedPort);
}

TEST_F(SetupDialog, OkAbove65535BindsTheLowBitsAndStoresTheNumberAsEntered)
{
    const int lowBits = FreePort();
    ConfirmWith(std::to_string(lowBits + 65536));
    EXPECT_TRUE(IsListening(lowBits));
    EXPECT_EQ(m_sandbox.StoredText(), std::to_string(lowBits + 65536) + "\n");
    // The next start binds the same port again.
    m_shell.Finalize();
    EXPECT_EQ(m_shell.Initialize(), 0);
    EXPECT_TRUE(IsListening(lowBits));
}

TEST_F(SetupDialog, OkWithoutANumberNeitherStopsNorStores)
{
    CLineClient client(static_cast<std::uint16_t>(m_storedPort));
    EXPECT_EQ(client.ReadLine(), "+OK welcome\r\n");
    const std::string before = m_sandbox.StoredText();
    for (const char* text : {"", "0", "abc", "000"}) {
        ConfirmWith(text);
        EXPECT_EQ(m_sandbox.StoredText(), before) << text;
    }
    // The session opened before is still served.
    EXPECT_EQ(client.Command("USER list.txt"), "+OK PASS requested\r\n");
}

TEST_F(SetupDialog, OkWithABusyPortFallsBackToTheStoredPort)
{
    CBusyPort busy;
    ConfirmWith(std::to_string(busy.Port()));
    EXPECT_TRUE(IsListening(m_storedPort));
    EXPECT_EQ(ReadLocalPort(), m_storedPort);
    EXPECT_EQ(m_shell.GetStatus(), 0);
}

TEST_F(SetupDialog, CancelChangesNothing)
{
    m_window.items[kPortField] = std::to_string(FreePort());
    EXPECT_EQ(SetupDialogProc(m_window, kDialogCommand, kCancelButton, 0), 1);
    EXPECT_EQ(m_window.endResult, 2);
    EXPECT_TRUE(IsListening(m_storedPort));
    EXPECT_EQ(ReadLocalPort(), m_storedPort);
}

TEST_F(SetupDialog, OtherMessagesAndControlsAreLeftUnhandled)
{
    EXPECT_EQ(SetupDialogProc(m_window, kDialogCommand, kPortField, 0), 0);
    EXPECT_EQ(SetupDialogProc(m_window, 0x0002, 0, 0), 0);
    EXPECT_EQ(m_window.endResult, -1);
    // Only the low 16 bits name the control; the rest is the notification code.
    EXPECT_EQ(SetupDialogProc(m_window, kDialogCommand, 0x00010000 | kCancelButton, 0), 1);
    EXPECT_EQ(m_window.endResult, 2);
}

TEST(SetupDialogWithoutKey, ChangeWorksForTheRunningServerButIsNotRemembered)
{
    CSettingsSandbox sandbox;
    CTestProviderFactory factory;
    CPOP3Server server(&factory);
    CPluginShell shell(server);
    ASSERT_TRUE(shell.Load());
    CFakeWindow window;
    SetupDialogProc(window, kDialogInit, 0, reinterpret_cast<std::intptr_t>(&shell));
    EXPECT_EQ(window.items[kPortField], "11100");
    const int newPort = FreePort();
    window.items[kPortField] = std::to_string(newPort);
    SetupDialogProc(window, kDialogCommand, kOkButton, 0);
    EXPECT_TRUE(IsListening(newPort));
    EXPECT_EQ(ReadLocalPort(), kDefaultLocalPort);
    EXPECT_FALSE(std::filesystem::exists(sandbox.KeyFolder()));
    shell.Finalize();
}

TEST(PluginShell, InitializeReportsAPortInUseAndRecoversOnAFreeOne)
{
    CSettingsSandbox sandbox;
    CBusyPort busy;
    sandbox.StoreText(std::to_string(busy.Port()));
    CTestProviderFactory factory;
    CPOP3Server server(&factory);
    CPluginShell shell(server);
    ASSERT_TRUE(shell.Load());
    EXPECT_EQ(shell.GetStatus(), 0);
    EXPECT_EQ(shell.Initialize(), 1);
    EXPECT_EQ(shell.GetStatus(), 1);
    // A successful restart from the dialog does not change the status.
    CFakeWindow window;
    SetupDialogProc(window, kDialogInit, 0, reinterpret_cast<std::intptr_t>(&shell));
    const int newPort = FreePort();
    window.items[kPortField] = std::to_string(newPort);
    SetupDialogProc(window, kDialogCommand, kOkButton, 0);
    EXPECT_TRUE(IsListening(newPort));
    EXPECT_EQ(shell.GetStatus(), 1);
    // A second Initialize, now on a free stored port, neither fails on the running server
    // nor leaves it listening twice.
    EXPECT_EQ(shell.Initialize(), 0);
    EXPECT_EQ(shell.GetStatus(), 0);
    shell.Finalize();
    EXPECT_FALSE(IsListening(newPort));
}

TEST(ParsePortField, ReadsLeadingDigitsLikeAtoiAndHoldsOverflow)
{
    EXPECT_EQ(ParsePortField("11200"), 11200);
    EXPECT_EQ(ParsePortField("70000"), 70000);
    EXPECT_EQ(ParsePortField("12abc"), 12);
    EXPECT_EQ(ParsePortField(" +7"), 7);
    EXPECT_EQ(ParsePortField("-7"), -7);
    EXPECT_EQ(ParsePortField(""), 0);
    EXPECT_EQ(ParsePortField("abc"), 0);
    EXPECT_EQ(ParsePortField("2147483647"), 2147483647);
    EXPECT_EQ(ParsePortField("2147483648"), 2147483647);
    EXPECT_EQ(ParsePortField(std::string(127, '9')), 2147483647);
    EXPECT_EQ(ParsePortField("-" + std::string(126, '9')), -2147483647 - 1);
}

namespace {

// Runs the terminal dialog on `input` with a procedure that records the commands it gets.
struct RecordedRun
{
    explicit RecordedRun(const std::string& input)
    {
        std::istringstream in(input);
        CTerminalDialog dialog(in, output);
        result = dialog.Run(&Record, reinterpret_cast<std::intptr_t>(this));
    }
    static std::intptr_t Record(IDialogWindow& window, unsigned message, std::uintptr_t control,
                                std::intptr_t parameter)
    {
        if (message == kDialogInit) {
            window.SetUserData(parameter);
            window.SetItemText(kPortField, "11100");
            return 1;
        }
        auto* run = reinterpret_cast<RecordedRun*>(window.GetUserData());
        run->commands.push_back(std::to_string(control) + ":" +
                                window.GetItemText(kPortField, kPortFieldReadLength));
        window.EndDialog(static_cast<std::intptr_t>(control));
        return 1;
    }

    std::ostringstream output;
    std::vector<std::string> commands;
    std::intptr_t result = 0;
};

} // namespace

TEST(TerminalDialog, DrawsTheControlsAndTurnsLinesIntoCommands)
{
    RecordedRun typed("12000\n");
    EXPECT_EQ(typed.commands, std::vector<std::string>{"1:12000"});
    EXPECT_EQ(typed.result, 1);
    for (const char* text : {"QUILLBOX configuration", "local POP3 port for RSS", "[ 11100]", "OK",
                             "Cancel", "vorlenta.software"})
        EXPECT_NE(typed.output.str().find(text), std::string::npos) << text;

    EXPECT_EQ(RecordedRun("\n").commands, std::vector<std::string>{"1:11100"});
    EXPECT_EQ(RecordedRun(" C \n").commands, std::vector<std::string>{"2:11100"});
    EXPECT_EQ(RecordedRun("").commands, std::vector<std::string>{"2:11100"});
}

TEST(TerminalDialog, RefusesWhatTheDigitsOnlyFieldWouldRefuse)
{
    RecordedRun run("12ab\n-5\ncancel\n");
    EXPECT_EQ(run.commands, std::vector<std::string>{"2:11100"});
    EXPECT_EQ(run.result, 2);
    EXPECT_NE(run.output.str().find("Only digits"), std::string::npos);
}
