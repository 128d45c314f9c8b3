#include "softdevice/model/register_space.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <random>

using namespace tarn::softdevice;

TEST(RegisterSpace, RegistersAreBigEndianAndReadsSpanEntries)
{
    RegisterSpace s;
    s.AddValue(0x100, 0x11223344, false);
    s.AddRegister(0x104, [] { return 0xA1B2C3D4u; });
    s.AddBlock(0x108, 8, false);
    ASSERT_TRUE(s.SetBlock(0x108, "abc", 3));
    std::vector<uint8_t> out;
    ASSERT_EQ(s.ReadMemory(0x100, 16, out), kStatusSuccess);
    const std::vector<uint8_t> want = {0x11, 0x22, 0x33, 0x44, 0xA1, 0xB2, 0xC3, 0xD4, 'a', 'b', 'c', 0, 0, 0, 0, 0};
    EXPECT_EQ(out, want);
    // Starting inside a block.
    ASSERT_EQ(s.ReadMemory(0x10C, 4, out), kStatusSuccess);
    EXPECT_EQ(out, std::vector<uint8_t>(4, 0));
    uint32_t v = 0;
    ASSERT_EQ(s.ReadRegister(0x104, v), kStatusSuccess);
    EXPECT_EQ(v, 0xA1B2C3D4u);
}

TEST(RegisterSpace, RefusesHolesAlignmentAndReadOnlyWithoutPartialWrites)
{
    RegisterSpace s;
    uint32_t *a = s.AddValue(0x0, 1, true);
    s.AddValue(0x4, 2, false);
    uint32_t v = 0;
    EXPECT_EQ(s.ReadRegister(0x2, v), kStatusBadAlignment);
    EXPECT_EQ(s.ReadRegister(0x8, v), kStatusInvalidAddress);
    std::vector<uint8_t> out;
    EXPECT_EQ(s.ReadMemory(0x0, 12, out), kStatusInvalidAddress);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(s.WriteRegister(0x4, 9), kStatusWriteProtect);
    const uint8_t both[8] = {0, 0, 0, 7, 0, 0, 0, 8};
    // The second register is read-only: the first keeps its value.
    EXPECT_EQ(s.WriteMemory(0x0, both, 8), kStatusWriteProtect);
    EXPECT_EQ(*a, 1u);
    EXPECT_EQ(s.WriteRegister(0x0, 0x01020304), kStatusSuccess);
    EXPECT_EQ(*a, 0x01020304u);
}

TEST(RegisterSpace, SettersDecideAndWriteOnlyRegistersDoNotRead)
{
    RegisterSpace s;
    uint32_t seen = 0;
    s.AddRegister(0x10, nullptr, [&](uint32_t x) {
        seen = x;
        return uint16_t(x > 5 ? kStatusInvalidParameter : kStatusSuccess);
    });
    uint32_t *checked = s.AddValue(0x14, 3, true, [](uint32_t old, uint32_t x) {
        return uint16_t(x < old ? kStatusInvalidParameter : kStatusSuccess);
    });
    EXPECT_EQ(s.WriteRegister(0x10, 9), kStatusInvalidParameter);
    EXPECT_EQ(seen, 9u);
    uint32_t v = 0;
    EXPECT_EQ(s.ReadRegister(0x10, v), kStatusAccessDenied);
    EXPECT_EQ(s.WriteRegister(0x14, 2), kStatusInvalidParameter);
    EXPECT_EQ(*checked, 3u);
    EXPECT_EQ(s.WriteRegister(0x14, 4), kStatusSuccess);
    EXPECT_EQ(*checked, 4u);
}

