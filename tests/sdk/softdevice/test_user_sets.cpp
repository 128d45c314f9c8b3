#include "fakes.h"
#include "softdevice/model/device_model.h"
#include "softdevice/model/user_sets.h"
#include "ZuSoftDeviceGEV.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <unistd.h>

using namespace tarn::softdevice;
using tarn::test::CallLog;
using tarn::test::DefaultSource;
using tarn::test::FakeSource;
using tarn::test::RecordingSink;
using tarn::test::loopback;

namespace {

// A directory of its own for the test, named by TARN_USERSET_DIR.
struct Directory {
    std::string path;
    Directory()
    {
        char name[] = "/tmp/tarn-usersets-XXXXXX";
        path = mkdtemp(name);
        setenv("TARN_USERSET_DIR", path.c_str(), 1);
    }
    ~Directory()
    {
        unsetenv("TARN_USERSET_DIR");
        std::system(("rm -rf " + path).c_str());
    }
    std::string File() const { return userSetPath(path, "00000001", "02-00-7f-00-00-09"); }
};

// A register whose content depends on a selector it keeps itself: it
// persists each selector value under a suffix of its own.
struct Selected : IZuRegisterEventSink {
    uint32_t selector = 0;
    uint32_t values[2] = {0, 0};
    IZuRegister *reg = nullptr;
    std::vector<std::string> persisted;
    ZuResult refusal{ZU_OK};
    bool throwing = false;
    void PostWrite(IZuRegister *r) override { r->ReadInt(values[selector]); }
    ZuResult Persist(IZuRegister *r, IZuRegisterStore *aStore) override
    {
        if (throwing) throw std::runtime_error("Persist");
        if (!refusal.IsOK()) return refusal;
        const uint32_t was = selector;
        for (uint32_t s = 0; s < 2; ++s) {
            selector = s;
            r->Write(values[s]);
            ZuResult p = aStore->Persist(r, ZuString(("_" + std::to_string(s)).c_str()));
            persisted.push_back(std::to_string(s) + (p.IsOK() ? " ok" : " failed"));
        }
        selector = was;
        return ZuResult(ZU_OK);
    }
};

struct Camera {
    ZuSoftDeviceGEV self;
    CallLog log;
    FakeSource source{&log, 64, 48};
    RecordingSink sink{log};
    DeviceModel model{self};
    Selected selected;
    explicit Camera(uint32_t aSets = 2)
    {
        model.AddStream(&source);
        model.Sinks().Add(&sink);
        model.SetUserSetCount(aSets);
        sink.onRegisters = [&](IZuRegisterFactory *f) {
            f->AddRegister(ZuString("KeptReg"), 0x20000, 4, ZuGenAccessModeReadWrite);
            f->AddRegister(ZuString("LostReg"), 0x20004, 4, ZuGenAccessModeReadWrite);
            f->AddRegister(ZuString("TableReg"), 0x20008, 4, ZuGenAccessModeReadWrite, &selected);
        };
        sink.onFeatures = [&](IZuGenApiFactory *f) {
            IZuRegisterMap &m = model.Registers();
            f->SetName(ZuString("Kept"));
            f->SetStreamable(true);
            f->CreateInteger(m.GetRegisterByAddress(0x20000));
            f->SetName(ZuString("Lost"));
            f->CreateInteger(m.GetRegisterByAddress(0x20004));
            f->SetName(ZuString("Table"));
            f->CreateInteger(m.GetRegisterByAddress(0x20008));
        };
    }
    uint16_t Write(const char *aName, uint32_t aValue)
    {
        const uint8_t b[4] = {uint8_t(aValue >> 24), uint8_t(aValue >> 16), uint8_t(aValue >> 8), uint8_t(aValue)};
        return model.WriteMemory(standardAddress(aName), b, 4);
    }
    uint32_t Value(uint32_t aAddress)
    {
        uint32_t v = 0;
        model.Registers().GetRegisterByAddress(aAddress)->ReadInt(v);
        return v;
    }
};

} // namespace

