// The test program's own thread is in the multithreaded apartment: it calls objects through proxies
// and never has to dispatch messages for them.
#include <gtest/gtest.h>

#include <objbase.h>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int nResult = RUN_ALL_TESTS();
    // Parked own threads and the creating thread end with the process.
    return nResult;
}
