#include "mistakes.h"

#include <windows.h>

#include <atomic>
#include <cassert>
#include <string>

namespace {
std::atomic<AFX_MISTAKE_HANDLER> g_pfnHandler{nullptr};
}

void AfxReportMistake(const char* lpszText)
{
    if (AFX_MISTAKE_HANDLER pfn = g_pfnHandler.load()) {
        pfn(lpszText);
        return;
    }
    OutputDebugStringA(("QD mistake: " + std::string(lpszText) + "\n").c_str());
    assert(!"a mistake in using the framework: see the debugger output");
}

AFX_MISTAKE_HANDLER AfxSetMistakeHandler(AFX_MISTAKE_HANDLER pfnHandler)
{
    return g_pfnHandler.exchange(pfnHandler);
}
