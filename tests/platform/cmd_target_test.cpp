// Reference counting, interface lookup, dynamic creation and the framework's threads.
#include "dispatch_probe_target.h"

#include <ole_object_factory.h>
#include <unique_handle.h>
#include <win_thread.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace {

// An object whose hook answers every request for one interface with a foreign pointer.
class CHookedTarget : public CCmdTarget {
public:
    explicit CHookedTarget(IUnknown* pAnswer) : m_pAnswer(pAnswer) { EnableAutomation(); }
    LPUNKNOWN GetInterfaceHook(const void* piid) override
    {
        ++m_nHookCalls;
        return IsEqualIID(*static_cast<const IID*>(piid), IID_IClassFactory) ? m_pAnswer : nullptr;
    }
    IUnknown* m_pAnswer;
    int m_nHookCalls = 0;
};

TEST(CmdTargetTest, StartsWithOneReferenceAndDeletesItselfOnTheLast)
{
    auto* pObject = new CDispatchProbeTarget;
    EXPECT_EQ(CDispatchProbeTarget::s_nLive, 1);
    EXPECT_EQ(pObject->m_dwRef, 1);
    LPDISPATCH pDisp = pObject->GetIDispatch(FALSE);
    EXPECT_EQ(pObject->m_dwRef, 1) << "FALSE adds no reference";
    EXPECT_EQ(pObject->GetIDispatch(TRUE), pDisp);
    EXPECT_EQ(pDisp->AddRef(), 3u);
    IUnknown* pUnk = nullptr;
    ASSERT_EQ(pDisp->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pUnk)), S_OK);
    EXPECT_EQ(pUnk, pDisp) << "one identity";
    EXPECT_EQ(pDisp->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&pUnk)), E_NOINTERFACE);
    EXPECT_EQ(pUnk, nullptr);
    EXPECT_EQ(pDisp->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    for (int i = 0; i < 3; ++i)
        pDisp->Release();
    EXPECT_EQ(CDispatchProbeTarget::s_nLive, 1);
    pDisp->Release();
    EXPECT_EQ(CDispatchProbeTarget::s_nLive, 0);

    // Without automation there is no IDispatch.
    auto* pPlain = new CCmdTarget;
    EXPECT_EQ(pPlain->GetIDispatch(TRUE), nullptr);
    EXPECT_EQ(pPlain->m_dwRef, 1);
    void* pv = nullptr;
    EXPECT_EQ(pPlain->ExternalQueryInterface(&IID_IDispatch, &pv), E_NOINTERFACE);
    pPlain->ExternalRelease();
}

TEST(CmdTargetTest, HookAnswerIsHandedOutUnchangedAndTheObjectGetsTheReference)
{
    auto* pForeign = new CDispatchProbeTarget;
    IUnknown* pAnswer = pForeign->GetIDispatch(FALSE);
    auto* pObject = new CHookedTarget(pAnswer);
    void* pv = nullptr;
    ASSERT_EQ(pObject->ExternalQueryInterface(&IID_IClassFactory, &pv), S_OK);
    EXPECT_EQ(pv, pAnswer);
    EXPECT_EQ(pObject->m_dwRef, 2);
    EXPECT_EQ(pForeign->m_dwRef, 1);
    ASSERT_EQ(pObject->ExternalQueryInterface(&IID_IDispatch, &pv), S_OK);
    EXPECT_EQ(pv, pObject->GetIDispatch(FALSE)) << "a NULL hook falls back to the maps";
    EXPECT_EQ(pObject->m_nHookCalls, 2);
    pObject->ExternalRelease();
    pObject->ExternalRelease();
    pObject->ExternalRelease();
    pForeign->ExternalRelease();
}

TEST(CmdTargetTest, ClassFactoryCreatesThroughTheRuntimeClass)
{
    ASSERT_EQ(CRuntimeClass::FromName("CDispatchProbeTarget"), RUNTIME_CLASS(CDispatchProbeTarget));
    EXPECT_EQ(CRuntimeClass::FromName("NoSuchClass"), nullptr);
    COleObjectFactory factory(CLSID_NULL, RUNTIME_CLASS(CDispatchProbeTarget), FALSE, nullptr);
    IDispatch* pDisp = nullptr;
    ASSERT_EQ(factory.m_xClassFactory.CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&pDisp)), S_OK);
    EXPECT_EQ(CDispatchProbeTarget::s_nLive, 1);
    EXPECT_EQ(pDisp->Release(), 0u) << "the factory dropped the creation reference";
    EXPECT_EQ(CDispatchProbeTarget::s_nLive, 0);

    // A class without a creation function is not available, which is no shortage of memory.
    COleObjectFactory notCreatable(CLSID_NULL, RUNTIME_CLASS(CCmdTarget), FALSE, nullptr);
    EXPECT_EQ(notCreatable.m_xClassFactory.CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&pDisp)),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(pDisp, nullptr);
}

struct ThreadReport {
    DWORD nReported = 0;
    DWORD nActual = 0;
    CUniqueHandle done{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
};

UINT __cdecl ReportThread(LPVOID pParam)
{
    auto* pReport = static_cast<ThreadReport*>(pParam);
    pReport->nReported = AfxGetThread()->m_nThreadID;
    pReport->nActual = GetCurrentThreadId();
    SetEvent(pReport->done.Get());
    return 0;
}

TEST(CmdTargetTest, EveryThreadKnowsItsID)
{
    ThreadReport report;
    ASSERT_NE(AfxBeginThread(&ReportThread, &report), nullptr);
    ASSERT_EQ(WaitForSingleObject(report.done.Get(), 5000), WAIT_OBJECT_0);
    EXPECT_EQ(report.nReported, report.nActual);
    EXPECT_NE(report.nActual, GetCurrentThreadId());

    EXPECT_EQ(AfxGetThread()->m_nThreadID, GetCurrentThreadId());
    DWORD nForeign = 0, nForeignActual = 0;
    std::thread([&] {
        nForeign = AfxGetThread()->m_nThreadID;
        nForeignActual = GetCurrentThreadId();
    }).join();
    EXPECT_EQ(nForeign, nForeignActual);
}

UINT __cdecl ThrowingThread(LPVOID) { throw std::runtime_error("escapes the thread's function"); }

TEST(CmdTargetTest, AnExceptionThatEscapesAThreadFunctionEndsOnlyThatThread)
{
    CWinThread* pThread = AfxBeginThread(&ThrowingThread, nullptr, THREAD_PRIORITY_NORMAL, 0,
                                         CREATE_SUSPENDED);
    ASSERT_NE(pThread, nullptr);
    pThread->m_bAutoDelete = FALSE;
    pThread->ResumeThread();
    ASSERT_EQ(WaitForSingleObject(pThread->m_hThread, 10000), WAIT_OBJECT_0);
    DWORD dwExitCode = 0;
    GetExitCodeThread(pThread->m_hThread, &dwExitCode);
    EXPECT_EQ(dwExitCode, static_cast<DWORD>(-1));
    delete pThread;
}

}  // namespace
