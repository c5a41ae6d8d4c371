// Message maps: a static table per class of (message, notification code, control ID range, handler),
// chained to the base class's table. Handlers are reached through small thunks that cast the target to
// the class that declared the entry, so a table holds plain function pointers.
#pragma once
#include "class_map.h"

#include <windows.h>

class CCmdTarget;

using AFX_MSG_THUNK = LRESULT (*)(CCmdTarget* pTarget, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;  // window message; WM_COMMAND for commands and control notifications
    UINT nCode;     // notification code (WM_COMMAND only)
    UINT nID;       // first control or command ID (WM_COMMAND only)
    UINT nLastID;   // last ID of the range
    AFX_MSG_THUNK pfn;  // nullptr ends the table
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();  // nullptr at the root
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define afx_msg

#define DECLARE_MESSAGE_MAP() AFX_DECLARE_CLASS_MAP(Message, AFX_MSGMAP)
#define BEGIN_MESSAGE_MAP(theClass, baseClass) \
    AFX_BEGIN_CLASS_MAP(Message, AFX_MSGMAP, AFX_MSGMAP_ENTRY, theClass, baseClass)
#define END_MESSAGE_MAP() AFX_END_CLASS_MAP(Message)

#define AFX_THUNK(body) [](CCmdTarget* pTarget, WPARAM wParam, LPARAM lParam) -> LRESULT { \
        (void)wParam; (void)lParam; ThisClass* pThis = static_cast<ThisClass*>(pTarget); body }

#define ON_WM_PAINT() \
    {WM_PAINT, 0, 0, 0, AFX_THUNK(pThis->OnPaint(); return 0;)},
#define ON_WM_SYSCOMMAND() \
    {WM_SYSCOMMAND, 0, 0, 0, AFX_THUNK(pThis->OnSysCommand(static_cast<UINT>(wParam), lParam); return 0;)},
#define ON_WM_QUERYDRAGICON() \
    {WM_QUERYDRAGICON, 0, 0, 0, AFX_THUNK(return reinterpret_cast<LRESULT>(pThis->OnQueryDragIcon());)},
#define ON_MESSAGE(message, memberFxn) \
    {static_cast<UINT>(message), 0, 0, 0, AFX_THUNK(return pThis->memberFxn(wParam, lParam);)},
#define ON_CONTROL(code, id, memberFxn) \
    {WM_COMMAND, static_cast<UINT>(code), static_cast<UINT>(id), static_cast<UINT>(id), \
     AFX_THUNK(pThis->memberFxn(); return 0;)},
#define ON_CONTROL_RANGE(code, idFirst, idLast, memberFxn) \
    {WM_COMMAND, static_cast<UINT>(code), static_cast<UINT>(idFirst), static_cast<UINT>(idLast), \
     AFX_THUNK(pThis->memberFxn(LOWORD(wParam)); return 0;)},
#define ON_COMMAND(id, memberFxn) ON_CONTROL(0, id, memberFxn)
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)

// Finds the entry for a message (and, for WM_COMMAND, its code and ID) in a chain of maps.
const AFX_MSGMAP_ENTRY* AfxFindMessageEntry(const AFX_MSGMAP* pMap, UINT nMessage, UINT nCode, UINT nID);
