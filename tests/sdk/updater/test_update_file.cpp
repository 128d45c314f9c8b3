// The update file's parser against good, damaged and hostile files, and the
// software camera's firmware window against a controller that gets the
// transfer wrong.

#include "UpdateFile.h"
#include "gev/bridge.h"
#include "softdevice/model/bridges.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

using tarn::updater::BuildUpdateFile;
using tarn::updater::ParseUpdateFile;
using tarn::updater::UpdateFile;
using Members = std::vector<std::pair<std::string, std::vector<uint8_t>>>;

namespace {

std::vector<uint8_t> Bytes(const std::string &s)
{
    return std::vector<uint8_t>(s.begin(), s.end());
}

uint32_t Code(const std::vector<uint8_t> &aFile)
{
    UpdateFile out;
    return ParseUpdateFile(aFile.data(), aFile.size(), out).GetCode();
}

void Seal(std::vector<uint8_t> &aFile)
{
    const uint32_t crc = uint32_t(crc32(crc32(0L, Z_NULL, 0), aFile.data(), uInt(aFile.size())));
    for (int k = 0; k < 4; ++k) aFile.push_back(uint8_t(crc >> (8 * k)));
}

// A file whose checksum matches whatever its members are.
std::vector<uint8_t> Resealed(std::vector<uint8_t> aFile)
{
    aFile.resize(aFile.size() - 4);
    Seal(aFile);
    return aFile;
}

long PeakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

const std::vector<uint8_t> kImage = {1, 2, 3, 4, 5, 6, 7};

} // namespace

TEST(UpdateFile, AGoodFileGivesItsImageVersionAndModel)
{
    auto file = BuildUpdateFile({{"notes.txt", Bytes("hello")},
                                 {"manifest", Bytes("# comment\r\nFormat = 1\n\nVersion=2.1.0\nImage=fw.bin\nModel=SoftCamera\n")},
                                 {"fw.bin", kImage}});
    UpdateFile out;
    ASSERT_TRUE(ParseUpdateFile(file.data(), file.size(), out).IsOK());
    EXPECT_EQ(out.version, "2.1.0");
    EXPECT_EQ(out.model, "SoftCamera");
    EXPECT_EQ(out.image, kImage);
}

TEST(UpdateFile, EveryTruncationAndEveryDamagedByteIsRefused)
{
    const auto file = BuildUpdateFile({{"manifest", Bytes("Format=1\nVersion=1\nImage=i\n")}, {"i", kImage}});
    for (size_t n = 0; n < file.size(); ++n) {
        // An exact-size copy, so that the sanitizer sees any read past it.
        std::vector<uint8_t> cut(file.begin(), file.begin() + n);
        EXPECT_EQ(Code(cut), uint32_t(ZU_INVALID_DATA_FORMAT)) << n;
        std::vector<uint8_t> damaged = file;
        damaged[n] ^= 0x20;
        EXPECT_EQ(Code(damaged), uint32_t(ZU_INVALID_DATA_FORMAT)) << n;
    }
}

TEST(UpdateFile, LengthsThatOverrunAreRefusedEvenWithAGoodChecksum)
{
    auto file = BuildUpdateFile({{"manifest", Bytes("Format=1\nVersion=1\nImage=i\n")}, {"i", kImage}});
    const size_t imageLength = file.size() - 4 - kImage.size() - 4;  // the last member's length field
    for (uint32_t bad : {uint32_t(kImage.size() + 1), 0xFFFFFFFFu, 0x80000000u}) {
        auto f = file;
        for (int k = 0; k < 4; ++k) f[imageLength + k] = uint8_t(bad >> (8 * k));
        EXPECT_EQ(Code(Resealed(f)), uint32_t(ZU_INVALID_DATA_FORMAT)) << bad;
    }
    auto nameless = file;
    nameless[8] = nameless[9] = 0;  // the first member's name length
    EXPECT_EQ(Code(Resealed(nameless)), uint32_t(ZU_INVALID_DATA_FORMAT));
}

