#include "bare_dispatch.h"

namespace {

const int kSlots = 8;
const DWORD kStepMs = 600;
const int kStepsWithSlot = 10;
LONG g_nSlotsHeld = 0;

}  // namespace

CBareDispatch::CBareDispatch(bool bTimedTest) : m_nRefs(1)
{
    if (!bTimedTest)
        return;
    m_bHoldsSlot = InterlockedIncrement(&g_nSlotsHeld) <= kSlots;
    if (!m_bHoldsSlot)
        InterlockedDecrement(&g_nSlotsHeld);
    m_nSteps = m_bHoldsSlot ? kStepsWithSlot : 1;
}

CBareDispatch::~CBareDispatch()
{
    if (m_bHoldsSlot)
        InterlockedDecrement(&g_nSlotsHeld);
}

STDMETHODIMP CBareDispatch::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv == nullptr)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CBareDispatch::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_nRefs)); }

STDMETHODIMP_(ULONG) CBareDispatch::Release()
{
    LONG nRefs = InterlockedDecrement(&m_nRefs);
    if (nRefs == 0)
        delete this;
    return static_cast<ULONG>(nRefs);
}

STDMETHODIMP CBareDispatch::GetTypeInfoCount(UINT* pctinfo)
{
    if (pctinfo == nullptr)
        return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

STDMETHODIMP CBareDispatch::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo)
{
    if (ppTInfo != nullptr)
        *ppTInfo = nullptr;
    return DISP_E_BADINDEX;
}

STDMETHODIMP CBareDispatch::GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId)
{
    if (rgszNames == nullptr || rgDispId == nullptr)
        return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < cNames; ++i) {
        // The one name the demo object has too, so a look-up by name costs the same.
        if (i == 0 && rgszNames[0] != nullptr && lstrcmpiW(rgszNames[0], L"Test") == 0) {
            rgDispId[0] = 1;
        } else {
            rgDispId[i] = DISPID_UNKNOWN;
            hr = DISP_E_UNKNOWNNAME;
        }
    }
    return hr;
}

STDMETHODIMP CBareDispatch::Invoke(DISPID dispIdMember, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* pVarResult,
                                   EXCEPINFO*, UINT*)
{
    if (dispIdMember != 1)
        return DISP_E_MEMBERNOTFOUND;
    if (pVarResult != nullptr)
        VariantInit(pVarResult);
    for (int i = 0; i < m_nSteps; ++i)
        Sleep(kStepMs);
    return S_OK;
}
