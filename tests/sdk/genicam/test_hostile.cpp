// Descriptions built to hurt: each case here once crashed the engine, hit
// undefined behaviour or took time exponential in its size. The same inputs
// seed the fuzz corpora.

#include "tarn/genicam/Formula.h"
#include "tarn/genicam/Engine.h"
#include "GenNodeMap.h"
#include "hostile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

using namespace ZU_GENAPI_NS;
using namespace tarn_test_hostile;

namespace
{

// Ends the process when a case runs far past any reasonable time: an
// evaluation that grows exponentially must fail the run, not hang it.
class Watchdog
{
public:
    explicit Watchdog(const char *aWhat) : mThread([this, aWhat] {
        std::unique_lock<std::mutex> lLock(mLock);
        if (!mDone.wait_for(lLock, std::chrono::seconds(120), [this] { return mFinished; })) {
            std::fprintf(stderr, "%s: still running after 120 s\n", aWhat);
            std::abort();
        }
    }) {}
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lLock(mLock);
            mFinished = true;
        }
        mDone.notify_all();
        mThread.join();
    }

private:
    std::mutex mLock;
    std::condition_variable mDone;
    bool mFinished = false;
    std::thread mThread;
};

struct Loaded
{
    explicit Loaded(const std::string &aXml, size_t aMemory = 4096) : mPort(aMemory)
    {
        mResult = LoadNodeMap(aXml.data(), aXml.size(), &mPort, mMap);
    }
    INode *N(const char *aName) const
    {
        INode *lN = mMap ? mMap->GetNode(aName) : nullptr;
        EXPECT_NE(lN, nullptr) << aName;
        return lN;
    }
    MemoryPort mPort;
    std::unique_ptr<INodeMap> mMap;
    ZuResult mResult;
};

std::string Why(const ZuResult &aR) { return aR.GetDescription().GetAscii(); }

long PeakResidentKiB()
{
    rusage lUsage{};
    getrusage(RUSAGE_SELF, &lUsage);
    return lUsage.ru_maxrss;
}

double SecondsSince(std::chrono::steady_clock::time_point aStart)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - aStart).count();
}

} // namespace

// ---- Long flat formulas --------------------------------------------------------------

TEST(Hostile, LongOperatorChainsEvaluateWithoutDeepRecursion)
{
    Watchdog lDog("long chains");
    tarn_genicam::Formula lF;
    std::string lError;
    tarn_genicam::FormulaValue lV;
    auto lNoVariables = [](const std::string &, tarn_genicam::FormulaValue &, std::string &) { return false; };
    // Left-associative: 1000000 - 1 - 1 ... counts down, it does not alternate.
    ASSERT_TRUE(lF.Parse(FlatChain("1000000", "-", "1", 100000), {}, lError)) << lError;
    ASSERT_TRUE(lF.Evaluate(lNoVariables, true, lV, lError)) << lError;
    EXPECT_EQ(lV.AsInt(), 1000000 - 100000);
    ASSERT_TRUE(lF.Parse(FlatChain("1", "+", "1", 200000), {}, lError)) << lError;
    ASSERT_TRUE(lF.Evaluate(lNoVariables, false, lV, lError)) << lError;
    EXPECT_EQ(lV.AsFloat(), 200001.0);
    // Short-circuits inside one chain: the division by zero is never reached.
    ASSERT_TRUE(lF.Parse(FlatChain("0", "||", "0", 50000) + " || 1 || 1 / 0", {}, lError)) << lError;
    ASSERT_TRUE(lF.Evaluate(lNoVariables, true, lV, lError)) << lError;
    EXPECT_EQ(lV.AsInt(), 1);
    ASSERT_TRUE(lF.Parse(FlatChain("1", "&&", "1", 50000) + " && 0 && 1 / 0", {}, lError)) << lError;
    ASSERT_TRUE(lF.Evaluate(lNoVariables, true, lV, lError)) << lError;
    EXPECT_EQ(lV.AsInt(), 0);
    // Comparisons fold from the left too: (3 > 2) > 0 is 1, 3 > (2 > 0) is 1
    // as well, so use one whose grouping shows: (1 < 2) < 1 is 0.
    ASSERT_TRUE(lF.Parse("1 < 2 < 1", {}, lError)) << lError;
    ASSERT_TRUE(lF.Evaluate(lNoVariables, true, lV, lError)) << lError;
    EXPECT_EQ(lV.AsInt(), 0);
}