TEST(UpdateFile, ManifestsThatLackOrMisnameAreRefused)
{
    const uint32_t kManifest = ZU_CANT_READ_MANIFEST, kFormat = ZU_INVALID_DATA_FORMAT;
    const struct {
        Members members;
        uint32_t code;
    } cases[] = {
        {{{"i", kImage}}, kManifest},                                                        // no manifest
        {{{"manifest", Bytes("Version=1\nImage=i\n")}, {"i", kImage}}, kManifest},           // no format
        {{{"manifest", Bytes("Format=2\nVersion=1\nImage=i\n")}, {"i", kImage}}, kManifest}, // another format
        {{{"manifest", Bytes("Format=1\nImage=i\n")}, {"i", kImage}}, kManifest},            // no version
        {{{"manifest", Bytes("Format=1\nVersion=" + std::string(32, 'v') + "\nImage=i\n")}, {"i", kImage}}, kManifest},
        {{{"manifest", Bytes("Format=1\nVersion=1\n")}, {"i", kImage}}, kManifest},          // no image named
        {{{"manifest", Bytes("Format=1\nVersion=1\nImage=j\n")}, {"i", kImage}}, kManifest}, // a missing image
        {{{"manifest", Bytes("Format=1\nVersion=1\nImage=manifest\n")}}, kManifest},         // the manifest itself
        {{{"manifest", Bytes("Format=1\nVersion 1\nImage=i\n")}, {"i", kImage}}, kManifest}, // a line without '='
        // Said twice, so that which one holds is a guess.
        {{{"manifest", Bytes("Format=1\nVersion=1\nImage=i\nImage=j\n")}, {"i", kImage}, {"j", kImage}}, kManifest},
        {{{"manifest", Bytes("Format=1\nVersion=1\nImage=i\n")}, {"manifest", {}}, {"i", kImage}}, kFormat},
        {{{"manifest", Bytes("Format=1\nVersion=1\nImage=i\n")}, {"i", kImage}, {"i", kImage}}, kFormat},
    };
    for (size_t k = 0; k < std::size(cases); ++k) EXPECT_EQ(Code(BuildUpdateFile(cases[k].members)), cases[k].code) << k;
    // The longest version fits.
    EXPECT_EQ(Code(BuildUpdateFile({{"manifest", Bytes("Format=1\nVersion=" + std::string(31, 'v') + "\nImage=i")}, {"i", {}}})),
              uint32_t(ZU_OK));
}

// Each manifest key and each member was kept in a map: a file of many short
// keys or many empty members cost twenty times its size. Only what the
// update reads is kept now, whatever else the file holds.
TEST(UpdateFile, AFileOfManyKeysAndMembersCostsLittleBeyondItsBytes)
{
    const size_t kHalf = 8u << 20;
    std::vector<uint8_t> file = BuildUpdateFile({});
    file.resize(file.size() - 4);
    file.reserve(2 * kHalf + 4096);
    auto put = [&](uint32_t v, size_t n) {
        for (size_t k = 0; k < n; ++k) file.push_back(uint8_t(v >> (8 * k)));
    };
    const std::string head = "manifest", lines = "Format=1\nVersion=1\nImage=fw\n";
    put(uint32_t(head.size()), 2);
    file.insert(file.end(), head.begin(), head.end());
    const size_t lengthAt = file.size();
    put(0, 4);
    file.insert(file.end(), lines.begin(), lines.end());
    char text[32];
    for (uint32_t k = 0; file.size() < kHalf; ++k)
        file.insert(file.end(), text, text + std::snprintf(text, sizeof text, "k%x=\n", k));
    const uint32_t manifestLength = uint32_t(file.size() - lengthAt - 4);
    for (int k = 0; k < 4; ++k) file[lengthAt + k] = uint8_t(manifestLength >> (8 * k));
    for (uint32_t k = 0; file.size() < 2 * kHalf; ++k) {
        const int n = std::snprintf(text, sizeof text, "%x", k);
        put(uint32_t(n), 2);
        file.insert(file.end(), text, text + n);
        put(0, 4);
    }
    put(2, 2);
    file.push_back('f');
    file.push_back('w');
    put(uint32_t(kImage.size()), 4);
    file.insert(file.end(), kImage.begin(), kImage.end());
    Seal(file);

    const long start = PeakResidentKiB();
    UpdateFile out;
    const ZuResult r = ParseUpdateFile(file.data(), file.size(), out);
    ASSERT_TRUE(r.IsOK()) << r.GetDescription().GetAscii();
    EXPECT_EQ(out.image, kImage);
    // Kept in maps, 160 MB; AddressSanitizer's own bookkeeping stays well
    // below the file's size.
    EXPECT_LT(PeakResidentKiB() - start, long(file.size() / 1024 / 2)) << "KiB beyond a file of " << file.size();
}

