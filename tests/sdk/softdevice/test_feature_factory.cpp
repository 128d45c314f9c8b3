#include "fakes.h"
#include "softdevice/model/device_model.h"
#include "softdevice/model/feature_factory.h"
#include "ZuGenParameter.h"
#include "ZuGenParameterArray.h"
#include "ZuSoftDeviceGEV.h"
#include "tarn/genicam/Engine.h"
#include "tarn/genicam/Parameters.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace tarn::softdevice;
using tarn::test::CallLog;
using tarn::test::FakeSource;
using tarn::test::RecordingSink;
using tarn::test::loopback;

namespace {

struct ModelPort : ZU_GENAPI_NS::IPort {
    explicit ModelPort(DeviceModel &aModel) : model(aModel) {}
    ZuResult Read(uint64_t aAddress, void *aData, int64_t aLength) override
    {
        const uint32_t start = uint32_t(aAddress) & ~3u;
        const uint32_t end = (uint32_t(aAddress + uint64_t(aLength)) + 3u) & ~3u;
        std::vector<uint8_t> out(end - start);
        if (model.ReadMemory(start, end - start, out.data()) != kStatusSuccess) return ZuResult(ZU_GENERIC_ERROR);
        std::memcpy(aData, out.data() + (aAddress - start), size_t(aLength));
        return ZuResult(ZU_OK);
    }
    ZuResult Write(uint64_t aAddress, const void *aData, int64_t aLength) override
    {
        uint16_t s = model.WriteMemory(uint32_t(aAddress), static_cast<const uint8_t *>(aData), uint32_t(aLength));
        return ZuResult(s == kStatusSuccess ? ZU_OK : ZU_GENERIC_ERROR);
    }
    DeviceModel &model;
};

// Refuses writes of values above a limit.
struct Limit : IZuRegisterEventSink {
    uint32_t above;
    int writes = 0;
    explicit Limit(uint32_t aAbove) : above(aAbove) {}
    ZuResult PreWrite(IZuRegister *r) override
    {
        uint32_t v = 0;
        r->ReadInt(v);
        return ZuResult(v > above ? ZU_INVALID_PARAMETER : ZU_OK);
    }
    void PostWrite(IZuRegister *) override { ++writes; }
};

struct Device {
    ZuSoftDeviceGEV self;
    CallLog log;
    FakeSource source{&log, 64, 48};
    FakeSource second{&log, 32, 16};
    RecordingSink sink{log};
    DeviceModel model{self};
    ZuGenParameterArray features;
    std::unique_ptr<ModelPort> port;
    explicit Device(bool aTwo = false)
    {
        model.AddStream(&source);
        if (aTwo) model.AddStream(&second);
        model.Sinks().Add(&sink);
    }
    ZuResult Start()
    {
        ZuResult r = model.Build(loopback());
        if (!r.IsOK()) return r;
        port = std::make_unique<ModelPort>(model);
        const std::string xml = model.Description();
        return tarn::LoadDescription(features, xml.data(), xml.size(), port.get());
    }
    IZuRegister *Reg(uint32_t aAddress) { return model.Registers().GetRegisterByAddress(aAddress); }
};

constexpr uint32_t kGain = 0x20000, kRatio = 0x20008, kMode = 0x20010, kFire = 0x20014, kLabel = 0x20020,
                   kFlag = 0x20040, kRaw = 0x20044, kMs = 0x20050, kKey = 0x20054;

void declareAll(Device &d, Limit &limit)
{
    d.sink.onRegisters = [&](IZuRegisterFactory *f) {
        ASSERT_TRUE(f->AddRegister(ZuString("GainReg"), kGain, 4, ZuGenAccessModeReadWrite, &limit).IsOK());
        ASSERT_TRUE(f->AddRegister(ZuString("RatioReg"), kRatio, 8, ZuGenAccessModeReadWrite).IsOK());
        ASSERT_TRUE(f->AddRegister(ZuString("ModeReg"), kMode, 4, ZuGenAccessModeReadWrite).IsOK());
        ASSERT_TRUE(f->AddRegister(ZuString("FireReg"), kFire, 4, ZuGenAccessModeWriteOnly).IsOK());
        ASSERT_TRUE(f->AddByteArray(ZuString("LabelReg"), kLabel, 32, ZuGenAccessModeReadWrite).IsOK());
        ASSERT_TRUE(f->AddRegister(ZuString("FlagReg"), kFlag, 4, ZuGenAccessModeReadWrite).IsOK());
        ASSERT_TRUE(f->AddByteArray(ZuString("RawReg"), kRaw, 8, ZuGenAccessModeReadOnly).IsOK());
        ASSERT_TRUE(f->AddRegister(ZuString("MsReg"), kMs, 4, ZuGenAccessModeReadWrite).IsOK());
        ASSERT_TRUE(f->AddRegister(ZuString("KeyReg"), kKey, 4, ZuGenAccessModeReadWrite).IsOK());
    };
    d.sink.onFeatures = [&](IZuGenApiFactory *f) {
        IZuRegisterMap &m = d.model.Registers();
        f->SetName(ZuString("TestGain"));
        f->SetCategory(ZuString("TestControl\\TestDetails"), ZuString("Details"));
        f->SetUnit(ZuString("dB"));
        f->SetStreamable(true);
        f->SetToolTip(ZuString("Gain <of> the test"));
        ASSERT_TRUE(f->CreateInteger(m.GetRegisterByAddress(kGain), 0, 100, 2).IsOK());
        f->SetName(ZuString("TestRatio"));
        f->SetCategory(ZuString("TestControl"));
        ASSERT_TRUE(f->CreateFloat(m.GetRegisterByAddress(kRatio), -1.5, 2.5).IsOK());
        f->SetName(ZuString("TestMode"));
        f->SetCategory(ZuString("TestControl"));
        f->AddEnumEntry(ZuString("Off"), 0);
        f->AddEnumEntry(ZuString("FastMode"), 7, ZuString(""), ZuGenNameSpaceCustom);
        f->AddEnumEntry(ZuString("Slow"), 9, ZuString("Very slow"), ZuGenNameSpaceStandard);
        ASSERT_TRUE(f->CreateEnum(m.GetRegisterByAddress(kMode)).IsOK());
        f->SetName(ZuString("TestFire"));
        f->SetCategory(ZuString("TestControl"));
        ASSERT_TRUE(f->CreateCommand(m.GetRegisterByAddress(kFire)).IsOK());
        f->SetName(ZuString("TestLabel"));
        f->SetCategory(ZuString("TestControl"));
        ASSERT_TRUE(f->CreateString(m.GetRegisterByAddress(kLabel)).IsOK());
        f->SetName(ZuString("TestFlag"));
        f->SetCategory(ZuString("TestControl"));
        f->SetTLLocked(true);
        ASSERT_TRUE(f->CreateBoolean(m.GetRegisterByAddress(kFlag)).IsOK());
        f->SetName(ZuString("TestRaw"));
        ASSERT_TRUE(f->CreateRegister(m.GetRegisterByAddress(kRaw)).IsOK());
        f->SetName(ZuString("TestDouble"));
        f->SetCategory(ZuString("TestControl"));
        f->AddVariable(ZuString("TestGain"));
        f->AddVariable(ZuString("TestMode"));
        ASSERT_TRUE(f->CreateIntSwissKnife(ZuString("TestGain*2+TestMode")).IsOK());
        f->SetName(ZuString("TestHalf"));
        f->AddVariable(ZuString("TestGain"));
        ASSERT_TRUE(f->CreateFloatSwissKnife(ZuString("TestGain/4")).IsOK());
        f->SetName(ZuString("TestMs"));
        f->SetCategory(ZuString("TestControl"));
        ASSERT_TRUE(f->CreateInteger(m.GetRegisterByAddress(kMs), 0, 1000000).IsOK());
        f->SetName(ZuString("TestUs"));
        f->SetCategory(ZuString("TestControl"));
        ASSERT_TRUE(f->CreateIntConverter(ZuString("TestMs"), ZuString("TO*1000"), ZuString("FROM/1000")).IsOK());
        f->SetName(ZuString("TestMirror"));
        f->SetPValue(ZuString("TestGain"));
        f->SetPMax(ZuString("TestMs"));
        ASSERT_TRUE(f->CreateInteger(nullptr).IsOK());
        f->SetName(ZuString("TestKey"));
        f->SetCategory(ZuString("TestControl"));
        f->SetAccessMode(ZuGenAccessModeWriteOnly);
        ASSERT_TRUE(f->CreateInteger(m.GetRegisterByAddress(kKey), 0, 1000).IsOK());
        f->SetName(ZuString("TestChunkValue"));
        f->MapChunk(0x1234, 4, 4, ZuGenEndiannessBig);
        ASSERT_TRUE(f->CreateInteger().IsOK());
        // Additions to the device's own features.
        ASSERT_TRUE(f->AddInvalidatorTo(ZuString("Width"), ZuString("TestMode")).IsOK());
        ASSERT_TRUE(f->SetPIsAvailableFor(ZuString("DeviceUserID"), ZuString("TestFlag")).IsOK());
    };
}

} // namespace

