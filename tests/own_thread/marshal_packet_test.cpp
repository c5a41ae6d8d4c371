// The packet used within the test's own (multithreaded) apartment: unmarshaling there yields the
// object itself, so its reference count shows what the packet holds and gives back.
#include "own_thread_test_support.h"

#include <marshal_packet.h>
#include <own_thread_system_calls.h>

#include <cmd_target.h>

#include <gtest/gtest.h>

#include <objbase.h>

namespace {

class MarshalPacketTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_pObject = new CCmdTarget;
        m_pObject->EnableAutomation();
    }
    void TearDown() override
    {
        COwnThreadSystemCalls::Current() = COwnThreadSystemCalls::Defaults();
        EXPECT_EQ(m_pObject->m_dwRef, 1) << "a packet kept or lost a reference";
        m_pObject->ExternalRelease();
    }
    IDispatch* Object() const { return m_pObject->GetIDispatch(FALSE); }

    CCmdTarget* m_pObject = nullptr;
};

TEST_F(MarshalPacketTest, APacketIsTakenOnceAndOneNeverTakenGivesItsReferencesBack)
{
    CMarshalPacket packet;
    ASSERT_EQ(packet.Marshal(Object(), IID_IDispatch, MSHCTX_INPROC), S_OK);
    EXPECT_GT(m_pObject->m_dwRef, 1) << "the stub holds the object for the packet";
    IDispatch* pDisp = nullptr;
    ASSERT_EQ(packet.Unmarshal(IID_IDispatch, reinterpret_cast<void**>(&pDisp)), S_OK);
    EXPECT_EQ(pDisp, Object());
    pDisp->Release();
    EXPECT_TRUE(packet.IsEmpty());
    EXPECT_EQ(packet.Unmarshal(IID_IDispatch, reinterpret_cast<void**>(&pDisp)), E_UNEXPECTED);

    // Never taken: given back by Discard, or by the packet's end.
    ASSERT_EQ(packet.Marshal(Object(), IID_IDispatch, MSHCTX_INPROC), S_OK);
    packet.Discard();
    EXPECT_EQ(m_pObject->m_dwRef, 1);
    {
        CMarshalPacket forClient;
        ASSERT_EQ(forClient.Marshal(Object(), IID_IUnknown, MSHCTX_LOCAL), S_OK);
        // It stands for COM's own marshal of the same interface, normal, for this or another process.
        EXPECT_TRUE(forClient.CanStandFor(IID_IUnknown, MSHCTX_LOCAL, MSHLFLAGS_NORMAL));
        EXPECT_TRUE(forClient.CanStandFor(IID_IUnknown, MSHCTX_INPROC, MSHLFLAGS_NORMAL));
        EXPECT_FALSE(forClient.CanStandFor(IID_IDispatch, MSHCTX_LOCAL, MSHLFLAGS_NORMAL));
        EXPECT_FALSE(forClient.CanStandFor(IID_IUnknown, MSHCTX_LOCAL, MSHLFLAGS_TABLESTRONG));
        EXPECT_FALSE(forClient.CanStandFor(IID_IUnknown, MSHCTX_DIFFERENTMACHINE, MSHLFLAGS_NORMAL));
        CMarshalPacket moved(std::move(forClient));
        EXPECT_TRUE(forClient.IsEmpty());  // NOLINT(bugprone-use-after-move): a moved packet is empty
        EXPECT_FALSE(moved.IsEmpty());
    }
}

TEST_F(MarshalPacketTest, FailuresLeaveNoPacketAndNoReference)
{
    CMarshalPacket packet;
    COwnThreadSystemCalls::Current().pfnCoMarshalInterface = &FailMarshal;
    EXPECT_EQ(packet.Marshal(Object(), IID_IDispatch, MSHCTX_INPROC), E_FAIL);
    EXPECT_TRUE(packet.IsEmpty());
    COwnThreadSystemCalls::Current() = COwnThreadSystemCalls::Defaults();
    COwnThreadSystemCalls::Current().pfnCreateStreamOnHGlobal = &FailCreateStream;
    EXPECT_EQ(packet.Marshal(Object(), IID_IDispatch, MSHCTX_INPROC), E_OUTOFMEMORY);
    EXPECT_TRUE(packet.IsEmpty());
    COwnThreadSystemCalls::Current() = COwnThreadSystemCalls::Defaults();

    // A packet that cannot be unmarshaled is taken all the same, its references given back.
    ASSERT_EQ(packet.Marshal(Object(), IID_IDispatch, MSHCTX_INPROC), S_OK);
    COwnThreadSystemCalls::Current().pfnCoUnmarshalInterface = &FailUnmarshal;
    IDispatch* pDisp = nullptr;
    EXPECT_EQ(packet.Unmarshal(IID_IDispatch, reinterpret_cast<void**>(&pDisp)), E_FAIL);
    EXPECT_TRUE(packet.IsEmpty());
}

}  // namespace
