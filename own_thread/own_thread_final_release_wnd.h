// The hidden window through which an own-thread object's final release travels back to the thread
// that created it. It is created by its constructor, on that thread, so its messages are handled there.
#pragma once
#include <wnd.h>

class COwnThreadEngine;

#define WM_OWNTHREAD_FINALRELEASE (WM_USER + 1)

class COwnThreadFinalReleaseWnd : public CWnd {
public:
    explicit COwnThreadFinalReleaseWnd(COwnThreadEngine* pOwner);

    COwnThreadEngine* m_pOwner;

protected:
    afx_msg LRESULT OnFinalReleaseMessage(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()
};
