// Dispatch maps: a static table per automation class of its members (methods and properties), each
// with its name, DISPID, type and handler, chained to the base class's table. A member without a
// DISPID gets one by its position in its own class's map, counted from 1; the nesting depth of the
// declaring class goes into the high word, so the most derived class's members are 1, 2, ... A class
// that has a type library names every DISPID (the _ID macros), and a test holds map and library
// together.
//
// Types: a parameter string holds one VTS_ code a parameter; the handler's C++ types must take them
// (a mismatch does not compile). Strings and VARIANTs come back by an owning type (CComBSTR,
// CComVariant), objects as a ComPtr, so a handler never hands over a raw allocation.
#pragma once
#include "class_map.h"
#include "com_bstr.h"
#include "com_variant.h"

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <tuple>
#include <type_traits>
#include <utility>

class CCmdTarget;
struct AFX_DISPMAP_ENTRY;

// Calls a handler. pArgs holds the arguments in declaration order, each already converted to its
// parameter's type (by-reference ones point at the caller's storage; a missing optional one is
// VT_ERROR with DISP_E_PARAMNOTFOUND). pResult may be nullptr.
using AFX_DISPATCH_THUNK = void (*)(CCmdTarget* pTarget, const AFX_DISPMAP_ENTRY* pEntry,
                                    VARIANT* pArgs, VARIANT* pResult);

struct AFX_DISPMAP_ENTRY {
    const char* lpszName;   // nullptr ends the table
    long lDispID;           // DISPID_UNKNOWN: numbered by position
    VARTYPE vtReturn;       // a method's result (VT_EMPTY for none), a property's type
    const char* lpszParams; // a method's parameters: one VTS_ code a character, "" for none
    AFX_DISPATCH_THUNK pfn; // the method; a property's get (nullptr: write-only)
    AFX_DISPATCH_THUNK pfnSet = nullptr;  // a property's put (nullptr: read-only)
    bool bProperty = false;
};

struct AFX_DISPMAP {
    const AFX_DISPMAP* (*pfnGetBaseMap)();
    const AFX_DISPMAP_ENTRY* lpEntries;
};

// Parameter codes: the VARTYPE, plus VTS_BYREF_FLAG for by-reference and VTS_OPTIONAL_FLAG for an
// optional VARIANT, which a caller may leave out.
constexpr unsigned char VTS_BYREF_FLAG = 0x40;
constexpr unsigned char VTS_OPTIONAL_FLAG = 0x80;
constexpr unsigned char VTS_TYPE_MASK = 0x3F;

#define VTS_NONE ""
#define VTS_I2 "\x02"
#define VTS_I4 "\x03"
#define VTS_R4 "\x04"
#define VTS_R8 "\x05"
#define VTS_CY "\x06"
#define VTS_DATE "\x07"
#define VTS_BSTR "\x08"
#define VTS_DISPATCH "\x09"
#define VTS_SCODE "\x0A"
#define VTS_BOOL "\x0B"
#define VTS_VARIANT "\x0C"
#define VTS_UNKNOWN "\x0D"
#define VTS_I1 "\x10"
#define VTS_UI1 "\x11"
#define VTS_UI2 "\x12"
#define VTS_UI4 "\x13"
#define VTS_I8 "\x14"
#define VTS_UI8 "\x15"
#define VTS_OPTIONAL_VARIANT "\x8C"
#define VTS_PI2 "\x42"
#define VTS_PI4 "\x43"
#define VTS_PR4 "\x44"
#define VTS_PR8 "\x45"
#define VTS_PCY "\x46"
#define VTS_PDATE "\x47"
#define VTS_PBSTR "\x48"
#define VTS_PSCODE "\x4A"
#define VTS_PBOOL "\x4B"
#define VTS_PVARIANT "\x4C"
#define VTS_PI1 "\x50"
#define VTS_PUI1 "\x51"
#define VTS_PUI2 "\x52"
#define VTS_PUI4 "\x53"
#define VTS_PI8 "\x54"
#define VTS_PUI8 "\x55"

