#include "own_thread_test_support.h"

#include <marshal_channel.h>
#include <own_thread_system_calls.h>

#include <cmd_target.h>

#include <gtest/gtest.h>

#include <objbase.h>

#include <future>

namespace {

using namespace std::chrono_literals;

// The channel used within the test's own (multithreaded) apartment: unmarshaling there yields the
// object itself, so its reference count shows what the channel did.
class MarshalChannelTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_pObject = new CCmdTarget;
        m_pObject->EnableAutomation();
    }
    void TearDown() override
    {
        COwnThreadSystemCalls::Current() = COwnThreadSystemCalls::Defaults();
        EXPECT_EQ(m_pObject->m_dwRef, 1) << "the channel kept or lost a reference";
        m_pObject->ExternalRelease();
    }
    // Gives the marshal one reference of its own and marshals on another thread.
    std::future<HRESULT> MarshalAsync(CMarshalChannel& channel)
    {
        LPDISPATCH pDisp = m_pObject->GetIDispatch(TRUE);
        return std::async(std::launch::async, [&channel, pDisp] {
            HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            if (FAILED(hr))
                return hr;
            hr = channel.MarshalInterface(pDisp);
            CoUninitialize();
            return hr;
        });
    }
    // Unmarshals and checks that the object came back; drops the reference it came with.
    void ExpectUnmarshalOfObject(CMarshalChannel& channel)
    {
        LPDISPATCH pDisp = nullptr;
        ASSERT_EQ(channel.UnmarshalInterface(&pDisp), S_OK);
        EXPECT_EQ(pDisp, m_pObject->GetIDispatch(FALSE));
        pDisp->Release();
    }

    CCmdTarget* m_pObject = nullptr;
};

TEST_F(MarshalChannelTest, SecondMarshalWaitsForUnmarshalAndEachConsumesOneReference)
{
    CMarshalChannel channel;
    ASSERT_TRUE(channel.IsValid());
    auto first = MarshalAsync(channel);
    ASSERT_EQ(first.wait_for(10s), std::future_status::ready) << "a fresh channel is free";
    ASSERT_EQ(first.get(), S_OK);

    auto second = MarshalAsync(channel);
    EXPECT_EQ(second.wait_for(300ms), std::future_status::timeout);
    ExpectUnmarshalOfObject(channel);
    ASSERT_EQ(second.wait_for(10s), std::future_status::ready) << "the unmarshal frees the channel";
    ASSERT_EQ(second.get(), S_OK);
    // The first round left the stream past its packet: both sides start again at offset 0.
    ExpectUnmarshalOfObject(channel);
}

TEST_F(MarshalChannelTest, FailedUnmarshalReturnsAtOnceAndStillFreesTheChannel)
{
    CMarshalChannel channel;
    ASSERT_EQ(MarshalAsync(channel).get(), S_OK);
    COwnThreadSystemCalls::Current().pfnCoUnmarshalInterface = &FailUnmarshal;
    LPDISPATCH pDisp = nullptr;
    EXPECT_EQ(channel.UnmarshalInterface(&pDisp), E_FAIL);
    COwnThreadSystemCalls::Current() = COwnThreadSystemCalls::Defaults();
    // The packet will never be read: disconnecting makes the stub give the reference back.
    EXPECT_EQ(CoDisconnectObject(m_pObject->GetIDispatch(FALSE), 0), S_OK);
    EXPECT_EQ(m_pObject->m_dwRef, 1);

    auto next = MarshalAsync(channel);
    ASSERT_EQ(next.wait_for(10s), std::future_status::ready);
    ASSERT_EQ(next.get(), S_OK);
    ExpectUnmarshalOfObject(channel);
}

TEST_F(MarshalChannelTest, FailedMarshalKeepsTheReferenceAndNoStreamMeansInvalid)
{
    CMarshalChannel channel;
    COwnThreadSystemCalls::Current().pfnCoMarshalInterface = &FailMarshal;
    EXPECT_EQ(MarshalAsync(channel).get(), E_FAIL);
    EXPECT_EQ(m_pObject->m_dwRef, 2);
    m_pObject->ExternalRelease();

    COwnThreadSystemCalls::Current().pfnCreateStreamOnHGlobal = &FailCreateStream;
    CMarshalChannel noStream;
    EXPECT_FALSE(noStream.IsValid());
}

}  // namespace