TEST(Hostile, DescriptionWithLongFormulaLoadsReadsAndUnloads)
{
    Watchdog lDog("long formula description");
    // 200,000 terms once crashed in loading and unloading alone.
    Loaded lL(LongFormulaDescription(200000));
    ASSERT_TRUE(lL.mResult.IsOK()) << Why(lL.mResult);
    lL.mPort.Bytes()[0] = 2;
    int64_t lV = 0;
    ASSERT_TRUE(lL.N("Sum")->GetIntValue(lV).IsOK());
    EXPECT_EQ(lV, 2 * 200000);
    lL.mMap.reset();
}

// ---- Integer registers whose length comes from another node -----------------------------

TEST(Hostile, IntRegWithOutOfRangePLengthRefusesWritesAndTouchesNothing)
{
    Loaded lL(PLengthDescription(16));
    ASSERT_TRUE(lL.mResult.IsOK()) << Why(lL.mResult);
    for (size_t lI = 0; lI < 32; ++lI) lL.mPort.Bytes()[0x40 + lI] = static_cast<uint8_t>(0xA0 + lI);
    std::vector<uint8_t> lBefore = lL.mPort.Bytes();
    ZuResult lR = lL.N("Wide")->SetIntValue(1);
    EXPECT_EQ(lR.GetCode(), uint32_t(ZU_INVALID_DATA_FORMAT)) << Why(lR);
    EXPECT_NE(Why(lR).find("1 to 8 bytes"), std::string::npos) << Why(lR);
    EXPECT_EQ(lL.mPort.Bytes(), lBefore);
    int64_t lV = 0;
    EXPECT_EQ(lL.N("Wide")->GetIntValue(lV).GetCode(), uint32_t(ZU_INVALID_DATA_FORMAT));
    EXPECT_EQ(lL.N("Wide")->GetIntMax(lV).GetCode(), uint32_t(ZU_INVALID_DATA_FORMAT));
    // A zero length is refused the same way, on both sides.
    ASSERT_TRUE(lL.N("WideLength")->SetIntValue(0).IsOK());
    EXPECT_EQ(lL.N("Wide")->SetIntValue(1).GetCode(), uint32_t(ZU_INVALID_DATA_FORMAT));
    EXPECT_EQ(lL.N("Wide")->GetIntValue(lV).GetCode(), uint32_t(ZU_INVALID_DATA_FORMAT));
    EXPECT_EQ(lL.mPort.Bytes(), lBefore);
    // Within 1 to 8 the same register works, at the length it is given now.
    ASSERT_TRUE(lL.N("WideLength")->SetIntValue(2).IsOK());
    ASSERT_TRUE(lL.N("Wide")->SetIntValue(0x1234).IsOK());
    EXPECT_EQ(lL.mPort.Bytes()[0x40], 0x34);
    EXPECT_EQ(lL.mPort.Bytes()[0x41], 0x12);
    EXPECT_EQ(lL.mPort.Bytes()[0x42], 0xA2);
    ASSERT_TRUE(lL.N("Wide")->GetIntMax(lV).IsOK());
    EXPECT_EQ(lV, 0xFFFF);
}

TEST(Hostile, IntRegRangeWithHugePLengthFailsCleanly)
{
    // Eight times this wraps to 32 bits: a range computed from it before the
    // length is checked would look like a 4-byte register's.
    for (const char *lLength : {"0x2000000000000004", "0x7FFFFFFFFFFFFFFF", "-1", "16777217"}) {
        Loaded lL(PLengthDescription(0));
        ASSERT_TRUE(lL.mResult.IsOK()) << Why(lL.mResult);
        ASSERT_TRUE(lL.N("WideLength")->FromString(lLength).IsOK()) << lLength;
        int64_t lV = 77;
        EXPECT_FALSE(lL.N("Wide")->GetIntMin(lV).IsOK()) << lLength;
        EXPECT_FALSE(lL.N("Wide")->GetIntMax(lV).IsOK()) << lLength;
        EXPECT_FALSE(lL.N("Wide")->SetIntValue(1).IsOK()) << lLength;
        int64_t lLen = 77;
        EXPECT_FALSE(lL.N("Wide")->GetRegisterLength(lLen).IsOK()) << lLength;
        EXPECT_EQ(lLen, 0) << "a failed length is not handed out: " << lLength;
    }
}