TEST(RegisterSpace, BlocksTakeWritesAndDynamicBlocksReadZerosPastTheirText)
{
    RegisterSpace s;
    uint32_t written = 0;
    s.AddBlock(0x20, 16, true, [&](uint32_t, uint32_t n) { written += n; });
    const uint8_t name[8] = {'c', 'a', 'm', 0, 0, 0, 0, 0};
    EXPECT_EQ(s.WriteMemory(0x24, name, 8), kStatusSuccess);
    EXPECT_EQ(written, 8u);
    EXPECT_EQ(s.Block(0x20)[4], 'c');
    const std::string text = "<xml/>";
    s.AddDynamicBlock(0x1000, 0x100, [&](uint32_t off, uint32_t n, uint8_t *out) {
        for (uint32_t i = 0; i < n && off + i < text.size(); ++i) out[i] = uint8_t(text[off + i]);
    });
    std::vector<uint8_t> out;
    ASSERT_EQ(s.ReadMemory(0x1004, 8, out), kStatusSuccess);
    EXPECT_EQ(out, (std::vector<uint8_t>{'/', '>', 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(s.WriteMemory(0x1000, name, 4), kStatusWriteProtect);
    EXPECT_FALSE(s.SetBlock(0x1000, "x", 1));
    // A read past the end of the space, even wrapping, is refused.
    EXPECT_EQ(s.ReadMemory(0xFFFFFFFC, 8, out), kStatusInvalidAddress);
}

// Random writes over random layouts: a write the space refuses leaves every
// entry as it was, and what the checks refuse reaches no setter at all; a
// write it takes leaves each entry holding its part.
TEST(RegisterSpace, ARefusedWriteChangesNothingWhateverItSpans)
{
    std::mt19937 random(20240611);
    for (int round = 0; round < 300; ++round) {
        RegisterSpace s;
        // Eight words from 0x100: what each holds, and who refuses what.
        std::vector<uint32_t> held(8, 0);
        std::deque<std::vector<uint8_t>> ranges;
        int setterCalls = 0;
        enum Kind { Checked, Picky, ReadOnly, Block, Ranged };
        std::vector<Kind> kinds;
        for (uint32_t w = 0; w < 8;) {
            Kind k = Kind(random() % 5);
            if ((k == Block || k == Ranged) && w == 7) k = Checked;
            const uint32_t at = 0x100 + 4 * w;
            held[w] = 2 * (random() % 25);   // values every setter takes back
            uint32_t *slot = &held[w];
            switch (k) {
            case Checked:   // its check refuses values of 100 and more
                s.AddRegister(at, [slot] { return *slot; },
                              [slot, &setterCalls](uint32_t v) {
                                  ++setterCalls;
                                  if (v >= 100) return kStatusInvalidParameter;
                                  *slot = v;
                                  return kStatusSuccess;
                              },
                              [](uint32_t v) { return v >= 100 ? kStatusInvalidParameter : kStatusSuccess; });
                break;
            case Picky:     // passes its check, then its setter refuses odd values
                s.AddRegister(at, [slot] { return *slot; },
                              [slot, &setterCalls](uint32_t v) {
                                  ++setterCalls;
                                  if (v % 2) return kStatusError;
                                  *slot = v;
                                  return kStatusSuccess;
                              },
                              [](uint32_t) { return kStatusSuccess; });
                break;
            case ReadOnly: s.AddRegister(at, [slot] { return *slot; }); break;
            case Block:
                s.AddBlock(at, 8, true);
                break;
            case Ranged: {  // as a custom register: its write may be refused by its owner
                std::vector<uint8_t> &rangeBytes = ranges.emplace_back(8, uint8_t(random()));
                RegisterSpace::Range r;
                r.read = [&rangeBytes](uint32_t o, uint32_t n, uint8_t *out) {
                    std::memcpy(out, rangeBytes.data() + o, n);
                    return kStatusSuccess;
                };
                r.peek = r.read;
                r.write = [&rangeBytes, &setterCalls](uint32_t o, const uint8_t *d, uint32_t n) {
                    ++setterCalls;
                    if (d[0] == 0xFF) return kStatusInvalidParameter;
                    std::memcpy(rangeBytes.data() + o, d, n);
                    return kStatusSuccess;
                };
                s.AddRange(at, 8, std::move(r));
                break;
            }
            }
            kinds.push_back(k);
            if (k == Block || k == Ranged) kinds.push_back(k);
            w += (k == Block || k == Ranged) ? 2 : 1;
        }
        std::vector<uint8_t> before;
        ASSERT_EQ(s.ReadMemory(0x100, 32, before), kStatusSuccess);
        // A write of 1 to 5 words, anywhere from one word before the layout.
        const uint32_t first = uint32_t(random() % 9), words = 1 + uint32_t(random() % 5);
        std::vector<uint8_t> data(4 * words);
        bool checksRefuse = first == 0 || first + words > 9;
        for (uint32_t k = 0; k < words; ++k) {
            const uint32_t v = random() % 8 == 0 ? 100 + random() % 5 : (random() % 8 == 0 ? 0xFF000001u : random() % 40);
            data[4 * k] = uint8_t(v >> 24);
            data[4 * k + 1] = uint8_t(v >> 16);
            data[4 * k + 2] = uint8_t(v >> 8);
            data[4 * k + 3] = uint8_t(v);
            const uint32_t w = first + k - 1;
            if (first + k == 0 || w >= 8) continue;
            checksRefuse = checksRefuse || kinds[w] == ReadOnly || (kinds[w] == Checked && v >= 100);
        }
        const int callsBefore = setterCalls;
        const uint16_t status = s.WriteMemory(0x100 + 4 * first - 4, data.data(), uint32_t(data.size()));
        std::vector<uint8_t> after;
        ASSERT_EQ(s.ReadMemory(0x100, 32, after), kStatusSuccess);
        if (checksRefuse) {
            EXPECT_NE(status, kStatusSuccess) << "round " << round;
            EXPECT_EQ(setterCalls, callsBefore) << "round " << round;
        }
        if (status != kStatusSuccess) {
            EXPECT_EQ(after, before) << "round " << round;
            continue;
        }
        for (uint32_t k = 0; k < words; ++k)
            for (int b = 0; b < 4; ++b)
                EXPECT_EQ(after[4 * (first + k - 1) + b], data[4 * k + b]) << "round " << round;
    }
}