namespace afx_dispatch {

constexpr unsigned Code(VARTYPE vt, unsigned char flags = 0) { return unsigned(vt) | flags; }

// What a C++ parameter, result or property type takes: Accepts(code) for the codes it stands for,
// Load to hold the argument for the call, Pass to hand it to the handler, Store to give a
// by-reference value back, Set to make a result. A type without a specialization is no automation
// type.
template <class T, class = void> struct ArgType {
    static constexpr bool Accepts(unsigned) { return false; }
    static constexpr bool kResult = false;
};

// Numbers and flags: held by value.
template <class T, VARTYPE... Vts> struct ValueType {
    static constexpr bool Accepts(unsigned code) { return ((code == Vts) || ...); }
    static constexpr bool kResult = true;
    using Storage = T;
    static T& Pass(T& value) { return value; }
    static void Store(VARIANT&, T&) {}
};

#define AFX_DISP_VALUE_TYPE(T, VT, FIELD)                                        \
    template <> struct ArgType<T> : ValueType<T, VT> {                           \
        static T Load(VARIANT& v) { return v.FIELD; }                            \
        static void Set(VARIANT* p, VARTYPE, T value) { p->vt = VT; p->FIELD = value; } \
    };
AFX_DISP_VALUE_TYPE(char, VT_I1, cVal)
AFX_DISP_VALUE_TYPE(unsigned char, VT_UI1, bVal)
AFX_DISP_VALUE_TYPE(unsigned short, VT_UI2, uiVal)
AFX_DISP_VALUE_TYPE(unsigned long, VT_UI4, ulVal)
AFX_DISP_VALUE_TYPE(long long, VT_I8, llVal)
AFX_DISP_VALUE_TYPE(unsigned long long, VT_UI8, ullVal)
AFX_DISP_VALUE_TYPE(float, VT_R4, fltVal)
AFX_DISP_VALUE_TYPE(CY, VT_CY, cyVal)
#undef AFX_DISP_VALUE_TYPE

// short: VT_I2, or a VARIANT_BOOL (VT_BOOL), which is a short.
template <> struct ArgType<short> : ValueType<short, VT_I2, VT_BOOL> {
    static short Load(VARIANT& v) { return v.vt == VT_BOOL ? v.boolVal : v.iVal; }
    static void Set(VARIANT* p, VARTYPE vt, short value)
    {
        p->vt = vt;
        if (vt == VT_BOOL) p->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE; else p->iVal = value;
    }
};
// long: VT_I4, or an SCODE (VT_ERROR).
template <> struct ArgType<long> : ValueType<long, VT_I4, VT_ERROR> {
    static long Load(VARIANT& v) { return v.vt == VT_ERROR ? v.scode : v.lVal; }
    static void Set(VARIANT* p, VARTYPE vt, long value)
    {
        p->vt = vt;
        if (vt == VT_ERROR) p->scode = value; else p->lVal = value;
    }
};
// double: VT_R8, or a DATE (which is a double).
template <> struct ArgType<double> : ValueType<double, VT_R8, VT_DATE> {
    static double Load(VARIANT& v) { return v.vt == VT_DATE ? v.date : v.dblVal; }
    static void Set(VARIANT* p, VARTYPE vt, double value)
    {
        p->vt = vt;
        if (vt == VT_DATE) p->date = value; else p->dblVal = value;
    }
};
// BOOL (int) and bool: VT_BOOL, TRUE or FALSE; an int also takes VT_I4.
template <> struct ArgType<int> : ValueType<int, VT_BOOL, VT_I4> {
    static int Load(VARIANT& v) { return v.vt == VT_BOOL ? (v.boolVal != VARIANT_FALSE) : v.lVal; }
    static void Set(VARIANT* p, VARTYPE vt, int value)
    {
        p->vt = vt;
        if (vt == VT_BOOL) p->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE; else p->lVal = value;
    }
};
template <> struct ArgType<bool> : ValueType<bool, VT_BOOL> {
    static bool Load(VARIANT& v) { return v.boolVal != VARIANT_FALSE; }
    static void Set(VARIANT* p, VARTYPE, bool value)
    {
        p->vt = VT_BOOL;
        p->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    }
};

// Borrowed for the call: a BSTR, a VARIANT, an object. The framework owns the argument.
template <> struct ArgType<BSTR> : ValueType<BSTR, VT_BSTR> {
    // cppcheck-suppress duplInheritedMember ; hides ValueType's on purpose: not allowed as a result
    static constexpr bool kResult = false;  // return a CComBSTR: a raw BSTR result hands over ownership
    static BSTR Load(VARIANT& v) { return v.bstrVal; }
};
template <> struct ArgType<VARIANT> {
    static constexpr bool Accepts(unsigned code)
    {
        return code == VT_VARIANT || code == Code(VT_VARIANT, VTS_OPTIONAL_FLAG);
    }
    static constexpr bool kResult = false;  // return a CComVariant
    using Storage = VARIANT*;
    static VARIANT* Load(VARIANT& v) { return &v; }
    static const VARIANT& Pass(VARIANT* p) { return *p; }
    static void Store(VARIANT&, VARIANT*) {}
};
template <class I> struct ObjectType : ValueType<I*, std::is_same_v<I, IDispatch> ? VT_DISPATCH : VT_UNKNOWN> {
    // cppcheck-suppress duplInheritedMember ; hides ValueType's on purpose: not allowed as a result
    static constexpr bool kResult = false;  // return a ComPtr
    static I* Load(VARIANT& v)
    {
        if constexpr (std::is_same_v<I, IDispatch>) return v.pdispVal; else return v.punkVal;
    }
};
template <> struct ArgType<IDispatch*> : ObjectType<IDispatch> {};
template <> struct ArgType<IUnknown*> : ObjectType<IUnknown> {};

// Owned: copies for the call, results handed over.
template <> struct ArgType<CComBSTR> : ValueType<CComBSTR, VT_BSTR> {
    static CComBSTR Load(VARIANT& v) { return CComBSTR(v.bstrVal, SysStringLen(v.bstrVal)); }
    static void Set(VARIANT* p, VARTYPE, CComBSTR value) { p->vt = VT_BSTR; p->bstrVal = value.Detach(); }
};
template <> struct ArgType<CComVariant> {
    static constexpr bool Accepts(unsigned code) { return ArgType<VARIANT>::Accepts(code); }
    static constexpr bool kResult = true;
    using Storage = CComVariant;
    static CComVariant Load(VARIANT& v) { return CComVariant(v); }
    static CComVariant& Pass(CComVariant& value) { return value; }
    static void Store(VARIANT&, CComVariant&) {}
    static void Set(VARIANT* p, VARTYPE, CComVariant value) { value.Detach(p); }
};
template <class I> struct ArgType<Microsoft::WRL::ComPtr<I>>
    : ValueType<Microsoft::WRL::ComPtr<I>, std::is_same_v<I, IDispatch> ? VT_DISPATCH : VT_UNKNOWN> {
    static_assert(std::is_same_v<I, IDispatch> || std::is_same_v<I, IUnknown>,
                  "an object is passed as ComPtr<IDispatch> or ComPtr<IUnknown>");
    static Microsoft::WRL::ComPtr<I> Load(VARIANT& v) { return ObjectType<I>::Load(v); }
    static void Set(VARIANT* p, VARTYPE vt, Microsoft::WRL::ComPtr<I> value)
    {
        p->vt = vt;
        if constexpr (std::is_same_v<I, IDispatch>) p->pdispVal = value.Detach(); else p->punkVal = value.Detach();
    }
};

// By reference: the handler writes through a pointer to the caller's storage, or, for strings and
// VARIANTs, assigns an owning reference whose value goes back when the call returns.
template <class T, VARTYPE... Vts> struct PointerType {
    static constexpr bool Accepts(unsigned code) { return ((code == Code(Vts, VTS_BYREF_FLAG)) || ...); }
    static constexpr bool kResult = false;
    using Storage = T*;
    static T* Load(VARIANT& v) { return static_cast<T*>(v.byref); }
    static T* Pass(T* p) { return p; }
    static void Store(VARIANT&, T*) {}
};
template <> struct ArgType<short*> : PointerType<short, VT_I2, VT_BOOL> {};  // VARIANT_BOOL* too
template <> struct ArgType<long*> : PointerType<long, VT_I4, VT_ERROR> {};
template <> struct ArgType<float*> : PointerType<float, VT_R4> {};
template <> struct ArgType<double*> : PointerType<double, VT_R8, VT_DATE> {};
template <> struct ArgType<CY*> : PointerType<CY, VT_CY> {};
template <> struct ArgType<char*> : PointerType<char, VT_I1> {};
template <> struct ArgType<unsigned char*> : PointerType<unsigned char, VT_UI1> {};
template <> struct ArgType<unsigned short*> : PointerType<unsigned short, VT_UI2> {};
template <> struct ArgType<unsigned long*> : PointerType<unsigned long, VT_UI4> {};
template <> struct ArgType<long long*> : PointerType<long long, VT_I8> {};
template <> struct ArgType<unsigned long long*> : PointerType<unsigned long long, VT_UI8> {};
template <> struct ArgType<CComBSTR&> {
    static constexpr bool Accepts(unsigned code) { return code == Code(VT_BSTR, VTS_BYREF_FLAG); }
    static constexpr bool kResult = false;
    using Storage = CComBSTR;
    static CComBSTR Load(VARIANT& v) { return CComBSTR(*v.pbstrVal, SysStringLen(*v.pbstrVal)); }
    static CComBSTR& Pass(CComBSTR& value) { return value; }
    static void Store(VARIANT& v, CComBSTR& value)
    {
        SysFreeString(*v.pbstrVal);
        *v.pbstrVal = value.Detach();
    }
};
template <> struct ArgType<CComVariant&> {
    static constexpr bool Accepts(unsigned code) { return code == Code(VT_VARIANT, VTS_BYREF_FLAG); }
    static constexpr bool kResult = false;
    using Storage = CComVariant;
    static CComVariant Load(VARIANT& v) { return CComVariant(*v.pvarVal); }
    static CComVariant& Pass(CComVariant& value) { return value; }
    static void Store(VARIANT& v, CComVariant& value)
    {
        VariantClear(v.pvarVal);
        value.Detach(v.pvarVal);
    }
};

// The key under which a handler's parameter type is looked up: const references and values by their
// type, non-const references (by-reference parameters) as they are.
template <class A>
using Key = std::conditional_t<std::is_lvalue_reference_v<A> && !std::is_const_v<std::remove_reference_t<A>>,
                               A, std::remove_cv_t<std::remove_reference_t<A>>>;

template <class R> constexpr bool ResultMatches(VARTYPE vtReturn)
{
    if constexpr (std::is_void_v<R>)
        return vtReturn == VT_EMPTY;
    else
        return vtReturn != VT_EMPTY && ArgType<Key<R>>::kResult && ArgType<Key<R>>::Accepts(vtReturn);
}

template <class... A> constexpr bool ParamsMatch(const char* lpszParams)
{
    constexpr size_t n = sizeof...(A);
    constexpr bool (*accepts[n + 1])(unsigned) = {&ArgType<Key<A>>::Accepts..., nullptr};
    size_t i = 0;
    for (; i < n; ++i)
        if (lpszParams[i] == '\0' || !accepts[i](static_cast<unsigned char>(lpszParams[i])))
            return false;
    return lpszParams[i] == '\0';
}

template <class R> void SetResult(VARIANT* pResult, VARTYPE vt, R&& value)
{
    if (pResult != nullptr)
        ArgType<Key<R>>::Set(pResult, vt, std::forward<R>(value));
}

// Calls pfn with the arguments held for it, gives by-reference values back, and sets the result.
template <class R, class... A> struct Call {
    template <class C, class Pfn, size_t... I>
    static void With(Pfn pfn, C* pThis, const AFX_DISPMAP_ENTRY* pEntry, VARIANT* pArgs, VARIANT* pResult,
                     std::index_sequence<I...>)
    {
        std::tuple<typename ArgType<Key<A>>::Storage...> held{ArgType<Key<A>>::Load(pArgs[I])...};
        if constexpr (std::is_void_v<R>) {
            (pThis->*pfn)(ArgType<Key<A>>::Pass(std::get<I>(held))...);
        } else {
            R result = (pThis->*pfn)(ArgType<Key<A>>::Pass(std::get<I>(held))...);
            SetResult<R>(pResult, pEntry->vtReturn, std::move(result));
        }
        (ArgType<Key<A>>::Store(pArgs[I], std::get<I>(held)), ...);
        (void)pArgs;
    }
};

// A method: its result type and parameter string must describe the handler.
template <class C, class R, class... A> struct MethodOf {
    static constexpr bool Matches(VARTYPE vtReturn, const char* lpszParams)
    {
        return ResultMatches<R>(vtReturn) && ParamsMatch<A...>(lpszParams);
    }
    template <auto Pfn>
    static void Invoke(CCmdTarget* pTarget, const AFX_DISPMAP_ENTRY* pEntry, VARIANT* pArgs, VARIANT* pResult)
    {
        Call<R, A...>::With(Pfn, static_cast<C*>(pTarget), pEntry, pArgs, pResult,
                            std::index_sequence_for<A...>{});
    }
};
template <auto Pfn> struct Method;
template <class C, class R, class... A, R (C::*Pfn)(A...)>
struct Method<Pfn> : MethodOf<C, R, A...> {
    static constexpr AFX_DISPATCH_THUNK pfn = &MethodOf<C, R, A...>::template Invoke<Pfn>;
};
template <class C, class R, class... A, R (C::*Pfn)(A...) const>
struct Method<Pfn> : MethodOf<C, R, A...> {
    static constexpr AFX_DISPATCH_THUNK pfn = &MethodOf<C, R, A...>::template Invoke<Pfn>;
};

template <auto Pfn, bool bMatches> struct CheckedMethod {
    static_assert(bMatches, "DISP_FUNCTION: the result type or the VTS_ parameter string does not match "
                            "the member's C++ signature (strings and VARIANTs are returned as CComBSTR "
                            "and CComVariant, objects as ComPtr)");
    static constexpr AFX_DISPATCH_THUNK pfn = Method<Pfn>::pfn;
};

// A property's get and put. GetNotSupported and SetNotSupported (CCmdTarget's) make it write-only
// or read-only.
struct NotSupported {};
template <auto Pfn> struct PropertyGet {
    static constexpr bool Matches(VARTYPE) { return false; }
};
template <> struct PropertyGet<nullptr> {
    static constexpr bool Matches(VARTYPE) { return true; }
    static constexpr AFX_DISPATCH_THUNK pfn = nullptr;
};
template <class C, class R, R (C::*Pfn)()>
struct PropertyGet<Pfn> : Method<Pfn> {
    static constexpr bool Matches(VARTYPE vt) { return ResultMatches<R>(vt); }
};
template <class C, class R, R (C::*Pfn)() const>
struct PropertyGet<Pfn> : Method<Pfn> {
    static constexpr bool Matches(VARTYPE vt) { return ResultMatches<R>(vt); }
};
template <auto Pfn> struct PropertyPut {
    static constexpr bool Matches(VARTYPE) { return false; }
};
template <> struct PropertyPut<nullptr> {
    static constexpr bool Matches(VARTYPE) { return true; }
    static constexpr AFX_DISPATCH_THUNK pfn = nullptr;
};
template <class C, class A, void (C::*Pfn)(A)>
struct PropertyPut<Pfn> : Method<Pfn> {
    static constexpr bool Matches(VARTYPE vt) { return vt != VT_EMPTY && ArgType<Key<A>>::Accepts(vt); }
};

template <auto Get, auto Put, bool bMatches> struct CheckedProperty {
    static_assert(bMatches, "DISP_PROPERTY_EX: the property's type does not match its get (T Get()) or "
                            "its put (void Set(T)), or it has neither (strings and VARIANTs are returned "
                            "as CComBSTR and CComVariant, objects as ComPtr)");
    static constexpr AFX_DISPATCH_THUNK kGet = PropertyGet<Get>::pfn;
    static constexpr AFX_DISPATCH_THUNK kPut = PropertyPut<Put>::pfn;
};

// A member variable exposed as a read-write property.
template <auto Pm> struct MemberProperty;
template <class C, class M, M C::*Pm>
struct MemberProperty<Pm> {
    static constexpr bool Matches(VARTYPE vt)
    {
        return vt != VT_EMPTY && ArgType<M>::kResult && ArgType<M>::Accepts(vt);
    }
    static void Get(CCmdTarget* pTarget, const AFX_DISPMAP_ENTRY* pEntry, VARIANT*, VARIANT* pResult)
    {
        SetResult<M>(pResult, pEntry->vtReturn, M(static_cast<C*>(pTarget)->*Pm));
    }
    static void Put(CCmdTarget* pTarget, const AFX_DISPMAP_ENTRY*, VARIANT* pArgs, VARIANT*)
    {
        typename ArgType<M>::Storage held = ArgType<M>::Load(pArgs[0]);
        static_cast<C*>(pTarget)->*Pm = ArgType<M>::Pass(held);
    }
};
template <auto Pm, bool bMatches> struct CheckedMemberProperty {
    static_assert(bMatches, "DISP_PROPERTY: the member's type does not match the property's type "
                            "(a string member is a CComBSTR, a VARIANT member a CComVariant)");
    static constexpr AFX_DISPATCH_THUNK kGet = &MemberProperty<Pm>::Get;
    static constexpr AFX_DISPATCH_THUNK kPut = &MemberProperty<Pm>::Put;
};

// The handler named in a property macro: nullptr for GetNotSupported / SetNotSupported.
template <class C, class P> constexpr auto Handler(P pfn)
{
    if constexpr (std::is_same_v<P, NotSupported (*)()>)
        return nullptr;
    else
        return pfn;
}

}  // namespace afx_dispatch

