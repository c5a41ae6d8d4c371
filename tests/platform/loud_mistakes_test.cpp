// Mistakes that used to pass in silence are announced: an own thread asked for before automation,
// an object that never says whether it wants one, a class factory that the application does not
// register.
#include <mistakes.h>
#include <ole_object_factory.h>
#include <own_thread_cmd_target.h>

#include <gtest/gtest.h>

#include <objbase.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> g_announced;

class LoudMistakesTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        g_announced.clear();
        m_pfnPrevious = AfxSetMistakeHandler([](const char* lpszText) { g_announced.push_back(lpszText); });
    }
    void TearDown() override
    {
        AfxSetMistakeHandler(m_pfnPrevious);
        CoUninitialize();
    }
    static bool Announced(const char* lpszPart)
    {
        for (const std::string& s : g_announced)
            if (s.find(lpszPart) != std::string::npos)
                return true;
        return false;
    }
    AFX_MISTAKE_HANDLER m_pfnPrevious = nullptr;
};

class COwnThreadFirst : public CZKOwnThreadCmdTarget {
public:
    COwnThreadFirst()
    {
        m_bStarted = EnableOwnThread();
        EnableAutomation();
    }
    BOOL m_bStarted = TRUE;
};

class CUndecided : public CZKOwnThreadCmdTarget {
public:
    explicit CUndecided(int nDecision)
    {
        EnableAutomation();
        if (nDecision >= 0)
            EnableOwnThread(nDecision);
    }
};

// Asks for IDispatch twice, as a class factory and then a client would, and releases the object.
void Use(CCmdTarget* pObject)
{
    for (int i = 0; i < 2; ++i) {
        IDispatch* pDisp = nullptr;
        ASSERT_EQ(pObject->ExternalQueryInterface(&IID_IDispatch, reinterpret_cast<void**>(&pDisp)), S_OK);
        pDisp->Release();
    }
    pObject->ExternalRelease();
}

TEST_F(LoudMistakesTest, OwnThreadMistakesAreAnnouncedOnceAndDecisionsAreNot)
{
    auto* pEarly = new COwnThreadFirst;
    EXPECT_FALSE(pEarly->m_bStarted) << "no own thread without automation";
    EXPECT_TRUE(Announced("EnableOwnThread before EnableAutomation"));
    Use(pEarly);
    EXPECT_EQ(g_announced.size(), 1u) << "the early call decided; nothing more to say";

    g_announced.clear();
    Use(new CUndecided(-1));
    EXPECT_TRUE(Announced("neither EnableOwnThread() nor EnableOwnThread(FALSE)"));
    EXPECT_EQ(g_announced.size(), 1u) << "once per object";

    g_announced.clear();
    Use(new CUndecided(FALSE));
    EXPECT_TRUE(g_announced.empty()) << "staying on the creating thread on purpose";
}

TEST_F(LoudMistakesTest, AFactoryTheApplicationDoesNotRegisterIsAnnounced)
{
    const CLSID named = {0x6d1d5f3a, 0x0b43, 0x4e61, {0x9c, 0x37, 0x2a, 0x0e, 0x8b, 0x1f, 0x4c, 0x60}};
    const CLSID forgotten = {0x6d1d5f3a, 0x0b43, 0x4e61, {0x9c, 0x37, 0x2a, 0x0e, 0x8b, 0x1f, 0x4c, 0x61}};
    COleObjectFactory namedFactory(named, nullptr, FALSE, "QDTest.Named");
    COleObjectFactory forgottenFactory(forgotten, nullptr, FALSE, "QDTest.Forgotten");
    EXPECT_TRUE(COleObjectFactory::RegisterAll({&namedFactory}));
    EXPECT_TRUE(namedFactory.IsRegistered());
    EXPECT_FALSE(forgottenFactory.IsRegistered());
    EXPECT_TRUE(Announced("QDTest.Forgotten is declared but the application does not register it"));
    EXPECT_FALSE(Announced("QDTest.Named"));
    namedFactory.Revoke();
}

}  // namespace
