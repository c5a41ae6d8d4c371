// CComVariant: owns one VARIANT. Dispatch handlers return VARIANTs as a CComVariant, so an argument
// that goes back out is a copy and nothing in a handler's signature hands over a raw VARIANT.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <new>

class CComVariant : public tagVARIANT {
public:
    CComVariant() { VariantInit(this); }
    CComVariant(const VARIANT& src) { VariantInit(this); Assign(src); }
    CComVariant(const CComVariant& src) : CComVariant(static_cast<const VARIANT&>(src)) {}
    CComVariant(CComVariant&& src) noexcept : tagVARIANT(src) { src.vt = VT_EMPTY; }
    CComVariant(long n) { VariantInit(this); vt = VT_I4; lVal = n; }
    CComVariant(int n) : CComVariant(static_cast<long>(n)) {}
    CComVariant(double d) { VariantInit(this); vt = VT_R8; dblVal = d; }
    CComVariant(bool b) { VariantInit(this); vt = VT_BOOL; boolVal = b ? VARIANT_TRUE : VARIANT_FALSE; }
    // Copies the text.
    CComVariant(LPCOLESTR psz)
    {
        VariantInit(this);
        vt = VT_BSTR;
        bstrVal = SysAllocString(psz);
        if (bstrVal == nullptr && psz != nullptr)
            throw std::bad_alloc();
    }
    ~CComVariant() { VariantClear(this); }

    CComVariant& operator=(const CComVariant& src)
    {
        if (this != &src)
            Assign(src);
        return *this;
    }
    CComVariant& operator=(CComVariant&& src) noexcept
    {
        if (this != &src) {
            VariantClear(this);
            static_cast<tagVARIANT&>(*this) = src;
            src.vt = VT_EMPTY;
        }
        return *this;
    }

    void Clear() { VariantClear(this); }
    // Hands the value over to *pDest, which must hold nothing that needs freeing.
    void Detach(VARIANT* pDest)
    {
        *pDest = *this;
        vt = VT_EMPTY;
    }
    // A missing optional argument: VT_ERROR with DISP_E_PARAMNOTFOUND.
    bool IsMissing() const { return vt == VT_ERROR && scode == DISP_E_PARAMNOTFOUND; }

private:
    void Assign(const VARIANT& src)
    {
        // A by-reference value stays a reference to the same storage, as VariantCopy makes it.
        HRESULT hr = VariantCopy(this, const_cast<VARIANT*>(&src));
        if (hr == E_OUTOFMEMORY)
            throw std::bad_alloc();
        if (FAILED(hr))
            VariantClear(this);
    }
};
