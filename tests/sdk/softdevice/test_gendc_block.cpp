#include "gvspsend/sender.h"

#include "ZuBuffer.h"
#include "ZuGenDCManager.h"

#include <gtest/gtest.h>

using namespace tarn;
using tarn::gvspsend::describeBlock;

namespace {
// An intensity component of one 1D part of aBytes.
void layout(ZuGenDCManager &aManager, uint64_t aBytes)
{
    IZuGenericDataContainer *c = aManager.GetGenDC();
    c->AddComponent(ZuComponentIntensity);
    c->GetComponent(0)->AddPart(ZuGenDCPart1D, 0);
    c->GetComponent(0)->GetPart(0)->GetMutableHeader()->DataSize = aBytes;
}
} // namespace

TEST(GenDCBlock, TheWholeContainerGoesOutWithItsDescriptorSize)
{
    ZuGenDCManager manager;
    layout(manager, 1000);
    ZuBuffer buffer(ZuPayloadTypeGenDC);
    ASSERT_TRUE(buffer.AttachGenDCManager(manager).IsOK());
    buffer.SetTimestamp(7);
    gvsp::BlockSource s;
    gvspsend::PartStore parts;
    ASSERT_TRUE(describeBlock(buffer, s, parts));
    const IZuGenericDataContainer *c = buffer.GetGenDC();
    EXPECT_EQ(s.leader.payloadType, gvsp::PAYLOAD_GENDC);
    EXPECT_EQ(s.leader.timestamp, 7u);
    EXPECT_EQ(s.size, manager.GetTotalPayloadSize());
    EXPECT_EQ(s.leader.payloadSize, s.size);
    EXPECT_EQ(s.leader.genDCDescriptorSize, c->GetDescriptorSize());
    EXPECT_LT(s.leader.genDCDescriptorSize, s.size);
    EXPECT_EQ(s.size, uint64_t(c->GetHeader()->DataOffset) + c->GetDataSize());
    EXPECT_EQ(s.data, buffer.GetDataPointer());
}

TEST(GenDCBlock, AContainerThatDoesNotHoldTogetherIsNotSent)
{
    gvsp::BlockSource s;
    gvspsend::PartStore parts;
    // Never attached: an empty container.
    ZuBuffer bare(ZuPayloadTypeGenDC);
    EXPECT_FALSE(describeBlock(bare, s, parts));
    // Data claimed beyond the buffer's memory.
    ZuGenDCManager manager;
    layout(manager, 64);
    ZuBuffer buffer(ZuPayloadTypeGenDC);
    ASSERT_TRUE(buffer.AttachGenDCManager(manager).IsOK());
    buffer.GetGenDC()->GetMutableHeader()->DataSize += 1;
    EXPECT_FALSE(describeBlock(buffer, s, parts));
    // A damaged header within the buffer's memory.
    buffer.GetGenDC()->GetMutableHeader()->DataSize -= 1;
    ASSERT_TRUE(describeBlock(buffer, s, parts));
    buffer.GetGenDC()->GetMutableHeader()->VersionMajor = 9;
    EXPECT_FALSE(buffer.GetGenDC()->IsValid());
    EXPECT_FALSE(describeBlock(buffer, s, parts));
}
