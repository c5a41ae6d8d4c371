// The main of test programs whose own thread is in the multithreaded apartment: it calls objects
// through proxies and never has to dispatch messages for them. COM stays initialised until the
// process ends, as parked own threads and the creating thread do.
#include <gtest/gtest.h>

#include <objbase.h>

#include <cstdio>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(hr)) {
        std::fprintf(stderr, "CoInitializeEx failed: 0x%08lX\n", static_cast<unsigned long>(hr));
        return 1;
    }
    return RUN_ALL_TESTS();
}