namespace {

namespace fw = tarn::bridge::firmware;
using tarn::softdevice::RegisterSpace;

struct Window : ::testing::Test {
    RegisterSpace space;
    tarn::softdevice::FirmwareWindow window;
    std::vector<std::string> installed;
    void SetUp() override
    {
        window.Layout(space, [this](const std::string &v) { installed.push_back(v); });
    }
    uint16_t Put(uint32_t aAt, uint32_t aValue) { return space.WriteRegister(fw::Base + aAt, aValue); }
    uint32_t Status()
    {
        uint32_t v = 0;
        space.ReadRegister(fw::Base + fw::Status, v);
        return v;
    }
    uint16_t Chunk(const std::vector<uint8_t> &aBytes, uint32_t aOffset)
    {
        std::vector<uint8_t> padded(aBytes);
        padded.resize((padded.size() + 3) & ~size_t(3));
        space.WriteMemory(fw::Base + fw::Window, padded.data(), uint32_t(padded.size()));
        Put(fw::ChunkOffset, aOffset);
        return Put(fw::ChunkLength, uint32_t(aBytes.size()));
    }
    void Begin(const std::vector<uint8_t> &aImage)
    {
        Put(fw::Size, uint32_t(aImage.size()));
        Put(fw::Crc, uint32_t(crc32(crc32(0L, Z_NULL, 0), aImage.data(), uInt(aImage.size()))));
        const char version[8] = "9.9";
        space.WriteMemory(fw::Base + fw::Version, reinterpret_cast<const uint8_t *>(version), 8);
        ASSERT_EQ(Put(fw::Control, fw::ControlBegin), tarn::softdevice::kStatusSuccess);
    }
};

const std::vector<uint8_t> kFirst = {1, 2, 3, 4, 5}, kSecond = {6, 7, 8};

} // namespace

TEST_F(Window, ChunksInOrderInstallTheImageAndItsVersion)
{
    Begin({1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(Status(), fw::StatusReceiving);
    EXPECT_EQ(Chunk(kFirst, 0), tarn::softdevice::kStatusSuccess);
    EXPECT_EQ(Chunk(kSecond, 5), tarn::softdevice::kStatusSuccess);
    EXPECT_EQ(Put(fw::Control, fw::ControlCommit), tarn::softdevice::kStatusSuccess);
    EXPECT_EQ(Status(), fw::StatusInstalled);
    EXPECT_EQ(window.Installed(), std::vector<uint8_t>({1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(installed, std::vector<std::string>({"9.9"}));
}

TEST_F(Window, AWrongTransferIsRefusedAndInstallsNothing)
{
    const std::vector<uint8_t> image = {1, 2, 3, 4, 5, 6, 7, 8};
    // A chunk out of order, one past the size, a short image, a damaged one.
    Begin(image);
    EXPECT_NE(Chunk(kSecond, 5), tarn::softdevice::kStatusSuccess);
    EXPECT_EQ(Status(), fw::StatusBadChunk);
    Begin(image);
    Chunk(kFirst, 0);
    EXPECT_NE(Chunk({6, 7, 8, 9}, 5), tarn::softdevice::kStatusSuccess);
    EXPECT_EQ(Status(), fw::StatusBadChunk);
    Begin(image);
    Chunk(kFirst, 0);
    EXPECT_NE(Put(fw::Control, fw::ControlCommit), tarn::softdevice::kStatusSuccess);
    EXPECT_EQ(Status(), fw::StatusBadSize);
    Begin(image);
    Chunk(kFirst, 0);
    Chunk({6, 7, 0}, 5);
    EXPECT_NE(Put(fw::Control, fw::ControlCommit), tarn::softdevice::kStatusSuccess);
    EXPECT_EQ(Status(), fw::StatusBadCrc);
    // Exactly the capacity is taken; one byte more is too large to take at
    // all. Then a commit with nothing begun.
    Put(fw::Size, tarn::softdevice::FirmwareWindow::kCapacity);
    EXPECT_EQ(Put(fw::Control, fw::ControlBegin), tarn::softdevice::kStatusSuccess);
    EXPECT_EQ(Status(), fw::StatusReceiving);
    Put(fw::Size, tarn::softdevice::FirmwareWindow::kCapacity + 1);
    EXPECT_NE(Put(fw::Control, fw::ControlBegin), tarn::softdevice::kStatusSuccess);
    EXPECT_EQ(Status(), fw::StatusBadSize);
    Put(fw::Control, fw::ControlAbort);
    EXPECT_EQ(Status(), fw::StatusIdle);
    EXPECT_NE(Put(fw::Control, fw::ControlCommit), tarn::softdevice::kStatusSuccess);
    EXPECT_TRUE(window.Installed().empty());
    EXPECT_TRUE(installed.empty());
}