TEST(FeatureFactory, EveryKindLoadsBackInTheEngineWithItsDeclaredValues)
{
    Device d;
    Limit limit(50);
    declareAll(d, limit);
    ZuResult started = d.Start();
    ASSERT_TRUE(started.IsOK()) << started.GetDescription().Narrow() << d.model.Description();
    ZuGenParameterArray &p = d.features;
    // Integer: limits, increment, refusal by the register's sink.
    auto *gain = dynamic_cast<ZuGenInteger *>(p.Get(ZuString("TestGain")));
    ASSERT_NE(gain, nullptr);
    int64_t v = 0;
    gain->GetMin(v);
    EXPECT_EQ(v, 0);
    gain->GetMax(v);
    EXPECT_EQ(v, 100);
    gain->GetIncrement(v);
    EXPECT_EQ(v, 2);
    ASSERT_TRUE(p.SetIntegerValue(ZuString("TestGain"), 40).IsOK());
    EXPECT_EQ(limit.writes, 1);
    EXPECT_FALSE(p.SetIntegerValue(ZuString("TestGain"), 102).IsOK());    // beyond the maximum
    EXPECT_FALSE(p.SetIntegerValue(ZuString("TestGain"), 41).IsOK());     // off the increment
    EXPECT_FALSE(p.SetIntegerValue(ZuString("TestGain"), 60).IsOK());     // refused by the sink
    EXPECT_EQ(limit.writes, 1);
    uint32_t raw = 0;
    ASSERT_TRUE(d.Reg(kGain)->ReadInt(raw).IsOK());
    EXPECT_EQ(raw, 40u);
    ZuString text;
    gain->GetDisplayName(text);
    EXPECT_EQ(text.Narrow(), "Gain");
    // Float, enumeration, command, string, boolean.
    ASSERT_TRUE(p.SetFloatValue(ZuString("TestRatio"), 2.25).IsOK());
    double dv = 0;
    ASSERT_TRUE(d.Reg(kRatio)->ReadDouble(dv).IsOK());
    EXPECT_EQ(dv, 2.25);
    EXPECT_FALSE(p.SetFloatValue(ZuString("TestRatio"), 3.0).IsOK());
    ASSERT_TRUE(p.SetEnumValue(ZuString("TestMode"), ZuString("FastMode")).IsOK());
    ASSERT_TRUE(d.Reg(kMode)->ReadInt(raw).IsOK());
    EXPECT_EQ(raw, 7u);
    auto *mode = dynamic_cast<ZuGenEnum *>(p.Get(ZuString("TestMode")));
    ASSERT_NE(mode, nullptr);
    const ZuGenEnumEntry *entry = nullptr;
    ASSERT_TRUE(mode->GetEntryByName(ZuString("Slow"), &entry).IsOK());
    entry->GetDisplayName(text);
    EXPECT_EQ(text.Narrow(), "Very slow");
    ASSERT_TRUE(mode->GetEntryByName(ZuString("FastMode"), &entry).IsOK());
    entry->GetDisplayName(text);
    EXPECT_EQ(text.Narrow(), "Fast Mode");
    ASSERT_TRUE(p.ExecuteCommand(ZuString("TestFire")).IsOK());
    ASSERT_TRUE(d.Reg(kFire)->ReadInt(raw).IsOK());
    EXPECT_EQ(raw, 1u);
    // Write-only through its register, or as declared over a register that
    // could be read: the description says so, and a read is refused.
    for (const char *name : {"TestFire", "TestKey"}) {
        bool readable = true, writable = false;
        ASSERT_TRUE(p.Get(ZuString(name))->IsReadable(readable).IsOK());
        ASSERT_TRUE(p.Get(ZuString(name))->IsWritable(writable).IsOK());
        EXPECT_FALSE(readable) << name;
        EXPECT_TRUE(writable) << name;
    }
    ASSERT_TRUE(p.SetIntegerValue(ZuString("TestKey"), 77).IsOK());
    ASSERT_TRUE(d.Reg(kKey)->ReadInt(raw).IsOK());
    EXPECT_EQ(raw, 77u);
    EXPECT_FALSE(p.GetIntegerValue(ZuString("TestKey"), v).IsOK());
    ASSERT_TRUE(p.SetStringValue(ZuString("TestLabel"), ZuString("left")).IsOK());
    ASSERT_TRUE(d.Reg(kLabel)->ReadString(text).IsOK());
    EXPECT_EQ(text.Narrow(), "left");
    ASSERT_TRUE(p.SetBooleanValue(ZuString("TestFlag"), true).IsOK());
    ASSERT_TRUE(d.Reg(kFlag)->ReadInt(raw).IsOK());
    EXPECT_EQ(raw, 1u);
    // TL-locked: locked while TLParamsLocked is set.
    ASSERT_TRUE(p.SetIntegerValue(ZuString("TLParamsLocked"), 1).IsOK());
    EXPECT_FALSE(p.SetBooleanValue(ZuString("TestFlag"), false).IsOK());
    ASSERT_TRUE(p.SetIntegerValue(ZuString("TLParamsLocked"), 0).IsOK());
    EXPECT_NE(p.Get(ZuString("TestRaw")), nullptr);
    // Computed: the SwissKnives follow their variables, the converter both ways.
    ASSERT_TRUE(p.GetIntegerValue(ZuString("TestDouble"), v).IsOK());
    EXPECT_EQ(v, 40 * 2 + 7);
    ASSERT_TRUE(p.GetFloatValue(ZuString("TestHalf"), dv).IsOK());
    EXPECT_EQ(dv, 10.0);
    ASSERT_TRUE(d.Reg(kMs)->Write(4u).IsOK());
    ASSERT_TRUE(p.GetIntegerValue(ZuString("TestUs"), v).IsOK());
    EXPECT_EQ(v, 4000);
    ASSERT_TRUE(p.SetIntegerValue(ZuString("TestUs"), 2000).IsOK());
    ASSERT_TRUE(d.Reg(kMs)->ReadInt(raw).IsOK());
    EXPECT_EQ(raw, 2u);
    // pValue and pMax: the mirror is the gain, bounded by TestMs.
    ASSERT_TRUE(p.GetIntegerValue(ZuString("TestMirror"), v).IsOK());
    EXPECT_EQ(v, 40);
    auto *mirror = dynamic_cast<ZuGenInteger *>(p.Get(ZuString("TestMirror")));
    ASSERT_NE(mirror, nullptr);
    mirror->GetMax(v);
    EXPECT_EQ(v, 2);
    // A chunk feature reads from the chunk data attached.
    auto *chunkValue = dynamic_cast<ZuGenInteger *>(p.Get(ZuString("TestChunkValue")));
    ASSERT_NE(chunkValue, nullptr);
    // Declared without limits: all that its four bytes hold.
    chunkValue->GetMax(v);
    EXPECT_EQ(v, 0xFFFFFFFF);
    // The references reached the device's own features.
    const std::string xml = d.model.Description();
    EXPECT_NE(xml.find("<pInvalidator>TestMode</pInvalidator>"), std::string::npos);
    EXPECT_NE(xml.find("<pIsAvailable>TestFlag</pIsAvailable>"), std::string::npos);
    EXPECT_NE(xml.find("<ChunkID>1234</ChunkID>"), std::string::npos);
    EXPECT_NE(xml.find("Gain &lt;of&gt; the test"), std::string::npos);
    // Categories nest as declared, the inner one with its display name.
    EXPECT_NE(xml.find("<Category Name=\"TestDetails\" NameSpace=\"Custom\">\n    <DisplayName>Details</DisplayName>\n    <pFeature>TestGain</pFeature>"), std::string::npos);
    ASSERT_TRUE(p.SetBooleanValue(ZuString("TestFlag"), false).IsOK());
    bool available = true;
    ASSERT_NE(p.Get(ZuString("DeviceUserID")), nullptr);
    p.Get(ZuString("DeviceUserID"))->IsAvailable(available);
    EXPECT_FALSE(available);
}

