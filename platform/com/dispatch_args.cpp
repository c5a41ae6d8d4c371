#include "dispatch_args.h"

#include "exceptions.h"

#include <oleauto.h>

void CDispatchArgs::Clear()
{
    for (VARIANT& v : m_args)
        VariantClear(&v);
}

void CDispatchArgs::Set(VARIANT& v, long n)
{
    v.vt = VT_I4;
    v.lVal = n;
}

void CDispatchArgs::Set(VARIANT& v, double d)
{
    v.vt = VT_R8;
    v.dblVal = d;
}

void CDispatchArgs::Set(VARIANT& v, bool b)
{
    v.vt = VT_BOOL;
    v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
}

void CDispatchArgs::Set(VARIANT& v, const wchar_t* psz)
{
    BSTR bstr = SysAllocString(psz != nullptr ? psz : L"");
    if (bstr == nullptr)
        AfxThrowOleException(E_OUTOFMEMORY);  // the arguments set so far are freed by the destructor
    v.vt = VT_BSTR;
    v.bstrVal = bstr;
}

void CDispatchArgs::Set(VARIANT& v, IDispatch* pDispatch)
{
    v.vt = VT_DISPATCH;
    v.pdispVal = pDispatch;
    if (pDispatch != nullptr)
        pDispatch->AddRef();
}

void CDispatchArgs::Set(VARIANT& v, const VARIANT& value)
{
    HRESULT hr = VariantCopy(&v, const_cast<VARIANT*>(&value));
    if (FAILED(hr))
        AfxThrowOleException(hr);
}
