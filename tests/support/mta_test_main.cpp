// The main of test programs whose own thread is in the multithreaded apartment: it calls objects
// through proxies and never has to dispatch messages for them. COM stays initialised until the
// process ends, as parked own threads and the creating thread do.
#include <gtest/gtest.h>

#include <objbase.h>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    return RUN_ALL_TESTS();
}
