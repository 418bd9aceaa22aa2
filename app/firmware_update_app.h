// The application object: one copy per desktop, the program's folder current
// while the wizard runs, the title of every message box, the wizard run modally.
#pragma once

#include "platform/afx.h"

class CFirmwareUpdateApp : public CWinApp {
public:
    CFirmwareUpdateApp();
    ~CFirmwareUpdateApp() override;

    BOOL InitInstance() override;
    int ExitInstance() override;

    // Current folder at start-up, put back on the way out; empty when unknown.
    char m_szStartDir[MAX_PATH];

private:
    // Brings the running copy's wizard (or the box it shows) to the front.
    void ActivateRunningCopy();
    // Makes the program's own folder current.
    void EnterProgramFolder();
};
