#include "softdevice/model/register_space.h"

#include <gtest/gtest.h>

using namespace tarn::softdevice;

TEST(RegisterSpace, RegistersAreBigEndianAndReadsSpanEntries)
{
    RegisterSpace s;
    s.addValue(0x100, 0x11223344, false);
    s.addRegister(0x104, [] { return 0xA1B2C3D4u; });
    s.addBlock(0x108, 8, false);
    ASSERT_TRUE(s.setBlock(0x108, "abc", 3));
    std::vector<uint8_t> out;
    ASSERT_EQ(s.readMemory(0x100, 16, out), kStatusSuccess);
    const std::vector<uint8_t> want = {0x11, 0x22, 0x33, 0x44, 0xA1, 0xB2, 0xC3, 0xD4, 'a', 'b', 'c', 0, 0, 0, 0, 0};
    EXPECT_EQ(out, want);
    // Starting inside a block.
    ASSERT_EQ(s.readMemory(0x10C, 4, out), kStatusSuccess);
    EXPECT_EQ(out, std::vector<uint8_t>(4, 0));
    uint32_t v = 0;
    ASSERT_EQ(s.readRegister(0x104, v), kStatusSuccess);
    EXPECT_EQ(v, 0xA1B2C3D4u);
}

TEST(RegisterSpace, RefusesHolesAlignmentAndReadOnlyWithoutPartialWrites)
{
    RegisterSpace s;
    uint32_t *a = s.addValue(0x0, 1, true);
    s.addValue(0x4, 2, false);
    uint32_t v = 0;
    EXPECT_EQ(s.readRegister(0x2, v), kStatusBadAlignment);
    EXPECT_EQ(s.readRegister(0x8, v), kStatusInvalidAddress);
    std::vector<uint8_t> out;
    EXPECT_EQ(s.readMemory(0x0, 12, out), kStatusInvalidAddress);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(s.writeRegister(0x4, 9), kStatusWriteProtect);
    const uint8_t both[8] = {0, 0, 0, 7, 0, 0, 0, 8};
    // The second register is read-only: the first keeps its value.
    EXPECT_EQ(s.writeMemory(0x0, both, 8), kStatusWriteProtect);
    EXPECT_EQ(*a, 1u);
    EXPECT_EQ(s.writeRegister(0x0, 0x01020304), kStatusSuccess);
    EXPECT_EQ(*a, 0x01020304u);
}

TEST(RegisterSpace, SettersDecideAndWriteOnlyRegistersDoNotRead)
{
    RegisterSpace s;
    uint32_t seen = 0;
    s.addRegister(0x10, nullptr, [&](uint32_t x) {
        seen = x;
        return uint16_t(x > 5 ? kStatusInvalidParameter : kStatusSuccess);
    });
    uint32_t *checked = s.addValue(0x14, 3, true, [](uint32_t old, uint32_t x) {
        return uint16_t(x < old ? kStatusInvalidParameter : kStatusSuccess);
    });
    EXPECT_EQ(s.writeRegister(0x10, 9), kStatusInvalidParameter);
    EXPECT_EQ(seen, 9u);
    uint32_t v = 0;
    EXPECT_EQ(s.readRegister(0x10, v), kStatusAccessDenied);
    EXPECT_EQ(s.writeRegister(0x14, 2), kStatusInvalidParameter);
    EXPECT_EQ(*checked, 3u);
    EXPECT_EQ(s.writeRegister(0x14, 4), kStatusSuccess);
    EXPECT_EQ(*checked, 4u);
}

TEST(RegisterSpace, BlocksTakeWritesAndDynamicBlocksReadZerosPastTheirText)
{
    RegisterSpace s;
    uint32_t written = 0;
    s.addBlock(0x20, 16, true, [&](uint32_t, uint32_t n) { written += n; });
    const uint8_t name[8] = {'c', 'a', 'm', 0, 0, 0, 0, 0};
    EXPECT_EQ(s.writeMemory(0x24, name, 8), kStatusSuccess);
    EXPECT_EQ(written, 8u);
    EXPECT_EQ(s.block(0x20)[4], 'c');
    const std::string text = "<xml/>";
    s.addDynamicBlock(0x1000, 0x100, [&](uint32_t off, uint32_t n, uint8_t *out) {
        for (uint32_t i = 0; i < n && off + i < text.size(); ++i) out[i] = uint8_t(text[off + i]);
    });
    std::vector<uint8_t> out;
    ASSERT_EQ(s.readMemory(0x1004, 8, out), kStatusSuccess);
    EXPECT_EQ(out, (std::vector<uint8_t>{'/', '>', 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(s.writeMemory(0x1000, name, 4), kStatusWriteProtect);
    EXPECT_FALSE(s.setBlock(0x1000, "x", 1));
    // A read past the end of the space, even wrapping, is refused.
    EXPECT_EQ(s.readMemory(0xFFFFFFFC, 8, out), kStatusInvalidAddress);
}
