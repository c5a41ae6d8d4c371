// CProgressCtrl: a "msctls_progress32" control. Its default range is 0 to 100 and its step 10.
#pragma once
#include "wnd.h"

#include <commctrl.h>

class CProgressCtrl : public CWnd {
public:
    int SetPos(int nPos) { return static_cast<int>(SendMessage(PBM_SETPOS, nPos, 0)); }
    int StepIt() { return static_cast<int>(SendMessage(PBM_STEPIT, 0, 0)); }
};
