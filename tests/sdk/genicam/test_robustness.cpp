// Descriptions and formulas nobody should write: loading and using them must
// fail cleanly, never crash. Deterministic, so a failure reproduces.

#include "tarn/genicam/Formula.h"
#include "ZuGenParameterArray.h"
#include "tarn/genicam/Engine.h"
#include "tarn/genicam/Parameters.h"
#include "fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

using namespace ZU_GENAPI_NS;

namespace
{

void Exercise(INodeMap &aMap)
{
    for (size_t lI = 0; lI < aMap.GetNodeCount(); ++lI) {
        INode *lN = aMap.GetNodeByIndex(lI);
        std::string lText;
        int64_t lInt = 0;
        double lFloat = 0;
        bool lBool = false;
        uint8_t lBytes[64];
        INode *lEntry = nullptr;
        lN->GetAccessMode();
        lN->ToString(lText);
        lN->GetIntMin(lInt);
        lN->GetIntMax(lInt);
        lN->GetIntInc(lInt);
        lN->GetFloatMin(lFloat);
        lN->GetFloatMax(lFloat);
        lN->GetBoolValue(lBool);
        lN->GetEntry(lEntry);
        lN->GetRegister(lBytes, sizeof lBytes);
        lN->FromString("1");
        lN->FromString(lText);
        lN->SetFloatValue(0.5);
        lN->Execute();
        lN->IsDone(lBool);
    }
    aMap.Poll(1000);
    aMap.InvalidateNodes();
}

} // namespace

TEST(Robustness, MutatedDescriptionsLoadOrFailButNeverCrash)
{
    std::mt19937 lRng(20261209);
    const std::string lBase(kCameraXml);
    static const char kChars[] = "<>/\"=0x-9aZ &;.";
    int lLoaded = 0;
    for (int lRound = 0; lRound < 400; ++lRound) {
        std::string lXml = lBase;
        int lEdits = 1 + static_cast<int>(lRng() % 4);
        for (int lE = 0; lE < lEdits && !lXml.empty(); ++lE) {
            size_t lAt = lRng() % lXml.size();
            size_t lLen = 1 + lRng() % 40;
            switch (lRng() % 4) {
            case 0: lXml.erase(lAt, lLen); break;
            case 1: lXml.insert(lAt, lXml.substr(lRng() % lXml.size(), lLen)); break;
            case 2: lXml[lAt] = kChars[lRng() % (sizeof kChars - 1)]; break;
            default: {
                // Point one reference at another node, cycles included.
                size_t lRef = lXml.find("<pValue>", lAt);
                size_t lName = lXml.find("Name=\"", lRng() % lXml.size());
                if (lRef != std::string::npos && lName != std::string::npos) {
                    size_t lEnd = lXml.find('"', lName + 6), lClose = lXml.find("</pValue>", lRef);
                    if (lEnd != std::string::npos && lClose != std::string::npos)
                        lXml.replace(lRef + 8, lClose - lRef - 8, lXml.substr(lName + 6, lEnd - lName - 6));
                }
            }
            }
        }
        MemoryPort lPort(4096);
        std::unique_ptr<INodeMap> lMap;
        ZuResult lR = LoadNodeMap(lXml.data(), lXml.size(), &lPort, lMap);
        if (!lR.IsOK()) {
            EXPECT_EQ(lR.GetCode(), uint32_t(ZU_GENICAM_XML_ERROR));
            EXPECT_GT(std::string(lR.GetDescription().GetAscii()).size(), 0u);
            continue;
        }
        ++lLoaded;
        Exercise(*lMap);
    }
    EXPECT_GT(lLoaded, 20);
}

TEST(Robustness, RandomFormulasParseOrFailButNeverCrash)
{
    std::mt19937 lRng(7);
    static const char *const kTokens[] = {"A", "B", "1", "0", "-1", "0xFF", "2.5", "(", ")", "+", "-", "*", "/", "%", "**",
                                          "&", "|", "^", "~", "<<", ">>", "=", "<>", "<", ">", "<=", ">=", "&&", "||",
                                          "?", ":", "SIN(", "ROUND(", ",", "PI", "E", "ABS(", "9223372036854775807"};
    int lParsed = 0;
    for (int lRound = 0; lRound < 3000; ++lRound) {
        std::string lText;
        int lCount = 1 + static_cast<int>(lRng() % 12);
        for (int lT = 0; lT < lCount; ++lT) lText += std::string(kTokens[lRng() % (sizeof kTokens / sizeof *kTokens)]) + " ";
        tarn_genicam::Formula lF;
        std::string lError;
        if (!lF.Parse(lText, {"A", "B"}, lError)) {
            EXPECT_FALSE(lError.empty()) << lText;
            continue;
        }
        ++lParsed;
        for (bool lInt : {true, false}) {
            tarn_genicam::FormulaValue lOut;
            lF.Evaluate(
                [&](const std::string &aName, tarn_genicam::FormulaValue &aV, std::string &) {
                    aV = aName == "A" ? tarn_genicam::FormulaValue::Int(INT64_MIN) : tarn_genicam::FormulaValue::Float(-0.0);
                    return true;
                },
                lInt, lOut, lError);
        }
    }
    EXPECT_GT(lParsed, 50);
}

TEST(Robustness, ConcurrentReadersWritersAndSinks)
{
    MemoryPort lPort(4096);
    ZuGenParameterArray lArray;
    ASSERT_TRUE(tarn::LoadDescription(lArray, kCameraXml, sizeof kCameraXml - 1, &lPort).IsOK());
    struct Sink : ZuGenEventSink
    {
        std::atomic<int> mCalls{0};
        void OnParameterUpdate(ZuGenParameter *) override { ++mCalls; }
    } lSink;
    std::atomic<bool> lStop{false};
    std::thread lWriter([&] {
        for (int lI = 0; lI < 2000; ++lI) lArray.SetIntegerValue("Width", 16 + 8 * (lI % 100));
        lStop = true;
    });
    std::thread lSinks([&] {
        ZuGenParameter *lP = lArray.Get("Payload");
        while (!lStop) {
            lP->RegisterEventSink(&lSink);
            lP->UnregisterEventSink(&lSink);
        }
    });
    int64_t lPayload = 0, lWidth = 0;
    while (!lStop) {
        ASSERT_TRUE(lArray.GetIntegerValue("Payload", lPayload).IsOK());
        EXPECT_EQ(lPayload % 200, 0);
        lArray.InvalidateCache();
    }
    lWriter.join();
    lSinks.join();
    ASSERT_TRUE(lArray.GetIntegerValue("Width", lWidth).IsOK());
    EXPECT_EQ(lWidth, 16 + 8 * 99);
}