// For a handler that takes a VARIANT and finds it of no use: the call fails as if the framework had
// refused the argument (DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW, ...), with the argument's index for
// the caller. nParam counts the handler's parameters from 0.
struct CDispatchArgumentError {
    HRESULT hr;
    UINT nParam;
};
[[noreturn]] void AfxThrowArgumentError(HRESULT hr, UINT nParam);
// The argument as the type vt, converted as automation converts, in the locale of the call that
// runs (its lcid); a failure is the argument's error.
CComVariant AfxChangeArgumentType(const VARIANT& arg, VARTYPE vt, UINT nParam);

#define DECLARE_DISPATCH_MAP() AFX_DECLARE_CLASS_MAP(Dispatch, AFX_DISPMAP)
#define BEGIN_DISPATCH_MAP(theClass, baseClass) \
    AFX_BEGIN_CLASS_MAP(Dispatch, AFX_DISPMAP, AFX_DISPMAP_ENTRY, theClass, baseClass)
#define END_DISPATCH_MAP() AFX_END_CLASS_MAP(Dispatch)

// A method: DISP_FUNCTION(CMyClass, "Name", Handler, VT_I4, VTS_BSTR VTS_OPTIONAL_VARIANT).
#define DISP_FUNCTION(theClass, szExternalName, pfnMember, vtRetVal, vtsParams) \
    DISP_FUNCTION_ID(theClass, szExternalName, DISPID_UNKNOWN, pfnMember, vtRetVal, vtsParams)