TEST(FeatureFactory, CreateResultsFollowTheDocumentedRulesAndResetTheAttributes)
{
    FeatureFactory f;
    RegisterSpace space;
    RegisterCatalog catalog;
    RegisterFactory registers(catalog, space);
    ASSERT_TRUE(registers.AddRegister(ZuString("R"), 0x20000, 4, ZuGenAccessModeReadWrite).IsOK());
    ASSERT_TRUE(registers.AddByteArray(ZuString("B"), 0x20010, 16, ZuGenAccessModeReadWrite).IsOK());
    IZuRegister *r = catalog.GetRegisterByAddress(0x20000), *b = catalog.GetRegisterByAddress(0x20010);
    EXPECT_EQ(f.CreateInteger(r).GetCode(), uint32_t(ZU_NOT_INITIALIZED));
    f.SetName(ZuString("A"));
    EXPECT_EQ(f.CreateInteger(nullptr).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    // The name went with the failed Create*.
    EXPECT_EQ(f.CreateInteger(r).GetCode(), uint32_t(ZU_NOT_INITIALIZED));
    f.SetName(ZuString("A"));
    EXPECT_EQ(f.CreateInteger(r, 5, 4, 1).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    f.SetName(ZuString("A"));
    EXPECT_EQ(f.CreateInteger(r, 4, 4, 0).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    f.SetName(ZuString("A"));
    EXPECT_TRUE(f.CreateInteger(r, 4, 4, 1).IsOK());
    f.SetName(ZuString("F"));
    EXPECT_EQ(f.CreateFloat(r, 1.0, 0.5).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    f.SetName(ZuString("E"));
    EXPECT_EQ(f.CreateEnum(r).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    f.SetName(ZuString("C"));
    f.MapChunk(1, 0, 4, ZuGenEndiannessLittle);
    EXPECT_EQ(f.CreateCommand(nullptr).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    f.SetName(ZuString("C"));
    f.SetPValue(ZuString("A"));
    EXPECT_TRUE(f.CreateCommand(nullptr).IsOK());
    f.SetName(ZuString("N"));
    EXPECT_EQ(f.CreateInteger(b).GetCode(), uint32_t(ZU_INVALID_PARAMETER));   // 16 bytes: no integer
    f.SetName(ZuString("S"));
    EXPECT_TRUE(f.CreateString(b).IsOK());
    f.SetName(ZuString("9bad"));
    EXPECT_EQ(f.CreateString(b).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(f.CreateIntSwissKnife(ZuString("1")).GetCode(), uint32_t(ZU_NOT_INITIALIZED));
    f.SetName(ZuString("K"));
    EXPECT_EQ(f.CreateIntSwissKnife(ZuString("")).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    f.SetName(ZuString("K"));
    EXPECT_EQ(f.CreateFloatConverter(ZuString("A"), ZuString(""), ZuString("FROM")).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    f.SetName(ZuString("K"));
    f.AddVariable(ZuString("A"));
    f.AddEnumEntry(ZuString("X"), 1);
    EXPECT_TRUE(f.CreateIntSwissKnife(ZuString("A+1")).IsOK());
    // Entries and variables go only where they belong, and never survive a Create*.
    const auto &all = f.Features();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_TRUE(all[3].entries.empty());
    EXPECT_EQ(all[3].variables, std::vector<std::string>{"A"});
    f.SetName(ZuString("L"));
    EXPECT_TRUE(f.CreateInteger(r).IsOK());
    EXPECT_TRUE(f.Features().back().variables.empty());
    EXPECT_FALSE(f.Features().back().hasLimits);
    EXPECT_EQ(all[0].source, -1);
}

TEST(FeatureFactory, TwoKindsOfOneNameFailStartWithADescription)
{
    Device d;
    d.sink.onFeatures = [&](IZuGenApiFactory *f) {
        f->SetName(ZuString("Twice"));
        f->SetPValue(ZuString("Width"));
        f->CreateInteger();
        f->SetName(ZuString("Twice"));
        f->SetPValue(ZuString("Width"));
        f->CreateFloat();
    };
    ZuResult r = d.model.Build(loopback());
    EXPECT_EQ(r.GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_NE(r.GetDescription().Narrow().find("Twice is declared as Integer and as Float"), std::string::npos);
    EXPECT_FALSE(d.model.Built());
    // A name of the device's own is refused too.
    d.sink.onFeatures = [&](IZuGenApiFactory *f) {
        f->SetName(ZuString("Width"));
        f->SetPValue(ZuString("Height"));
        f->CreateInteger();
    };
    r = d.model.Build(loopback());
    EXPECT_NE(r.GetDescription().Narrow().find("Width is one of the device's own"), std::string::npos);
    d.sink.onFeatures = nullptr;
    EXPECT_TRUE(d.model.Build(loopback()).IsOK());
}

TEST(FeatureFactory, SourcesFeaturesFollowSourceSelector)
{
    Device d(true);
    // Each source its own register, limits and entries; one declares an
    // extra feature of its own.
    auto registers = [&](uint32_t at) {
        return [&, at](IZuRegisterMap *, IZuRegisterFactory *f) {
            ASSERT_TRUE(f->AddRegister(ZuString("Level"), at, 4, ZuGenAccessModeReadWrite).IsOK());
            ASSERT_TRUE(f->AddRegister(ZuString("Pick"), at + 4, 4, ZuGenAccessModeReadWrite).IsOK());
        };
    };
    d.source.onCreateRegisters = registers(0x30000);
    d.second.onCreateRegisters = registers(0x40000);
    d.source.onCreateFeatures = [&](IZuRegisterMap *m, IZuGenApiFactory *f) {
        f->SetName(ZuString("Level"));
        f->SetCategory(ZuString("ImageFormatControl"));
        ASSERT_TRUE(f->CreateInteger(m->GetRegisterByAddress(0x30000), 0, 10, 1).IsOK());
        f->SetName(ZuString("Pick"));
        f->AddEnumEntry(ZuString("Both"), 1);
        f->AddEnumEntry(ZuString("OnlyFirst"), 2);
        ASSERT_TRUE(f->CreateEnum(m->GetRegisterByAddress(0x30004)).IsOK());
        f->SetName(ZuString("FirstOnly"));
        f->SetPValue(ZuString("Level"));
        ASSERT_TRUE(f->CreateInteger().IsOK());
    };
    d.second.onCreateFeatures = [&](IZuRegisterMap *m, IZuGenApiFactory *f) {
        f->SetName(ZuString("Level"));
        f->SetCategory(ZuString("ImageFormatControl"));
        ASSERT_TRUE(f->CreateInteger(m->GetRegisterByAddress(0x40000), 5, 20, 5).IsOK());
        f->SetName(ZuString("Pick"));
        f->AddEnumEntry(ZuString("Both"), 1);
        ASSERT_TRUE(f->CreateEnum(m->GetRegisterByAddress(0x40004)).IsOK());
    };
    ZuResult started = d.Start();
    ASSERT_TRUE(started.IsOK()) << started.GetDescription().Narrow();
    ZuGenParameterArray &p = d.features;
    auto *level = dynamic_cast<ZuGenInteger *>(p.Get(ZuString("Level")));
    ASSERT_NE(level, nullptr);
    int64_t v = 0;
    ASSERT_TRUE(p.SetIntegerValue(ZuString("Level"), 3).IsOK());
    level->GetMax(v);
    EXPECT_EQ(v, 10);
    ASSERT_TRUE(p.SetIntegerValue(ZuString("SourceSelector"), 1).IsOK());
    level->GetMax(v);
    EXPECT_EQ(v, 20);
    level->GetIncrement(v);
    EXPECT_EQ(v, 5);
    EXPECT_FALSE(p.SetIntegerValue(ZuString("Level"), 3).IsOK());
    ASSERT_TRUE(p.SetIntegerValue(ZuString("Level"), 15).IsOK());
    uint32_t raw = 0;
    ASSERT_TRUE(d.Reg(0x40000)->ReadInt(raw).IsOK());
    EXPECT_EQ(raw, 15u);
    ASSERT_TRUE(d.Reg(0x30000)->ReadInt(raw).IsOK());
    EXPECT_EQ(raw, 3u);
    bool available = true;
    p.Get(ZuString("FirstOnly"))->IsAvailable(available);
    EXPECT_FALSE(available);
    auto *pick = dynamic_cast<ZuGenEnum *>(p.Get(ZuString("Pick")));
    ASSERT_NE(pick, nullptr);
    const ZuGenEnumEntry *entry = nullptr;
    ASSERT_TRUE(pick->GetEntryByName(ZuString("OnlyFirst"), &entry).IsOK());
    entry->IsAvailable(available);
    EXPECT_FALSE(available);
    ASSERT_TRUE(p.SetIntegerValue(ZuString("SourceSelector"), 0).IsOK());
    ASSERT_TRUE(p.GetIntegerValue(ZuString("Level"), v).IsOK());
    EXPECT_EQ(v, 3);
    p.Get(ZuString("FirstOnly"))->IsAvailable(available);
    EXPECT_TRUE(available);
}

// A feature locked both while TLParamsLocked is set and by a feature of its
// own has one node that says so, whatever its kind (a string feature is its
// register node: it was declared twice).
TEST(FeatureFactory, AFeatureLockedTwoWaysDeclaresItsLockOnce)
{
    for (bool string : {false, true}) {
        Device d;
        d.sink.onRegisters = [&](IZuRegisterFactory *f) {
            ASSERT_TRUE(f->AddByteArray(ZuString("LabelReg"), 0x20020, 32, ZuGenAccessModeReadWrite).IsOK());
            ASSERT_TRUE(f->AddRegister(ZuString("FlagReg"), 0x20040, 4, ZuGenAccessModeReadWrite).IsOK());
        };
        d.sink.onFeatures = [&](IZuGenApiFactory *f) {
            IZuRegisterMap &m = d.model.Registers();
            f->SetName(ZuString("TestFlag"));
            ASSERT_TRUE(f->CreateBoolean(m.GetRegisterByAddress(0x20040)).IsOK());
            f->SetName(ZuString("TestLocked"));
            f->SetTLLocked(true);
            f->SetPIsLocked(ZuString("TestFlag"));
            ASSERT_TRUE((string ? f->CreateString(m.GetRegisterByAddress(0x20020))
                                : f->CreateInteger(m.GetRegisterByAddress(0x20040), 0, 1, 1)).IsOK());
        };
        ZuResult started = d.Start();
        ASSERT_TRUE(started.IsOK()) << started.GetDescription().Narrow();
        const std::string xml = d.model.Description();
        const std::string node = "Name=\"TestLockedLocked\"";
        EXPECT_NE(xml.find(node), std::string::npos) << string;
        EXPECT_EQ(xml.find(node), xml.rfind(node)) << string;
        // Locked: not writable while its flag is set.
        bool writable = false;
        ASSERT_TRUE(d.features.Get(ZuString("TestLocked"))->IsWritable(writable).IsOK());
        EXPECT_TRUE(writable) << string;
        ASSERT_TRUE(d.features.SetBooleanValue(ZuString("TestFlag"), true).IsOK());
        ASSERT_TRUE(d.features.Get(ZuString("TestLocked"))->IsWritable(writable).IsOK());
        EXPECT_FALSE(writable) << string;
    }
}
