// A description nobody here wrote: Aravis's fake GigE Vision camera serves
// its own GenICam XML, read here over GVCP memory reads on the loopback
// interface. Runs only inside the private network namespace.

#include "ZuGenParameterArray.h"
#include "tarn/genicam/Engine.h"
#include "tarn/genicam/Parameters.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

using namespace ZU_GENAPI_NS;

namespace
{

// Device memory over GVCP READMEM (reads only; the fake camera needs no
// control privilege for them).
class GvcpReadPort : public IPort
{
public:
    GvcpReadPort()
    {
        mSocket = socket(AF_INET, SOCK_DGRAM, 0);
        timeval lTv{0, 300000};
        setsockopt(mSocket, SOL_SOCKET, SO_RCVTIMEO, &lTv, sizeof lTv);
        std::memset(&mPeer, 0, sizeof mPeer);
        mPeer.sin_family = AF_INET;
        mPeer.sin_port = htons(3956);
        mPeer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    ~GvcpReadPort() override { close(mSocket); }

    ZuResult Read(uint64_t aAddress, void *aData, int64_t aLength) override
    {
        uint64_t lStart = aAddress & ~uint64_t(3);
        uint64_t lEnd = (aAddress + static_cast<uint64_t>(aLength) + 3) & ~uint64_t(3);
        std::string lAll;
        for (uint64_t lA = lStart; lA < lEnd; lA += 512) {
            uint16_t lCount = static_cast<uint16_t>(std::min<uint64_t>(512, lEnd - lA));
            std::string lPart;
            if (!ReadMem(static_cast<uint32_t>(lA), lCount, lPart)) return ZuResult(ZU_TIMEOUT);
            lAll += lPart;
        }
        std::memcpy(aData, lAll.data() + (aAddress - lStart), static_cast<size_t>(aLength));
        return ZuResult();
    }
    ZuResult Write(uint64_t, const void *, int64_t) override { return ZuResult(ZU_NOT_SUPPORTED); }
    ZuGenAccessMode GetAccessMode() const override { return ZuGenAccessModeReadOnly; }

private:
    bool ReadMem(uint32_t aAddress, uint16_t aCount, std::string &aOut)
    {
        for (int lTry = 0; lTry < 5; ++lTry) {
            uint16_t lId = ++mId;
            uint8_t lReq[16] = {0x42, 0x01, 0x00, 0x84, 0x00, 0x08, uint8_t(lId >> 8), uint8_t(lId),
                                uint8_t(aAddress >> 24), uint8_t(aAddress >> 16), uint8_t(aAddress >> 8), uint8_t(aAddress),
                                0, 0, uint8_t(aCount >> 8), uint8_t(aCount)};
            sendto(mSocket, lReq, sizeof lReq, 0, reinterpret_cast<sockaddr *>(&mPeer), sizeof mPeer);
            uint8_t lAck[1024];
            ssize_t lN = recv(mSocket, lAck, sizeof lAck, 0);
            if (lN < 12 || lAck[0] != 0 || lAck[1] != 0 || lAck[2] != 0x00 || lAck[3] != 0x85) continue;
            if (((lAck[6] << 8) | lAck[7]) != lId) continue;
            if (lN < 12 + aCount) return false;
            aOut.assign(reinterpret_cast<const char *>(lAck + 12), aCount);
            return true;
        }
        return false;
    }
    int mSocket;
    sockaddr_in mPeer;
    uint16_t mId = 0;
};

bool Have(const char *aTool)
{
    std::string lCmd = std::string("command -v ") + aTool + " >/dev/null 2>&1";
    return std::system(lCmd.c_str()) == 0;
}

std::string Capture(const char *aCommand)
{
    std::string lOut;
    FILE *lP = popen(aCommand, "r");
    if (!lP) return lOut;
    char lBuf[4096];
    size_t lN;
    while ((lN = fread(lBuf, 1, sizeof lBuf, lP)) > 0) lOut.append(lBuf, lN);
    pclose(lP);
    return lOut;
}

} // namespace

TEST(AravisFakeCamera, ItsDescriptionLoadsAndItsFeaturesRead)
{
    if (!std::getenv("TARN_IN_NETNS")) GTEST_SKIP() << "needs the private network namespace (tools/netns)";
    if (!Have("arv-fake-gv-camera-0.8") || !Have("arv-tool-0.8")) GTEST_SKIP() << "Aravis's tools are not installed";
    pid_t lCamera = fork();
    ASSERT_GE(lCamera, 0);
    if (lCamera == 0) {
        int lNull = open("/dev/null", O_WRONLY);
        dup2(lNull, 1);
        dup2(lNull, 2);
        execlp("arv-fake-gv-camera-0.8", "arv-fake-gv-camera-0.8", "-i", "127.0.0.1", (char *)nullptr);
        _exit(127);
    }
    std::string lXml;
    for (int lTry = 0; lTry < 20 && lXml.find("</RegisterDescription>") == std::string::npos; ++lTry) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        lXml = Capture("arv-tool-0.8 -a 127.0.0.1 genicam 2>/dev/null");
    }
    GvcpReadPort lPort;
    ZuGenParameterArray lArray;
    ZuResult lLoaded = tarn::LoadDescription(lArray, lXml.data(), lXml.size(), &lPort);

