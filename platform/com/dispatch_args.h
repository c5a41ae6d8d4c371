// CDispatchArgs: the arguments of one automation call made from C++ values, as DISPPARAMS hold
// them (the last first), and freed with it. A value is a long or int (VT_I4), a double (VT_R8), a
// bool (VT_BOOL), a wide string (VT_BSTR), an IDispatch* (VT_DISPATCH, with a reference of the
// arguments' own) or a VARIANT (copied):
//
//     CDispatchArgs args(m_nTotal, L"done");
//     pSink->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, args.Params(), ...);
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <string>
#include <vector>

class CDispatchArgs {
public:
    template <class... Args>
    explicit CDispatchArgs(const Args&... args) : m_args(sizeof...(Args))
    {
        size_t i = sizeof...(Args);
        try {
            (Set(m_args[--i], args), ...);  // left to right, so the first argument lands last
        } catch (...) {
            Clear();  // no destructor runs for an object whose constructor throws
            throw;
        }
        m_params.rgvarg = m_args.empty() ? nullptr : m_args.data();
        m_params.cArgs = static_cast<UINT>(m_args.size());
    }
    ~CDispatchArgs() { Clear(); }
    CDispatchArgs(const CDispatchArgs&) = delete;
    CDispatchArgs& operator=(const CDispatchArgs&) = delete;

    VARIANT* Data() { return m_params.rgvarg; }
    UINT Count() const { return m_params.cArgs; }
    DISPPARAMS* Params() { return &m_params; }

private:
    void Clear();
    static void Set(VARIANT& v, long n);
    static void Set(VARIANT& v, int n) { Set(v, static_cast<long>(n)); }
    static void Set(VARIANT& v, double d);
    static void Set(VARIANT& v, bool b);
    static void Set(VARIANT& v, const wchar_t* psz);
    static void Set(VARIANT& v, const std::wstring& s) { Set(v, s.c_str()); }
    static void Set(VARIANT& v, IDispatch* pDispatch);
    static void Set(VARIANT& v, const VARIANT& value);

    std::vector<VARIANT> m_args;  // zeroed: VT_EMPTY until set
    DISPPARAMS m_params = {nullptr, nullptr, 0, 0};
};
