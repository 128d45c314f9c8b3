// Test-only hook: logs through the SDK from a thread that the SDK side
// owns (not created by Python), so that tests can see how a Python sink is
// entered from such a thread. Loaded with ctypes, never installed.
#include <thread>

#include "ZuLog.h"

extern "C" __attribute__((visibility("default"))) void tarn_test_log_from_native_thread(const char *aMessage, int aCount)
{
    std::thread lThread([aMessage, aCount] {
        ZuLogger lLogger(ZuString("native"));
        for (int lI = 0; lI < aCount; ++lI)
            lLogger.LogWarning("loghook.cpp", lI, "worker", aMessage);
    });
    lThread.join();
}