    int64_t lWidth = 0, lHeight = 0, lFormat = 0, lPayload = 0;
    ZuResult lW = lArray.GetIntegerValue("Width", lWidth);
    ZuResult lH = lArray.GetIntegerValue("Height", lHeight);
    ZuResult lF = lArray.GetEnumValue("PixelFormat", lFormat);
    ZuResult lP = lArray.GetIntegerValue("PayloadSize", lPayload);
    ZuString lVendor, lFormatName;
    ZuResult lV = lArray.GetStringValue("DeviceVendorName", lVendor);
    ZuResult lFn = lArray.GetEnumValue("PixelFormat", lFormatName);
    double lRate = 0, lExposure = 0;
    ZuResult lR = lArray.GetFloatValue("AcquisitionFrameRate", lRate);
    ZuResult lE = lArray.GetFloatValue("ExposureTimeAbs", lExposure);
    int64_t lMin = 0, lMax = 0;
    ZuResult lRange = lArray.GetIntegerRange("Width", lMin, lMax);
    // The trigger features sit behind a selector that moves their address.
    ZuResult lSel = lArray.SetEnumValue("TriggerSelector", ZuString("AcquisitionStart"));
    ZuString lMode;
    ZuResult lModeRead = lArray.GetEnumValue("TriggerMode", lMode);

    // The same description, found the way a receiver finds it: through the
    // URL in the device's bootstrap registers.
    char lUrl[513] = {};
    ZuResult lUrlRead = lPort.Read(0x200, lUrl, 512);
    ZuGenParameterArray lFromDevice;
    ZuResult lFromUrl = lUrlRead.IsOK() ? tarn::LoadDescriptionFromUrl(lFromDevice, lUrl, &lPort) : lUrlRead;

    kill(lCamera, SIGTERM);
    waitpid(lCamera, nullptr, 0);

    ASSERT_NE(lXml.find("</RegisterDescription>"), std::string::npos) << "the fake camera served no description";
    ASSERT_TRUE(lLoaded.IsOK()) << lLoaded.GetDescription().GetAscii();
    EXPECT_GT(lArray.GetCount(), 50u);
    EXPECT_GT(lArray.GetCategoryCount(), 3u);
    ASSERT_TRUE(lW.IsOK()) << lW.GetDescription().GetAscii();
    ASSERT_TRUE(lH.IsOK() && lF.IsOK() && lP.IsOK());
    EXPECT_GT(lWidth, 0);
    EXPECT_EQ(lPayload, lWidth * lHeight * ((lFormat >> 16) & 0xFF) / 8);
    ASSERT_TRUE(lV.IsOK());
    EXPECT_STREQ(lVendor.GetAscii(), "Aravis");
    ASSERT_TRUE(lFn.IsOK());
    EXPECT_GT(std::strlen(lFormatName.GetAscii()), 0u);
    ASSERT_TRUE(lR.IsOK()) << lR.GetDescription().GetAscii();
    EXPECT_GT(lRate, 0.0);
    EXPECT_TRUE(lE.IsOK());
    ASSERT_TRUE(lRange.IsOK());
    EXPECT_LE(lMin, lWidth);
    EXPECT_GE(lMax, lWidth);
    ASSERT_TRUE(lSel.IsOK()) << lSel.GetDescription().GetAscii();
    ASSERT_TRUE(lModeRead.IsOK()) << lModeRead.GetDescription().GetAscii();
    EXPECT_EQ(lArray.GetAccessMode(), ZuGenAccessModeReadOnly);
    ASSERT_TRUE(lFromUrl.IsOK()) << lUrl << ": " << lFromUrl.GetDescription().GetAscii();
    EXPECT_EQ(lFromDevice.GetCount(), lArray.GetCount());
}