#define DISP_FUNCTION_ID(theClass, szExternalName, dispid, pfnMember, vtRetVal, vtsParams)        \
    {szExternalName, dispid, vtRetVal, vtsParams,                                                  \
     afx_dispatch::CheckedMethod<&theClass::pfnMember, afx_dispatch::Method<&theClass::pfnMember>:: \
                                                           Matches(vtRetVal, vtsParams)>::pfn},

// A property with a get (T Get()) and a put (void Set(T)); GetNotSupported or SetNotSupported in
// place of one makes it write-only or read-only.
#define DISP_PROPERTY_EX(theClass, szExternalName, pfnGet, pfnSet, vtPropType) \
    DISP_PROPERTY_EX_ID(theClass, szExternalName, DISPID_UNKNOWN, pfnGet, pfnSet, vtPropType)

#define DISP_PROPERTY_EX_ID(theClass, szExternalName, dispid, pfnGet, pfnSet, vtPropType)          \
    {szExternalName, dispid, vtPropType, "",                                                        \
     afx_dispatch::CheckedProperty<                                                                 \
         afx_dispatch::Handler<theClass>(&theClass::pfnGet),                                        \
         afx_dispatch::Handler<theClass>(&theClass::pfnSet),                                        \
         afx_dispatch::PropertyGet<afx_dispatch::Handler<theClass>(&theClass::pfnGet)>::Matches(vtPropType) && \
             afx_dispatch::PropertyPut<afx_dispatch::Handler<theClass>(&theClass::pfnSet)>::Matches(vtPropType) && \
             !std::is_same_v<decltype(&theClass::pfnGet), decltype(&theClass::pfnSet)>>::kGet,    \
     afx_dispatch::CheckedProperty<afx_dispatch::Handler<theClass>(&theClass::pfnGet),              \
                                   afx_dispatch::Handler<theClass>(&theClass::pfnSet), true>::kPut, \
     true},

// A member variable as a read-write property.
#define DISP_PROPERTY(theClass, szExternalName, memberName, vtPropType) \
    DISP_PROPERTY_ID(theClass, szExternalName, DISPID_UNKNOWN, memberName, vtPropType)

#define DISP_PROPERTY_ID(theClass, szExternalName, dispid, memberName, vtPropType)                   \
    {szExternalName, dispid, vtPropType, "",                                                         \
     afx_dispatch::CheckedMemberProperty<&theClass::memberName, afx_dispatch::MemberProperty<       \
                                             &theClass::memberName>::Matches(vtPropType)>::kGet,   \
     afx_dispatch::CheckedMemberProperty<&theClass::memberName, true>::kPut, true},
