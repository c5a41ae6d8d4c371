// What the own-thread tests share: the one creating thread of the test program, handing an object
// out to the test's thread the way the server's class factory hands it to a client, calls, and
// failing system calls.
#pragma once
#include "creating_thread.h"
#include "thread_probe_target.h"
#include "wait_until.h"

#include <gtest/gtest.h>

#include <functional>

// The creating thread of the whole test program, like the server's single main thread.
CCreatingThread& TheCreatingThread();

// Creates a probe object on the creating thread, asks it for IDispatch there (the proxy when it has
// its own thread), drops the creation reference and hands the interface to the calling thread.
// *ppObject is for inspection while the object lives.
IDispatch* CreateProbe(BOOL bOwnThread, CThreadProbeTarget** ppObject = nullptr);

// Calls a member that returns a long; a failed call fails the test and gives 0.
long CallLong(IDispatch* pDisp, const wchar_t* pszName, long nArg = -1);

// Releases pDisp and waits until every probe object has been deleted.
bool ReleaseAndWaitForDeletion(IDispatch* pDisp);

// Failing stand-ins for the system calls of COwnThreadSystemCalls. The failed stream creation leaves
// garbage behind in *ppStream, which must not count as a stream.
HRESULT WINAPI FailCreateStream(HGLOBAL, BOOL, LPSTREAM* ppStream);
HRESULT WINAPI FailMarshal(LPSTREAM, REFIID, LPUNKNOWN, DWORD, LPVOID, DWORD);
HRESULT WINAPI FailUnmarshal(LPSTREAM, REFIID, LPVOID* ppv);

// The fixture of tests that make probe objects: counters reset before, no probe left alive after.
class ProbeObjectTest : public testing::Test {
protected:
    void SetUp() override { CThreadProbeTarget::ResetCounters(); }
    void TearDown() override { EXPECT_EQ(CThreadProbeTarget::s_nLive, 0); }
};
