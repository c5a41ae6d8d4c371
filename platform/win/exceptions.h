// The framework's exceptions. They are thrown by value and caught by reference; the framework
// catches whatever escapes a message handler at the window procedure and reports it in a message
// box, so no exception ever unwinds through Windows' own frames.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>

class CException {
public:
    virtual ~CException() = default;
    // The text shown to the user.
    virtual std::string GetErrorMessage() const = 0;
    // The COM status code that describes the failure.
    virtual SCODE GetStatusCode() const = 0;
};

// A failed COM operation, identified by its HRESULT.
class COleException : public CException {
public:
    explicit COleException(SCODE sc) : m_sc(sc) {}
    std::string GetErrorMessage() const override;
    SCODE GetStatusCode() const override { return m_sc; }

    SCODE m_sc;
};

// An automation call that the server answered with an exception (DISP_E_EXCEPTION).
class COleDispatchException : public CException {
public:
    COleDispatchException(std::string description, SCODE sc, WORD wCode)
        : m_strDescription(std::move(description)), m_scError(sc), m_wCode(wCode) {}
    std::string GetErrorMessage() const override;
    SCODE GetStatusCode() const override { return m_scError; }

    std::string m_strDescription;
    SCODE m_scError;
    WORD m_wCode;
};

[[noreturn]] void AfxThrowOleException(SCODE sc);

// The system's text for an HRESULT, or a hexadecimal description when it has none.
std::string AfxFormatHResult(HRESULT hr);

// Inside a catch block: what the exception being handled says, whatever was thrown (the framework's
// exceptions, the standard library's, or a value of any other type), and the status code that
// stands for it. Code that the system calls (window procedures, Invoke, thread entries) catches
// everything and describes it with this: no exception may unwind through the system's frames.
std::string AfxDescribeCurrentException(SCODE* pScode = nullptr);

// Inside a catch block, where nobody can be shown the exception (a worker thread's entry): writes
// it to the debugger's output.
void AfxTraceEscapedException(const char* lpszWhere);

// Inside a catch block: fills an EXCEPINFO for a dispatch caller from the exception being handled.
void AfxFillExcepInfo(EXCEPINFO* pExcepInfo);
