// What the torture run counts as an allowed answer of a call, and that a client's tally reaches the
// conductor whole: a wrong rule here would hide a server's fault or invent one.
#include "call_tally.h"

#include <gtest/gtest.h>

namespace {

const HRESULT kUnavailable = HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);

constexpr auto kRunning = CallTally::Server::kRunning, kEnding = CallTally::Server::kEnding,
               kGone = CallTally::Server::kGone;

TEST(CallTallyTest, OnlyTheEndsErrorsAreAllowedWinesFormsOnlyOnceTheEndBeganUnavailableOnlyOnceGone)
{
    EXPECT_EQ(CallTally::Classify("test", S_OK, kRunning), CallTally::kOk);
    EXPECT_EQ(CallTally::Classify("test", E_ABORT, kRunning), CallTally::kAborted);
    EXPECT_EQ(CallTally::Classify("test", RPC_E_DISCONNECTED, kRunning), CallTally::kDisconnected);
    EXPECT_EQ(CallTally::Classify("create", CO_E_SERVER_STOPPING, kRunning), CallTally::kStopping);
    EXPECT_EQ(CallTally::Classify("test", kUnavailable, kGone), CallTally::kUnavailable);
    EXPECT_EQ(CallTally::Classify("test", kUnavailable, kEnding), CallTally::kUnexpected)
        << "a server that still runs and does not answer is a fault";
    EXPECT_EQ(CallTally::Classify("test", HRESULT_FROM_WIN32(RPC_S_CALL_FAILED), kGone), CallTally::kUnavailable);
    EXPECT_EQ(CallTally::Classify("test", HRESULT_FROM_WIN32(RPC_S_CALL_FAILED), kEnding), CallTally::kUnexpected);
    // Wine's answers for a disconnected object and a withdrawn class: faults while no end began.
    EXPECT_EQ(CallTally::Classify("test", HRESULT_FROM_WIN32(RPC_S_UNKNOWN_IF), kEnding), CallTally::kDisconnected);
    EXPECT_EQ(CallTally::Classify("test", HRESULT_FROM_WIN32(RPC_S_UNKNOWN_IF), kRunning), CallTally::kUnexpected);
    EXPECT_EQ(CallTally::Classify("advise", E_NOINTERFACE, kEnding), CallTally::kDisconnected);
    EXPECT_EQ(CallTally::Classify("advise", E_NOINTERFACE, kRunning), CallTally::kUnexpected);
    EXPECT_EQ(CallTally::Classify("test", E_NOINTERFACE, kEnding), CallTally::kUnexpected);
    EXPECT_EQ(CallTally::Classify("create", E_FAIL, kEnding), CallTally::kStopping);
    EXPECT_EQ(CallTally::Classify("create", E_FAIL, kRunning), CallTally::kUnexpected);
    // Wine's class factory proxy answers LockServer with E_NOTIMPL; nothing else may.
    EXPECT_EQ(CallTally::Classify("lock_server", E_NOTIMPL, kRunning), CallTally::kWineStub);
    EXPECT_EQ(CallTally::Classify("test", E_NOTIMPL, kRunning), CallTally::kUnexpected);
}

TEST(CallTallyTest, AClientsTallySurvivesTheFileAndAddsUp)
{
    CallTally client;
    client.Add("test", S_OK, kRunning);
    client.Add("test", RPC_E_DISCONNECTED, kRunning);
    client.Add("create", E_FAIL, kRunning);
    CallTally read = CallTally::Parse(client.Serialize() + "end\n");
    EXPECT_EQ(read.Serialize(), client.Serialize());

    CallTally all;
    all.Merge(read);
    all.Merge(read);
    EXPECT_EQ(all.Calls(), 6);
    EXPECT_EQ(all.Count(CallTally::kOk), 2);
    EXPECT_EQ(all.Unexpected(), 2);
    ASSERT_EQ(all.UnexpectedSamples().size(), 2u);
    EXPECT_EQ(all.UnexpectedSamples()[0], "create=0x80004005");
    EXPECT_EQ(all.ByAction().at("test")[CallTally::kDisconnected], 2);
}

}  // namespace
