#include "cmd_target.h"

#include "ole_app.h"
#include "type_lib_cache.h"

#include <cassert>
#include <cwchar>
#include <string>

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)

CCmdTarget::CCmdTarget() : m_dwRef(1), m_xDispatch(this) {}

CCmdTarget::~CCmdTarget()
{
    if (m_nAppLock == EAppLock::Ending)
        AfxOleObjectEnded();  // last: the object's own destruction is done before its server may end
}

void CCmdTarget::TakeAppLock()
{
    if (m_nAppLock == EAppLock::None)
        m_nAppLock = EAppLock::Held;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {nullptr, entries};
    return &map;
}

const AFX_DISPMAP* CCmdTarget::GetDispatchMap() const { return GetThisDispatchMap(); }

const AFX_DISPMAP* CCmdTarget::GetThisDispatchMap()
{
    static const AFX_DISPMAP_ENTRY entries[] = {{nullptr, 0, VT_EMPTY, nullptr, nullptr}};
    static const AFX_DISPMAP map = {nullptr, entries};
    return &map;
}

const AFX_INTERFACEMAP* CCmdTarget::GetInterfaceMap() const { return GetThisInterfaceMap(); }

const AFX_INTERFACEMAP* CCmdTarget::GetThisInterfaceMap()
{
    static const AFX_INTERFACEMAP_ENTRY entries[] = {{nullptr, nullptr}};
    static const AFX_INTERFACEMAP map = {nullptr, entries};
    return &map;
}

const AFX_CONNECTIONMAP* CCmdTarget::GetConnectionMap() const { return GetThisConnectionMap(); }

const AFX_CONNECTIONMAP* CCmdTarget::GetThisConnectionMap()
{
    static const AFX_CONNECTIONMAP_ENTRY entries[] = {{nullptr}};
    static const AFX_CONNECTIONMAP map = {nullptr, entries};
    return &map;
}

const AFX_MSGMAP_ENTRY* AfxFindMessageEntry(const AFX_MSGMAP* pMap, UINT nMessage, UINT nCode, UINT nID)
{
    for (; pMap != nullptr; pMap = pMap->pfnGetBaseMap ? pMap->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* p = pMap->lpEntries; p->pfn != nullptr; ++p) {
            if (p->nMessage != nMessage)
                continue;
            if (nMessage != WM_COMMAND)
                return p;
            if (p->nCode == nCode && nID >= p->nID && nID <= p->nLastID)
                return p;
        }
    }
    return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode, WPARAM wParam, LPARAM lParam)
{
    const AFX_MSGMAP_ENTRY* pEntry =
        AfxFindMessageEntry(GetMessageMap(), WM_COMMAND, static_cast<UINT>(nCode), nID);
    if (pEntry == nullptr)
        return FALSE;
    pEntry->pfn(this, wParam, lParam);
    return TRUE;
}

void CCmdTarget::EnableAutomation() { m_bAutomationEnabled = TRUE; }

void CCmdTarget::EnableDualDispatch(LPDISPATCH pDual, REFIID iid)
{
    m_pDual = pDual;
    m_iidDual = iid;
    m_bAutomationEnabled = TRUE;
}

LPDISPATCH CCmdTarget::GetIDispatch(BOOL bAddRef)
{
    if (!m_bAutomationEnabled)
        return nullptr;
    if (bAddRef)
        InternalAddRef();
    return m_pDual != nullptr ? m_pDual : &m_xDispatch;
}

ULONG CCmdTarget::InternalAddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_dwRef)); }

ULONG CCmdTarget::InternalRelease()
{
    if (m_dwRef == 0) {
        // A reference given back twice: a caller's bug, loud in a debug build. A release build
        // keeps the count at zero rather than wrap it and run the final release again.
        assert(!"CCmdTarget released after its final release");
        return 0;
    }
    LONG lResult = InterlockedDecrement(&m_dwRef);
    if (lResult == 0)
        ReleasePartsAtHome();  // here, in the apartment of the last release, whatever OnFinalRelease defers
    if (lResult == 0 && m_nAppLock == EAppLock::Held) {
        // Given back here, where the last client's release arrives, not at the deferred deletion.
        m_nAppLock = EAppLock::Ending;
        AfxOleObjectEnding();
    }
    if (lResult == 0)
        OnFinalRelease();
    return static_cast<ULONG>(lResult);
}

void CCmdTarget::OnFinalRelease() { delete this; }

