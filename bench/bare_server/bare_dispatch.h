// The bare server's object: an IDispatch whose every call returns at once. It stands for what COM
// itself costs, with nothing of ours in the way. A timed object's "Test" waits as a QDSERVER
// object's does: ten 600 ms steps while it is one of the first eight alive (QDSERVER's bars), one
// 600 ms wait past them.
#pragma once
#include <windows.h>
#include <oaidl.h>

class CBareDispatch final : public IDispatch {
public:
    explicit CBareDispatch(bool bTimedTest = false);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                               DISPID* rgDispId) override;
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

private:
    ~CBareDispatch();
    LONG m_nRefs;
    bool m_bHoldsSlot = false;  // one of the eight "bars"
    int m_nSteps = 0;           // of "Test"
};
