#include "exceptions.h"

#include "win_app.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <vector>

namespace {

BSTR AllocWide(const std::string& text)
{
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::vector<wchar_t> wide(n > 0 ? n : 1);
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n);
    return SysAllocString(wide.data());
}

}  // namespace

std::string AfxFormatHResult(HRESULT hr)
{
    char* pBuffer = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<LPSTR>(&pBuffer), 0,
                             nullptr);
    std::string text;
    if (n != 0 && pBuffer != nullptr) {
        text.assign(pBuffer, n);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
            text.pop_back();
    }
    if (pBuffer != nullptr)
        LocalFree(pBuffer);
    char code[32];
    std::snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(hr));
    return text.empty() ? std::string("Error ") + code : text + " (" + code + ")";
}

std::string COleException::GetErrorMessage() const { return AfxFormatHResult(m_sc); }

std::string COleDispatchException::GetErrorMessage() const
{
    return m_strDescription.empty() ? AfxFormatHResult(m_scError) : m_strDescription;
}

void AfxThrowOleException(SCODE sc) { throw COleException(sc); }

std::string AfxDescribeCurrentException(SCODE* pScode)
{
    SCODE sc = E_UNEXPECTED;
    std::string text;
    try {
        // cppcheck-suppress rethrowNoCurrentException ; called only from catch blocks
        throw;
    } catch (const CException& e) {
        sc = e.GetStatusCode();
        text = e.GetErrorMessage();
    } catch (const std::bad_alloc&) {
        sc = E_OUTOFMEMORY;
        text = AfxFormatHResult(E_OUTOFMEMORY);
    } catch (const std::exception& e) {
        sc = E_FAIL;
        text = e.what();
    } catch (...) {
        text = "An unexpected error occurred.";
    }
    if (pScode != nullptr)
        *pScode = sc;
    return text;
}

void AfxFillExcepInfo(EXCEPINFO* pExcepInfo)
{
    SCODE sc = E_UNEXPECTED;
    std::string text = AfxDescribeCurrentException(&sc);
    if (pExcepInfo == nullptr)
        return;
    std::memset(pExcepInfo, 0, sizeof(*pExcepInfo));
    // wCode stays 0, so scode must say what failed: never S_OK.
    pExcepInfo->scode = SUCCEEDED(sc) ? E_UNEXPECTED : sc;
    pExcepInfo->bstrSource = AllocWide(AfxGetAppName());
    pExcepInfo->bstrDescription = AllocWide(text);
}

void AfxTraceEscapedException(const char* lpszWhere)
{
    std::string text = std::string(AfxGetAppName()) + ": exception in " + lpszWhere + ": " +
                       AfxDescribeCurrentException() + "\n";
    OutputDebugStringA(text.c_str());
}
