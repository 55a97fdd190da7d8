#pragma once

#include "shell/SetupDialog.h"

#include <istream>
#include <map>
#include <ostream>

// Draws a dialog in a text terminal and runs it modally: the controls are printed as a box,
// and each line the user types is one action. A line of digits is typed into the port field
// and confirms with OK; an empty line is OK with the field as shown; "c" (or "cancel") is
// Cancel; the end of input is Cancel too. Anything else is refused, as the digits-only field
// would refuse it, and asked for again.
class CTerminalDialog : public IDialogWindow
{
public:
    // Does not own the streams.
    CTerminalDialog(std::istream& input, std::ostream& output) : m_input(input), m_output(output) {}

    // Sends kDialogInit with `parameter`, then the user's commands, until the procedure ends
    // the dialog; returns the result it ended with.
    std::intptr_t Run(DialogProcedure procedure, std::intptr_t parameter);

    void SetItemText(int item, const std::string& text) override;
    std::string GetItemText(int item, std::size_t maxLength) override;
    void EndDialog(std::intptr_t result) override;
    void SetUserData(std::intptr_t data) override { m_userData = data; }
    std::intptr_t GetUserData() const override { return m_userData; }

private:
    void Draw();

    std::istream& m_input;
    std::ostream& m_output;
    std::map<int, std::string> m_items;
    std::intptr_t m_userData = 0;
    std::intptr_t m_result = 0;
    bool m_ended = false;
};
