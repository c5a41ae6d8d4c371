// Leads demo objects to the board (the main dialog) while it runs, and to nothing once it has
// closed. Objects and calls can outlive the dialog: the process ends under them. A use holds the
// board for one operation; closing waits until no use is running, so no object ever reaches a
// destroyed dialog.
#pragma once

class CServerDlg;

class CBoardUse {
public:
    CBoardUse();   // fetches the application's main window anew
    ~CBoardUse();
    CBoardUse(const CBoardUse&) = delete;
    CBoardUse& operator=(const CBoardUse&) = delete;

    explicit operator bool() const { return m_pBoard != nullptr; }
    CServerDlg* operator->() const { return m_pBoard; }

    // On the main thread once the dialog has closed and before it is destroyed: no use starts from
    // now on, and the uses still running are waited for (sent messages are served meanwhile).
    static void CloseBoard();

private:
    CServerDlg* m_pBoard;
};