TEST(UserSets, SavedSetsAndTheDefaultSurviveARestart)
{
    Directory dir;
    {
        Camera c;
        ASSERT_TRUE(c.model.Build(loopback()).IsOK());
        c.source.width = 32;
        c.model.Registers().GetRegisterByAddress(0x20000)->Write(11u);
        c.model.Registers().GetRegisterByAddress(0x20004)->Write(22u);
        c.selected.values[0] = 5;
        c.selected.values[1] = 6;
        ASSERT_EQ(c.Write("UserSetSelector", 2), kStatusSuccess);
        ASSERT_EQ(c.Write("UserSetSave", 1), kStatusSuccess);
        ASSERT_EQ(c.Write("UserSetDefault", 2), kStatusSuccess);
        // Once for the default set at start, once for set 2.
        EXPECT_EQ(c.selected.persisted, (std::vector<std::string>{"0 ok", "1 ok", "0 ok", "1 ok"}));
        // The default set cannot be overwritten by a controller.
        ASSERT_EQ(c.Write("UserSetSelector", 0), kStatusSuccess);
        EXPECT_EQ(c.Write("UserSetSave", 1), kStatusAccessDenied);
        EXPECT_EQ(c.model.UserSets().Problem(), "");
        c.model.Teardown();
    }
    Camera c;
    ASSERT_TRUE(c.model.Build(loopback()).IsOK());
    // Set 2 was loaded at start: the streamable register and the source's
    // width came back, the plain register did not, the sink got its table.
    EXPECT_EQ(c.Value(0x20000), 11u);
    EXPECT_EQ(c.Value(0x20004), 0u);
    EXPECT_EQ(c.source.width, 32u);
    EXPECT_EQ(c.selected.values[0], 5u);
    EXPECT_EQ(c.selected.values[1], 6u);
    // Loading the default set brings back the state the device started with.
    c.model.Registers().GetRegisterByAddress(0x20000)->Write(99u);
    ASSERT_EQ(c.Write("UserSetSelector", 2), kStatusSuccess);
    ASSERT_EQ(c.Write("UserSetLoad", 1), kStatusSuccess);
    EXPECT_EQ(c.Value(0x20000), 11u);
    // Set 1 was never saved.
    ASSERT_EQ(c.Write("UserSetSelector", 1), kStatusSuccess);
    EXPECT_EQ(c.Write("UserSetLoad", 1), kStatusInvalidParameter);
}

TEST(UserSets, ASaveASinkCannotKeepFailsAndTheSetSavedBeforeStays)
{
    Directory dir;
    Camera c;
    c.selected.refusal = ZuResult(ZU_GENERIC_ERROR);
    // The default set is what could be read of the device as it started.
    ASSERT_TRUE(c.model.Build(loopback()).IsOK());
    c.selected.refusal = ZuResult(ZU_OK);
    c.model.Registers().GetRegisterByAddress(0x20000)->Write(11u);
    ASSERT_EQ(c.Write("UserSetSelector", 1), kStatusSuccess);
    ASSERT_EQ(c.Write("UserSetSave", 1), kStatusSuccess);
    std::ifstream before(dir.File());
    const std::string saved((std::istreambuf_iterator<char>(before)), std::istreambuf_iterator<char>());
    c.model.Registers().GetRegisterByAddress(0x20000)->Write(12u);
    c.selected.refusal = ZuResult(ZU_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(c.Write("UserSetSave", 1), kStatusError);
    c.selected.refusal = ZuResult(ZU_OK);
    c.selected.throwing = true;
    EXPECT_EQ(c.Write("UserSetSave", 1), kStatusError);
    c.selected.throwing = false;
    std::ifstream after(dir.File());
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), std::istreambuf_iterator<char>()), saved);
    ASSERT_EQ(c.Write("UserSetLoad", 1), kStatusSuccess);
    EXPECT_EQ(c.Value(0x20000), 11u);
    ASSERT_EQ(c.Write("UserSetSelector", 0), kStatusSuccess);
    ASSERT_EQ(c.Write("UserSetLoad", 1), kStatusSuccess);
    EXPECT_EQ(c.Value(0x20000), 0u);
}