TEST(Hostile, EmptyTextIntoEmptyStringRegister)
{
    Loaded lL(EmptyStringRegDescription());
    ASSERT_TRUE(lL.mResult.IsOK()) << Why(lL.mResult);
    EXPECT_TRUE(lL.N("Empty")->SetStringValue("").IsOK());
    EXPECT_EQ(lL.N("Empty")->SetStringValue("x").GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    std::string lText = "stale";
    EXPECT_TRUE(lL.N("Empty")->GetStringValue(lText).IsOK());
    EXPECT_EQ(lText, "");
}

// ---- Shared references: each node is evaluated once per access ----------------------------

// Every shape reads one register through many paths; it must reach the port
// once per access. Evaluated once per path, 16 levels are 65,536 reads and
// 60 levels never finish.
TEST(Hostile, SharedReferencesReachTheDeviceOncePerAccess)
{
    Watchdog lDog("shared references");
    // 254 levels, the register and its port: as deep as a description loads,
    // and evaluated in full.
    for (int lDepth : {16, 60, 254})
        for (SharedShape lShape : kSharedShapes) {
            std::string lCase = std::string(ShapeName(lShape)) + " at depth " + std::to_string(lDepth);
            Loaded lL(SharedDescription(lShape, lDepth));
            ASSERT_TRUE(lL.mResult.IsOK()) << lCase << ": " << Why(lL.mResult);
            lL.mPort.Bytes()[0] = 1;
            uint64_t lBefore = lL.mPort.GetAccessCount();
            int64_t lV = 0;
            ZuResult lR = lL.N("N0")->GetIntValue(lV);
            ASSERT_TRUE(lR.IsOK()) << lCase << ": " << Why(lR);
            EXPECT_EQ(lV, 1) << lCase;
            EXPECT_EQ(lL.mPort.GetAccessCount() - lBefore, 1u) << lCase;
            // Another access reads the device anew (the leaf is not cached),
            // and sees what changed there.
            lL.mPort.Bytes()[0] = 0;
            lBefore = lL.mPort.GetAccessCount();
            lR = lL.N("N0")->GetIntValue(lV);
            EXPECT_EQ(lL.mPort.GetAccessCount() - lBefore, 1u) << lCase;
            if (lShape == SharedShape::ValueAndAvailable || lShape == SharedShape::SelectorChain)
                EXPECT_FALSE(lR.IsOK()) << lCase << ": a leaf of 0 makes every level unavailable or unimplemented";
            else
                EXPECT_EQ(lV, 0) << lCase;
            // The other ways in must finish too.
            lL.N("N0")->GetAccessMode();
            lL.N("N0")->GetIntMax(lV);
            std::string lText;
            lL.N("N0")->ToString(lText);
            std::string lLeaf = "N" + std::to_string(lDepth);
            EXPECT_TRUE(lL.N(lLeaf.c_str())->SetIntValue(1).IsOK()) << lCase;
            lL.mMap->InvalidateNodes();
        }
    // One level more is refused at load (expressions nest within one node).
    for (SharedShape lShape : kSharedShapes) {
        Loaded lL(SharedDescription(lShape, 255));
        EXPECT_EQ(lL.mResult.GetCode(), lShape == SharedShape::Expressions ? uint32_t(ZU_OK) : uint32_t(ZU_GENICAM_XML_ERROR))
            << ShapeName(lShape) << ": " << Why(lL.mResult);
    }
}

// A write within an access starts afresh: what was read before the write is
// not what is read after it.
TEST(Hostile, WritesWithinOneAccessAreSeenByLaterReads)
{
    Loaded lL(SharedDescription(SharedShape::ValueAndLocked, 4));
    ASSERT_TRUE(lL.mResult.IsOK()) << Why(lL.mResult);
    int lCalls = 0;
    int64_t lSeen = -1;
    INode *lRoot = lL.N("N0");
    lRoot->RegisterCallback([&](INode *aN) {
        ++lCalls;
        aN->GetIntValue(lSeen);
    });
    // The root is locked while the leaf is non-zero: 0 first.
    ASSERT_TRUE(lRoot->SetIntValue(0).IsOK());
    EXPECT_EQ(lL.mPort.Bytes()[0], 0);
    EXPECT_EQ(lCalls, 1);
    EXPECT_EQ(lSeen, 0);
    ASSERT_TRUE(lRoot->SetIntValue(5).IsOK());
    EXPECT_EQ(lSeen, 5);
    EXPECT_EQ(lRoot->GetAccessMode(), ZuGenAccessModeReadOnly) << "now locked by the value just written";
    EXPECT_EQ(lRoot->SetIntValue(6).GetCode(), uint32_t(ZU_STATE_ERROR));
}

// ---- Depth: one bound, checked at load, and an access past it fails whole -------------------

// The reads of a level's lock once went past the engine's depth bound, which
// the loader did not check, and a read cut short there was neither
// remembered nor failed: every level tripled the work (these 70 levels
// never finished). What loads now evaluates within the bound, once per node.
TEST(Hostile, LocksOverALongChainEvaluateOncePerAccess)
{
    Watchdog lDog("locked levels");
    Loaded lL(LockedLevelsDescription(70, 1));
    ASSERT_TRUE(lL.mResult.IsOK()) << Why(lL.mResult);
    lL.mPort.Bytes()[0] = 1;  // every level locked
    const auto lStart = std::chrono::steady_clock::now();
    uint64_t lBefore = lL.mPort.GetAccessCount();
    EXPECT_EQ(lL.N("L0")->GetAccessMode(), ZuGenAccessModeReadOnly);
    EXPECT_EQ(lL.mPort.GetAccessCount() - lBefore, 1u);
    EXPECT_EQ(lL.N("L0")->SetIntValue(0).GetCode(), uint32_t(ZU_STATE_ERROR));
    int64_t lV = 0;
    ASSERT_TRUE(lL.N("L0")->GetIntValue(lV).IsOK());
    EXPECT_EQ(lV, 1);
    lL.mPort.Bytes()[0] = 0;  // the lowest level unlocked, the one above locked, ...
    EXPECT_EQ(lL.N("L69")->GetAccessMode(), ZuGenAccessModeReadWrite);
    EXPECT_EQ(lL.N("L0")->GetAccessMode(), ZuGenAccessModeReadOnly);
    EXPECT_LT(SecondsSince(lStart), 10.0);
}

TEST(Hostile, AnAccessCutAtTheDepthBoundFailsWholeAndAtOnce)
{
    Watchdog lDog("cut access");
    Loaded lL(LockedLevelsDescription(70, 1));
    ASSERT_TRUE(lL.mResult.IsOK()) << Why(lL.mResult);
    // Loading keeps evaluation within the bound; lowered below what this
    // description nests, it is reached in every access from the top.
    auto *lMap = dynamic_cast<NodeMapImpl *>(lL.mMap.get());
    ASSERT_NE(lMap, nullptr);
    lMap->mDepthLimit = 64;
    const auto lStart = std::chrono::steady_clock::now();
    // The lock cannot be read: the write fails rather than taking the node
    // for unlocked, and nothing is evaluated twice on the way.
    ZuResult lR = lL.N("L0")->SetIntValue(5);
    EXPECT_EQ(lR.GetCode(), uint32_t(ZU_GENERIC_ERROR)) << Why(lR);
    EXPECT_NE(Why(lR).find("nested more than 64 deep"), std::string::npos) << Why(lR);
    int64_t lV = 0;
    EXPECT_EQ(lL.N("L0")->GetIntValue(lV).GetCode(), uint32_t(ZU_GENERIC_ERROR));
    EXPECT_EQ(lL.N("L0")->GetAccessMode(), ZuGenAccessModeNotAvailable);
    EXPECT_EQ(lL.mPort.GetAccessCount(), 0u);
    EXPECT_LT(SecondsSince(lStart), 10.0);
    // A cut ends with its access: within the bound the same nodes read, and
    // the refused write left the value as it was.
    EXPECT_TRUE(lL.N("L69")->GetIntValue(lV).IsOK());
    lMap->mDepthLimit = kMaxReferenceDepth;
    ASSERT_TRUE(lL.N("L0")->GetIntValue(lV).IsOK());
    EXPECT_EQ(lV, 1);
}

// ---- Poll ---------------------------------------------------------------------------------

// Each node due invalidated the register below it and everything above that
// register again, queueing notifications by a search of the queue: 3,200
// nodes polling one register took seconds, 6,400 minutes. Walking down again
// from each node due costs as much once they share a deep chain.
TEST(Hostile, OnePollCostsWhatItInvalidates)
{
    Watchdog lDog("poll");
    const struct {
        int count, depth;
    } kShapes[] = {{6400, 0}, {3200, 200}};
    for (const auto &lShape : kShapes) {
        SCOPED_TRACE(std::to_string(lShape.count) + " polled over a chain of " + std::to_string(lShape.depth));
        Loaded lL(PolledDescription(lShape.count, lShape.depth));
        ASSERT_TRUE(lL.mResult.IsOK()) << Why(lL.mResult);
        int lRegisterCalls = 0, lLastCalls = 0;
        lL.N("R")->RegisterCallback([&](INode *) { ++lRegisterCalls; });
        lL.N(("P" + std::to_string(lShape.count - 1)).c_str())->RegisterCallback([&](INode *) { ++lLastCalls; });
        int64_t lV = 0;
        ASSERT_TRUE(lL.N("P0")->GetIntValue(lV).IsOK());
        const uint64_t lBefore = lL.mPort.GetAccessCount();
        auto *lMap = dynamic_cast<NodeMapImpl *>(lL.mMap.get());
        ASSERT_NE(lMap, nullptr);
        const uint64_t lSteps = lMap->mSteps;
        for (int lPoll = 0; lPoll < 3; ++lPoll) lL.mMap->Poll(10);
        // A few steps per node and reference, not one walk of all for each node.
        EXPECT_LT(lMap->mSteps - lSteps, 3u * 8 * (lShape.count + lShape.depth));
        // Every poll reaches everything once, notified once.
        EXPECT_EQ(lRegisterCalls, 3);
        EXPECT_EQ(lLastCalls, 3);
        ASSERT_TRUE(lL.N("P0")->GetIntValue(lV).IsOK());
        EXPECT_EQ(lL.mPort.GetAccessCount() - lBefore, 1u) << "the register's cache was dropped";
    }
}

// ---- Changes and chunk data ---------------------------------------------------------------

// A write changed each register over the same bytes in a walk of its own,
// each reaching what all of them share again; chunk registers each searched
// the whole chunk list. One change is one walk, and a chunk is found at once.
TEST(Hostile, OneChangeReachesWhatItChangesOnce)
{
    const int kRegisters = 200, kChain = 200;
    Loaded lL(OverlappingRegistersDescription(kRegisters, kChain));
    ASSERT_TRUE(lL.mResult.IsOK()) << Why(lL.mResult);
    int64_t lV = 0;
    for (int lI = 0; lI < kRegisters; ++lI) ASSERT_TRUE(lL.N(("R" + std::to_string(lI)).c_str())->GetIntValue(lV).IsOK());
    int lTopCalls = 0;
    lL.N("Top")->RegisterCallback([&](INode *) { ++lTopCalls; });
    auto *lMap = dynamic_cast<NodeMapImpl *>(lL.mMap.get());
    ASSERT_NE(lMap, nullptr);
    const uint64_t lSteps = lMap->mSteps;
    ASSERT_TRUE(lL.N("R0")->SetIntValue(2).IsOK());
    EXPECT_LT(lMap->mSteps - lSteps, 4u * (kRegisters + kChain));
    EXPECT_EQ(lTopCalls, 1);
    ASSERT_TRUE(lL.N("Top")->GetIntValue(lV).IsOK());
    EXPECT_EQ(lV, 2 * kRegisters) << "every register reads the new bytes";
}

TEST(Hostile, AChunkRegisterFindsItsChunkAtOnce)
{
    Watchdog lDog("chunk register");
    Loaded lL(ChunkRegisterDescription(0x1234));
    ASSERT_TRUE(lL.mResult.IsOK()) << Why(lL.mResult);
    // Its chunk, then a million empty ones: walked from the end, they come first.
    std::vector<uint8_t> lData = {0, 0, 0, 42};
    auto lTrailer = [&](uint32_t aId, uint32_t aLength) {
        for (uint32_t lV : {aId, aLength})
            for (int lShift = 24; lShift >= 0; lShift -= 8) lData.push_back(uint8_t(lV >> lShift));
    };
    lTrailer(0x1234, 4);
    for (int lI = 0; lI < (1 << 20); ++lI) lTrailer(0xFFFF0000u, 0);
    ASSERT_TRUE(lL.mMap->AttachDataChunks(lData.data(), uint32_t(lData.size())).IsOK());
    const auto lStart = std::chrono::steady_clock::now();
    int64_t lV = 0;
    for (int lRead = 0; lRead < 20000; ++lRead) {
        ASSERT_TRUE(lL.N("Chunk")->GetIntValue(lV).IsOK());
        ASSERT_EQ(lV, 42);
    }
    EXPECT_LT(SecondsSince(lStart), 10.0);
    lL.mMap->DetachDataChunks();
}

// ---- Register lengths ---------------------------------------------------------------------

namespace
{

// A device port that does not know its extent and fails every read.
struct FailingPort : IPort
{
    ZuResult Read(uint64_t, void *, int64_t) override { return ZuResult(ZU_TIMEOUT); }
    ZuResult Write(uint64_t, const void *, int64_t) override { return ZuResult(ZU_TIMEOUT); }
};

// Reads every register R0 ... as text (which reads its bytes).
void ReadAll(INodeMap &aMap, int aCount, uint32_t aCode)
{
    for (int lI = 0; lI < aCount; ++lI) {
        std::string lText;
        EXPECT_EQ(aMap.GetNode("R" + std::to_string(lI))->ToString(lText).GetCode(), aCode) << lI;
    }
}

} // namespace

// A register may declare 16 MiB; each read set that much aside and kept it,
// even when the read failed: 64 such registers in 7 KB held a gigabyte.
TEST(Hostile, RegistersSetNoMemoryAsideForWhatTheirPortCannotHold)
{
    const int kCount = 64;
    const long lStart = PeakResidentKiB();
    {
        // The port knows its extent: refused before anything is set aside.
        Loaded lL(LongRegistersDescription(kCount, false));
        ASSERT_TRUE(lL.mResult.IsOK()) << Why(lL.mResult);
        int64_t lLength = 0;
        ASSERT_TRUE(lL.N("R0")->GetRegisterLength(lLength).IsOK());
        EXPECT_EQ(lLength, 16 << 20) << "the declared length is still what the description says";
        ReadAll(*lL.mMap, kCount, ZU_INVALID_PARAMETER);
        EXPECT_EQ(lL.mPort.GetAccessCount(), 0u) << "refused before the port was asked";
    }
    {
        // Chunk data hold what they hold.
        Loaded lL(LongRegistersDescription(kCount, true));
        ASSERT_TRUE(lL.mResult.IsOK()) << Why(lL.mResult);
        const uint8_t lChunks[] = {1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0x10, 0, 0, 0, 8};
        ASSERT_TRUE(lL.mMap->AttachDataChunks(lChunks, sizeof lChunks).IsOK());
        ReadAll(*lL.mMap, kCount, ZU_INVALID_PARAMETER);
        lL.mMap->DetachDataChunks();
        ReadAll(*lL.mMap, kCount, ZU_NO_AVAILABLE_DATA);
    }
    {
        // A port that does not say: what a failed read set aside is given back.
        FailingPort lPort;
        std::string lXml = LongRegistersDescription(kCount, false);
        std::unique_ptr<INodeMap> lMap;
        ASSERT_TRUE(LoadNodeMap(lXml.data(), lXml.size(), &lPort, lMap).IsOK());
        ReadAll(*lMap, kCount, ZU_TIMEOUT);
    }
    // A gigabyte when kept; AddressSanitizer holds on to some of what was
    // given back for a while.
    EXPECT_LT(PeakResidentKiB() - lStart, 512 * 1024);
}

// ---- Zipped descriptions ------------------------------------------------------------------

// The member's claimed size (up to 256 MiB) was allocated and zeroed before
// inflating: 110 bytes cost 266 MB.
TEST(Hostile, AZippedDescriptionInflatesOnlyWhatItHolds)
{
    const std::string lXml = EmptyStringRegDescription();
    const long lStart = PeakResidentKiB();
    std::unique_ptr<INodeMap> lMap;
    for (uint32_t lClaim : {uint32_t(256) << 20, uint32_t(lXml.size() + 1), uint32_t(lXml.size() - 1), 0u}) {
        const std::string lZip = DeflatedZip("d.xml", lXml, lClaim);
        ZuResult lR = LoadNodeMapFromZip(reinterpret_cast<const uint8_t *>(lZip.data()), lZip.size(), nullptr, lMap);
        EXPECT_EQ(lR.GetCode(), uint32_t(ZU_GENICAM_XML_ERROR)) << lClaim;
        EXPECT_NE(Why(lR).find("does not decompress"), std::string::npos) << lClaim << ": " << Why(lR);
    }
    EXPECT_LT(PeakResidentKiB() - lStart, 64 * 1024);
    // What claims its true size loads, however it is cut into blocks.
    for (const std::string &lText : {lXml, LongFormulaDescription(20000)}) {
        const std::string lZip = DeflatedZip("d.xml", lText, uint32_t(lText.size()));
        ZuResult lR = LoadNodeMapFromZip(reinterpret_cast<const uint8_t *>(lZip.data()), lZip.size(), nullptr, lMap);
        EXPECT_TRUE(lR.IsOK()) << Why(lR);
    }
}
