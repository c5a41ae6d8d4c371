// COleDispatchDriver: the client side of automation. It holds one IDispatch, calls members by
// DISPID, turns failures into the framework's exceptions, and releases the object when destroyed.
#pragma once
#include "exceptions.h"

#include <oaidl.h>

class COleDispatchDriver {
public:
    COleDispatchDriver() = default;
    explicit COleDispatchDriver(LPDISPATCH lpDispatch, BOOL bAutoRelease = TRUE);
    ~COleDispatchDriver();
    COleDispatchDriver(const COleDispatchDriver&) = delete;
    COleDispatchDriver& operator=(const COleDispatchDriver&) = delete;

    // Creates an object of the class named by its ProgID and takes its IDispatch. FALSE when the
    // class is unknown or cannot be created (pError, if given, receives the reason).
    BOOL CreateDispatch(LPCSTR lpszProgID, COleException* pError = nullptr);
    BOOL CreateDispatch(REFCLSID clsid, COleException* pError = nullptr);

    void AttachDispatch(LPDISPATCH lpDispatch, BOOL bAutoRelease = TRUE);
    void ReleaseDispatch();

    // Calls member dwDispID. pbParamInfo lists the arguments' types (VTS_...), which follow as
    // variadic arguments (short, long, double, or LPCOLESTR for VTS_BSTR); vtRet names the type that
    // pvRet points to (VT_EMPTY: no result). Throws COleDispatchException when the member raised
    // an exception, COleException for any other failure.
    void InvokeHelper(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void* pvRet, const char* pbParamInfo, ...);

    LPDISPATCH m_lpDispatch = nullptr;
    BOOL m_bAutoRelease = TRUE;
};