TEST(UserSets, ADamagedFileLeavesTheDeviceStartingWithAClearReason)
{
    Directory dir;
    {
        std::ofstream out(dir.File());
        out << "tarn-user-sets 1\ndefault 1\nset 1\nKept 0000000\nend\n";
    }
    Camera c;
    ASSERT_TRUE(c.model.Build(loopback()).IsOK());
    EXPECT_NE(c.model.UserSets().Problem().find("line 4: a value is a name and an even number of hex digits"), std::string::npos)
        << c.model.UserSets().Problem();
    EXPECT_EQ(c.Value(0x20000), 0u);
    // A save replaces the damaged file with a good one.
    ASSERT_EQ(c.Write("UserSetSelector", 1), kStatusSuccess);
    ASSERT_EQ(c.Write("UserSetSave", 1), kStatusSuccess);
    UserSetFile file;
    bool exists = false;
    std::string error;
    ASSERT_TRUE(readUserSetFile(dir.File(), file, exists, error)) << error;
    EXPECT_TRUE(exists);
    EXPECT_EQ(file.sets.count(1), 1u);
}

TEST(UserSets, TheFileFormatReadsBackAndRefusesWhatItIsNot)
{
    UserSetFile f;
    f.defaultSet = 3;
    f.sets[3]["A"] = {0x00, 0xAB};
    f.sets[3]["B#1"] = {};
    f.sets[7]["C"] = {0xFF};
    UserSetFile back;
    std::string error;
    ASSERT_TRUE(parseUserSets(formatUserSets(f), back, error)) << error;
    EXPECT_EQ(back.defaultSet, 3u);
    EXPECT_EQ(back.sets, f.sets);
    // A file whose lines an editor ended with CR LF reads the same.
    std::string crlf;
    for (char c : formatUserSets(f)) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    ASSERT_TRUE(parseUserSets(crlf, back, error)) << error;
    EXPECT_EQ(back.sets, f.sets);
    for (const char *bad : {"", "tarn-user-sets 2\n", "tarn-user-sets 1\nset 0\nend\n", "tarn-user-sets 1\nset 1\nA 00\n",
                            "tarn-user-sets 1\nset 1\nend\nset 1\nend\n", "tarn-user-sets 1\ndefault 4294967296\n",
                            "tarn-user-sets 1\nset 1\nA 0G\nend\n", "tarn-user-sets 1\nwhat 1\n", "tarn-user-sets 1\nset 1\nA\nend\n"}) {
        EXPECT_FALSE(parseUserSets(bad, back, error)) << bad;
        EXPECT_TRUE(back.sets.empty());
    }
}

TEST(UserSets, ASetSavedWiderLoadsOverOffsetsThatWouldNotFitIt)
{
    Directory dir;
    // A source of its own that refuses any width and offset that together
    // leave its 64 by 48 pixels, as a sensor does.
    ZuSoftDeviceGEV self;
    CallLog log;
    RecordingSink sink{log};
    DefaultSource source(64, 48);
    DeviceModel model{self};
    model.AddStream(&source);
    model.Sinks().Add(&sink);
    model.SetUserSetCount(1);
    ASSERT_TRUE(model.Build(loopback()).IsOK());
    auto write = [&](const char *aName, uint32_t aValue) {
        const uint8_t b[4] = {uint8_t(aValue >> 24), uint8_t(aValue >> 16), uint8_t(aValue >> 8), uint8_t(aValue)};
        return model.WriteMemory(standardAddress(aName), b, 4);
    };
    ASSERT_EQ(write("Width", 60), kStatusSuccess);
    ASSERT_EQ(write("Height", 40), kStatusSuccess);
    ASSERT_EQ(write("OffsetX", 2), kStatusSuccess);
    ASSERT_EQ(write("UserSetSelector", 1), kStatusSuccess);
    ASSERT_EQ(write("UserSetSave", 1), kStatusSuccess);
    // Now narrow and far to the right and bottom: the saved width and
    // height fit only once the offsets are out of the way.
    ASSERT_EQ(write("Width", 8), kStatusSuccess);
    ASSERT_EQ(write("OffsetX", 50), kStatusSuccess);
    ASSERT_EQ(write("Height", 8), kStatusSuccess);
    ASSERT_EQ(write("OffsetY", 30), kStatusSuccess);
    ASSERT_EQ(write("UserSetLoad", 1), kStatusSuccess);
    EXPECT_EQ(source.GetWidth(), 60u);
    EXPECT_EQ(source.GetHeight(), 40u);
    EXPECT_EQ(source.GetOffsetX(), 2u);
    EXPECT_EQ(source.GetOffsetY(), 0u);
    model.Teardown();
}
