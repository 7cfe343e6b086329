// The unit tests' entry point on Windows: the XML documents are COM objects,
// so the test thread joins a single-threaded apartment first.
#include <gtest/gtest.h>
#include <objbase.h>

int main(int argc, char** argv) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    CoUninitialize();
    return status;
}