void CCmdTarget::EnrollPart(CApartmentPart* pPart)
{
    pPart->m_pNext = m_pFirstPart;
    m_pFirstPart = pPart;
}

void CCmdTarget::WithdrawPart(CApartmentPart* pPart)
{
    for (CApartmentPart** pp = &m_pFirstPart; *pp != nullptr; pp = &(*pp)->m_pNext) {
        if (*pp == pPart) {
            *pp = pPart->m_pNext;
            return;
        }
    }
}

void CCmdTarget::ReleasePartsAtHome()
{
    for (CApartmentPart* p = m_pFirstPart; p != nullptr; p = p->m_pNext)
        p->ReleaseAtHome();
}

LPUNKNOWN CCmdTarget::GetInterfaceHook(const void*) { return nullptr; }

BOOL CCmdTarget::GetDispatchIID(IID*) { return FALSE; }

CTypeLibCache* CCmdTarget::GetTypeLibCache() { return nullptr; }

UINT CCmdTarget::GetTypeInfoCount()
{
    IID iid;
    return GetTypeLibCache() != nullptr && GetDispatchIID(&iid) ? 1 : 0;
}

HRESULT CCmdTarget::GetTypeInfoOfGuid(LCID, REFGUID guid, ITypeInfo** ppTypeInfo)
{
    // One library serves every locale.
    if (ppTypeInfo == nullptr)
        return E_POINTER;
    *ppTypeInfo = nullptr;
    CTypeLibCache* pCache = GetTypeLibCache();
    return pCache != nullptr ? pCache->GetTypeInfoOfGuid(guid, ppTypeInfo) : TYPE_E_ELEMENTNOTFOUND;
}

LPUNKNOWN CCmdTarget::GetInterface(const IID* piid)
{
    if (m_bAutomationEnabled && (IsEqualIID(*piid, IID_IUnknown) || IsEqualIID(*piid, IID_IDispatch)))
        return GetIDispatch(FALSE);
    if (m_pDual != nullptr && IsEqualIID(*piid, m_iidDual))
        return m_pDual;
    const AFX_INTERFACEMAP* pMap = GetInterfaceMap();
    LPUNKNOWN pFirstPart = nullptr;
    for (; pMap != nullptr; pMap = pMap->pfnGetBaseMap ? pMap->pfnGetBaseMap() : nullptr) {
        for (const AFX_INTERFACEMAP_ENTRY* p = pMap->lpEntries; p->piid != nullptr; ++p) {
            LPUNKNOWN pPart = p->pfnGetPart(this);
            if (pFirstPart == nullptr)
                pFirstPart = pPart;
            if (IsEqualIID(*p->piid, *piid))
                return pPart;
        }
    }
    // Without automation, the object's identity is its first mapped part.
    return IsEqualIID(*piid, IID_IUnknown) ? pFirstPart : nullptr;
}

HRESULT CCmdTarget::InternalQueryInterface(const IID* piid, void** ppvObj)
{
    if (ppvObj == nullptr)
        return E_POINTER;
    *ppvObj = nullptr;
    if (piid == nullptr)
        return E_INVALIDARG;
    LPUNKNOWN pUnk = GetInterfaceHook(piid);
    if (pUnk == nullptr)
        pUnk = GetInterface(piid);
    if (pUnk == nullptr)
        return E_NOINTERFACE;
    // The reference for this request belongs to the object, whatever the hook handed out.
    InternalAddRef();
    *ppvObj = pUnk;
    return S_OK;
}

const AFX_DISPMAP_ENTRY* CCmdTarget::FindDispatchEntry(DISPID dispid) const
{
    const AFX_DISPMAP_ENTRY* pFound = nullptr;
    ForEachDispatchEntry([&](const AFX_DISPMAP_ENTRY* p, DISPID id) {
        if (pFound == nullptr && id == dispid)
            pFound = p;
    });
    return pFound;
}

const AFX_DISPMAP_ENTRY* CCmdTarget::FindDispatchEntry(LPCOLESTR lpszName, DISPID* pDispid) const
{
    const AFX_DISPMAP_ENTRY* pFound = nullptr;
    ForEachDispatchEntry([&](const AFX_DISPMAP_ENTRY* p, DISPID id) {
        wchar_t wide[256];
        if (pFound != nullptr || MultiByteToWideChar(CP_ACP, 0, p->lpszName, -1, wide, 256) == 0)
            return;
        if (CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, wide, -1, lpszName, -1) == CSTR_EQUAL) {
            *pDispid = id;
            pFound = p;
        }
    });
    return pFound;
}
