// Every class of this program that has a type library: its dispatch map and its dispatch interface
// in the library name the same members, with the same DISPIDs, kinds and types, and the map names
// every DISPID. Built once for each server (its classes and its TYPELIB resource linked in).
#include <ole_object_factory.h>

#include <gtest/gtest.h>

#include <objbase.h>

namespace {

// QD_AGREEMENT_SUITE names the program's server, so that the two builds' cases differ.
TEST(QD_AGREEMENT_SUITE, EveryClassWithATypeLibraryMatchesItsDispatchInterface)
{
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    int nChecked = 0;
    for (COleObjectFactory* p = COleObjectFactory::GetFirstFactory(); p != nullptr; p = p->GetNextFactory()) {
        // As the server checks it at every start: from the class's static map, with no object.
        std::string problems;
        EXPECT_EQ(p->CheckDispatchMap(&problems), S_OK) << p->m_lpszProgID << ":\n" << problems;
        if (p->m_pfnGetTypeLibCache != nullptr && p->m_pfnGetTypeLibCache() != nullptr)
            ++nChecked;
    }
    EXPECT_GT(nChecked, 0) << "no class with a type library was linked in";
    CoUninitialize();
}

}  // namespace
