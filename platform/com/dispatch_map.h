// Dispatch maps: a static table per automation class of (member name, DISPID, result type, parameter
// types, handler), chained to the base class's table. A member without a DISPID gets one by its
// position in its own class's map, counted from 1; the nesting depth of the declaring class goes into
// the high word, so the most derived class's members are 1, 2, ...
#pragma once
#include "class_map.h"

#include <windows.h>
#include <oleauto.h>

#include <tuple>
#include <utility>

class CCmdTarget;

// Calls a handler with arguments already counted; converts them and the result.
using AFX_DISPATCH_THUNK = HRESULT (*)(CCmdTarget* pTarget, DISPPARAMS* pParams, VARIANT* pResult,
                                       UINT* puArgErr);

struct AFX_DISPMAP_ENTRY {
    const char* lpszName;   // nullptr ends the table
    long lDispID;           // DISPID_UNKNOWN: numbered by position
    VARTYPE vtReturn;       // VT_EMPTY for none
    const char* lpszParams; // one VARTYPE a character (VTS_...), "" for none
    AFX_DISPATCH_THUNK pfn;
};

struct AFX_DISPMAP {
    const AFX_DISPMAP* (*pfnGetBaseMap)();
    const AFX_DISPMAP_ENTRY* lpEntries;
};

#define VTS_NONE ""
#define VTS_I2 "\x02"
#define VTS_I4 "\x03"
#define VTS_R8 "\x05"
#define VTS_BSTR "\x08"

namespace afx_dispatch {

template <class T> struct ArgType;
template <> struct ArgType<short> {
    static constexpr VARTYPE vt = VT_I2;
    static short Get(const VARIANT& v) { return v.iVal; }
};
template <> struct ArgType<long> {
    static constexpr VARTYPE vt = VT_I4;
    static long Get(const VARIANT& v) { return v.lVal; }
};
template <> struct ArgType<double> {
    static constexpr VARTYPE vt = VT_R8;
    static double Get(const VARIANT& v) { return v.dblVal; }
};
template <> struct ArgType<BSTR> {
    static constexpr VARTYPE vt = VT_BSTR;
    static BSTR Get(const VARIANT& v) { return v.bstrVal; }
};

template <class R> constexpr VARTYPE ResultType()
{
    if constexpr (std::is_void_v<R>)
        return VT_EMPTY;
    else
        return ArgType<R>::vt;
}

// Whether a map entry's result type and parameter string (VTS_...) describe the handler's signature.
template <auto Pfn> struct Signature;
template <class C, class R, class... A, R (C::*Pfn)(A...)>
struct Signature<Pfn> {
    static constexpr bool Matches(VARTYPE vtReturn, const char* lpszParams)
    {
        constexpr VARTYPE types[] = {ArgType<A>::vt..., VT_EMPTY};
        if (vtReturn != ResultType<R>())
            return false;
        size_t i = 0;
        for (; i < sizeof...(A); ++i)
            if (static_cast<unsigned char>(lpszParams[i]) != types[i])  // the string's end included
                return false;
        return lpszParams[i] == '\0';
    }
};

inline void SetResult(VARIANT* p, short v) { p->vt = VT_I2; p->iVal = v; }
inline void SetResult(VARIANT* p, long v) { p->vt = VT_I4; p->lVal = v; }
inline void SetResult(VARIANT* p, double v) { p->vt = VT_R8; p->dblVal = v; }
inline void SetResult(VARIANT* p, BSTR v) { p->vt = VT_BSTR; p->bstrVal = v; }

// Owns the converted copies of the arguments for the length of one call.
template <size_t N> struct ConvertedArgs {
    VARIANT v[N > 0 ? N : 1];
    ConvertedArgs() { for (auto& x : v) VariantInit(&x); }
    ~ConvertedArgs() { for (auto& x : v) VariantClear(&x); }
};

template <auto Pfn> struct Thunk;

template <class C, class R, class... A, R (C::*Pfn)(A...)>
struct Thunk<Pfn> {
    static HRESULT Call(CCmdTarget* pTarget, DISPPARAMS* pParams, VARIANT* pResult, UINT* puArgErr)
    {
        return CallWith(pTarget, pParams, pResult, puArgErr, std::index_sequence_for<A...>{});
    }

private:
    template <size_t... I>
    static HRESULT CallWith(CCmdTarget* pTarget, DISPPARAMS* pParams, VARIANT* pResult,
                            UINT* puArgErr, std::index_sequence<I...>)
    {
        constexpr size_t n = sizeof...(A);
        ConvertedArgs<n> args;
        constexpr VARTYPE types[n > 0 ? n : 1] = {ArgType<A>::vt...};
        for (size_t i = 0; i < n; ++i) {
            // The caller's arguments arrive last first.
            VARIANT* pSource = &pParams->rgvarg[n - 1 - i];
            if (FAILED(VariantChangeType(&args.v[i], pSource, 0, types[i]))) {
                if (puArgErr)
                    *puArgErr = static_cast<UINT>(n - 1 - i);
                return DISP_E_TYPEMISMATCH;
            }
        }
        C* pThis = static_cast<C*>(pTarget);
        if constexpr (std::is_void_v<R>) {
            (pThis->*Pfn)(ArgType<A>::Get(args.v[I])...);
        } else {
            R result = (pThis->*Pfn)(ArgType<A>::Get(args.v[I])...);
            if (pResult)
                SetResult(pResult, result);
            else if constexpr (std::is_same_v<R, BSTR>)
                SysFreeString(result);
        }
        return S_OK;
    }
};

// The entry's thunk, once the entry is known to describe its handler: a mismatch does not compile.
template <auto Pfn, bool bMatches> struct CheckedThunk {
    static_assert(bMatches, "DISP_FUNCTION: the result type or the VTS_ parameter string does not match "
                            "the member's C++ signature");
    static constexpr AFX_DISPATCH_THUNK pfn = &Thunk<Pfn>::Call;
};

}  // namespace afx_dispatch

#define DECLARE_DISPATCH_MAP() AFX_DECLARE_CLASS_MAP(Dispatch, AFX_DISPMAP)
#define BEGIN_DISPATCH_MAP(theClass, baseClass) \
    AFX_BEGIN_CLASS_MAP(Dispatch, AFX_DISPMAP, AFX_DISPMAP_ENTRY, theClass, baseClass)
#define END_DISPATCH_MAP() AFX_END_CLASS_MAP(Dispatch)

#define DISP_FUNCTION(theClass, szExternalName, pfnMember, vtRetVal, vtsParams) \
    DISP_FUNCTION_ID(theClass, szExternalName, DISPID_UNKNOWN, pfnMember, vtRetVal, vtsParams)

#define DISP_FUNCTION_ID(theClass, szExternalName, dispid, pfnMember, vtRetVal, vtsParams)        \
    {szExternalName, dispid, vtRetVal, vtsParams,                                                  \
     afx_dispatch::CheckedThunk<&theClass::pfnMember, afx_dispatch::Signature<&theClass::pfnMember>:: \
                                                          Matches(vtRetVal, vtsParams)>::pfn},
