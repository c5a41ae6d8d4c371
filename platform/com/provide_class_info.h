// CProvideClassInfo: IProvideClassInfo2 of an automation object, answered from the type library the
// object's class declares (DECLARE_OLETYPELIB): the coclass's type info, and the IID of its default
// source dispinterface, which a client needs to advise a sink without knowing the class. A class
// adds it with DECLARE_PROVIDECLASSINFO(clsid) in its declaration and two interface map entries:
//
//     INTERFACE_PART(CMyTarget, IID_IProvideClassInfo, ProvideClassInfo)
//     INTERFACE_PART(CMyTarget, IID_IProvideClassInfo2, ProvideClassInfo)
#pragma once
#include <windows.h>
#include <ocidl.h>

class CCmdTarget;

class CProvideClassInfo final : public IProvideClassInfo2 {
public:
    CProvideClassInfo(CCmdTarget* pOwner, const CLSID* pClsid) : m_pOwner(pOwner), m_pClsid(pClsid) {}
    CProvideClassInfo(const CProvideClassInfo&) = delete;
    CProvideClassInfo& operator=(const CProvideClassInfo&) = delete;

    // IUnknown: the object's.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IProvideClassInfo
    STDMETHODIMP GetClassInfo(ITypeInfo** ppTI) override;
    // IProvideClassInfo2: GUIDKIND_DEFAULT_SOURCE_DISP_IID only; E_INVALIDARG for any other kind, and
    // for a class without a default source dispinterface.
    STDMETHODIMP GetGUID(DWORD dwGuidKind, GUID* pGUID) override;

private:
    CCmdTarget* const m_pOwner;
    const CLSID* const m_pClsid;
};

#define DECLARE_PROVIDECLASSINFO(clsid) \
public:                                 \
    CProvideClassInfo m_xProvideClassInfo{this, &(clsid)};
