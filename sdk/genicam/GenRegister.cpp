// Registers: device memory read and written through a port (or chunk and
// event data), cached by address.

#include "GenFamilies.h"
#include "GenNodeMap.h"

#include <cstring>
#include <limits>

namespace ZU_GENAPI_NS
{

void RegisterNode::VisitRefs(const RefVisitor &aVisit)
{
    Node::VisitRefs(aVisit);
    aVisit(mIndex, "pIndex", RefUse::Number);
    aVisit(mOffset, "pOffset", RefUse::Number);
    for (ValueRef &lA : mAddresses) aVisit(lA, "pAddress", RefUse::Number);
    aVisit(mLength, "pLength", RefUse::Number);
    aVisit(mPort, "pPort", RefUse::Port);
}

ZuGenAccessMode RegisterNode::OwnAccess() const { return CombineAccess(mDeclaredAccess, mPortNode->AccessMode()); }

ZuResult RegisterNode::Address(uint64_t &aAddress) const
{
    uint64_t lA = 0;
    for (const ValueRef &lR : mAddresses) {
        int64_t lV = 0;
        ZuResult lRes = ReadRefInt(lR, lV);
        if (!lRes.IsOK()) return lRes;
        lA += static_cast<uint64_t>(lV);
    }
    if (mIndex.mSet) {
        int64_t lIndex = 0, lOffset = 0;
        ZuResult lRes = ReadRefInt(mIndex, lIndex);
        if (lRes.IsOK()) lRes = ReadRefInt(mOffset, lOffset);
        if (!lRes.IsOK()) return lRes;
        lA += static_cast<uint64_t>(lIndex) * static_cast<uint64_t>(lOffset);
    }
    aAddress = lA;
    return ZuResult();
}

ZuResult RegisterNode::Length(int64_t &aLength) const
{
    int64_t lLength = 0;
    ZuResult lR = ReadRefInt(mLength, lLength);
    if (lR.IsOK() && (lLength < 0 || lLength > (int64_t(1) << 24)))
        lR = Fail(ZU_INVALID_DATA_FORMAT, "'" + mName + "' has the length " + std::to_string(lLength));
    // A length that failed is no length: callers never see it.
    aLength = lR.IsOK() ? lLength : 0;
    return lR;
}

// Integer registers are read and written as one number of 1 to 8 bytes;
// a pLength may name anything, so reads and writes check it alike.
ZuResult RegisterNode::IntRegLength(int64_t aLength) const
{
    if (aLength < 1 || aLength > 8) return Fail(ZU_INVALID_DATA_FORMAT, "'" + mName + "' is not 1 to 8 bytes long");
    return ZuResult();
}

ZuResult RegisterNode::PortRead(uint64_t aAddress, void *aData, int64_t aLength) const
{
    const CategoryNode *lPort = mPortNode;
    if (!lPort->mChunkID.empty()) return mMap->ChunkRead(lPort->mChunkID, aAddress, aData, aLength);
    if (!lPort->mEventID.empty()) return mMap->EventRead(lPort->mEventID, aAddress, aData, aLength);
    if (!mMap->mPort) return Fail(ZU_NOT_CONNECTED, "no device port behind '" + lPort->mName + "'");
    if (mMap->mWithoutWaiting) {
        // The device would be asked: the read is made again the usual way.
        mMap->mWouldWait = true;
        return ZuResult(ZU_PENDING);
    }
    return mMap->mPort->Read(aAddress, aData, aLength);
}

ZuResult RegisterNode::PortHolds(uint64_t aAddress, int64_t aLength, bool aReading) const
{
    const CategoryNode *lPort = mPortNode;
    if (!lPort->mChunkID.empty() || !lPort->mEventID.empty()) {
        // Received data is there or not; writing it is refused anyway.
        if (!aReading) return ZuResult();
        if (!lPort->mChunkID.empty()) return mMap->ChunkRead(lPort->mChunkID, aAddress, nullptr, aLength);
        return mMap->EventRead(lPort->mEventID, aAddress, nullptr, aLength);
    }
    if (mMap->mPort && !mMap->mPort->Holds(aAddress, aLength))
        return Fail(ZU_INVALID_PARAMETER, "'" + mName + "' (" + std::to_string(aLength) + " bytes) lies outside the memory of '" +
                                              lPort->mName + "'");
    return ZuResult();
}

ZuResult RegisterNode::PortWrite(uint64_t aAddress, const void *aData, int64_t aLength)
{
    const CategoryNode *lPort = mPortNode;
    if (!lPort->mChunkID.empty() || !lPort->mEventID.empty()) return Fail(ZU_STATE_ERROR, "chunk and event data cannot be written");
    if (!mMap->mPort) return Fail(ZU_NOT_CONNECTED, "no device port behind '" + lPort->mName + "'");
    mMap->ForgetCaches();
    return mMap->mPort->Write(aAddress, aData, aLength);
}

ZuResult RegisterNode::ReadBytes(const std::vector<uint8_t> *&aBytes) const
{
    TARN_GUARD_DEPTH();
    ZuResult lR = CheckReadable();
    uint64_t lAddress = 0;
    int64_t lLength = 0;
    if (lR.IsOK()) lR = Address(lAddress);
    if (lR.IsOK()) lR = Length(lLength);
    if (!lR.IsOK()) return lR;
    if (mCache != ZuGenCacheNone && mCacheValid && mCacheAddress == lAddress && mCacheBytes.size() == static_cast<size_t>(lLength)) {
        aBytes = &mCacheBytes;
        return ZuResult();
    }
    // The bytes live in the node (under the map's lock) until its next read;
    // memory is set aside only for bytes the port holds, and given back
    // when the read fails.
    mCacheValid = false;
    lR = PortHolds(lAddress, lLength, true);
    if (lR.IsOK()) {
        mCacheBytes.assign(static_cast<size_t>(lLength), 0);
        lR = PortRead(lAddress, mCacheBytes.data(), lLength);
    }
    // What is not kept may read otherwise next time, with nothing changed here.
    if (!lR.IsOK() || mCache == ZuGenCacheNone) mMap->VolatileRead();
    if (!lR.IsOK()) {
        std::vector<uint8_t>().swap(mCacheBytes);
        return lR;
    }
    if (mCache != ZuGenCacheNone) {
        mCacheAddress = lAddress;
        mCacheValid = true;
    }
    aBytes = &mCacheBytes;
    return lR;
}

ZuResult RegisterNode::WriteBytes(const std::vector<uint8_t> &aBytes)
{
    TARN_GUARD_DEPTH();
    ZuResult lR = CheckWritable();
    uint64_t lAddress = 0;
    int64_t lLength = 0;
    if (lR.IsOK()) lR = Address(lAddress);
    if (lR.IsOK()) lR = Length(lLength);
    if (!lR.IsOK()) return lR;
    if (static_cast<int64_t>(aBytes.size()) != lLength) return Fail(ZU_INVALID_PARAMETER, "wrong number of bytes for '" + mName + "'");
    lR = PortWrite(lAddress, aBytes.data(), lLength);
    if (!lR.IsOK()) {
        mCacheValid = false;
        return lR;
    }
    bool lKeep = mCache == ZuGenCacheWriteThrough;
    if (lKeep) {
        mCacheBytes = aBytes;
        mCacheAddress = lAddress;
        mCacheValid = true;
    }
    mMap->StartChange();
    mMap->Reach(this, lKeep ? this : nullptr);
    // Other registers over the same bytes of the same port now hold stale
    // copies, whether or not the description names an invalidator: one
    // change with the write, so that what several of them reach is reached
    // once.
    for (RegisterNode *lO : mMap->mRegisters) {
        if (lO == this || !lO->mCacheValid || lO->mPortNode != mPortNode) continue;
        uint64_t lEnd = lAddress + static_cast<uint64_t>(lLength);
        uint64_t lOtherEnd = lO->mCacheAddress + lO->mCacheBytes.size();
        if (lO->mCacheAddress < lEnd && lAddress < lOtherEnd) mMap->Reach(lO, nullptr);
    }
    return lR;
}

ZuResult RegisterNode::BitRange(int64_t aLength, unsigned &aLow, unsigned &aWidth) const
{
    int64_t lBits = aLength * 8;
    int64_t lLsb, lMsb;
    if (mBit.mSet) lLsb = lMsb = mBit.mInt;
    else {
        lLsb = mLsb.mInt;
        lMsb = mMsb.mInt;
    }
    if (lLsb < 0 || lMsb < 0 || lLsb >= lBits || lMsb >= lBits)
        return Fail(ZU_INVALID_DATA_FORMAT, "bit numbers of '" + mName + "' lie outside its register");
    int64_t lLow, lHigh;
    if (mEndianness == ZuGenEndiannessBig && !(mMap->mSchemaMinor == 0 && lLsb < lMsb)) {
        // Big-endian registers number their bits from the most significant
        // one. Schema 1.0 descriptions also wrote them the little-endian
        // way (LSB below MSB); that order can only mean such numbering.
        if (lLsb < lMsb) return Fail(ZU_INVALID_DATA_FORMAT, "LSB above MSB in big-endian '" + mName + "'");
        lLow = lBits - 1 - lLsb;
        lHigh = lBits - 1 - lMsb;
    } else {
        if (lLsb > lMsb) return Fail(ZU_INVALID_DATA_FORMAT, "LSB above MSB in '" + mName + "'");
        lLow = lLsb;
        lHigh = lMsb;
    }
    if (lHigh - lLow + 1 > 64) return Fail(ZU_INVALID_DATA_FORMAT, "'" + mName + "' spans more than 64 bits");
    aLow = static_cast<unsigned>(lLow);
    aWidth = static_cast<unsigned>(lHigh - lLow + 1);
    return ZuResult();
}

namespace
{

// Bytes of a register as an unsigned number (up to 8 bytes, or the low 8
// of a longer one for masked access).
bool BytesToBits(const std::vector<uint8_t> &aB, ZuGenEndianness aE, unsigned aLow, unsigned aWidth, uint64_t &aOut)
{
    uint64_t lV = 0;
    size_t lN = aB.size();
    if (aLow == 0 && aWidth == lN * 8 && lN <= 8) {
        for (size_t lI = 0; lI < lN; ++lI) {
            size_t lIdx = aE == ZuGenEndiannessBig ? lI : lN - 1 - lI;
            lV = (lV << 8) | aB[lIdx];
        }
        aOut = lV;
        return true;
    }
    for (unsigned lBit = 0; lBit < aWidth; ++lBit) {
        size_t lAbs = aLow + lBit;
        size_t lByte = lAbs / 8;
        if (lByte >= lN) return false;
        size_t lIdx = aE == ZuGenEndiannessBig ? lN - 1 - lByte : lByte;
        if ((aB[lIdx] >> (lAbs % 8)) & 1) lV |= uint64_t(1) << lBit;
    }
    aOut = lV;
    return true;
}

void BitsToBytes(std::vector<uint8_t> &aB, ZuGenEndianness aE, unsigned aLow, unsigned aWidth, uint64_t aV)
{
    size_t lN = aB.size();
    for (unsigned lBit = 0; lBit < aWidth; ++lBit) {
        size_t lAbs = aLow + lBit;
        size_t lByte = lAbs / 8;
        if (lByte >= lN) return;
        size_t lIdx = aE == ZuGenEndiannessBig ? lN - 1 - lByte : lByte;
        uint8_t lMask = static_cast<uint8_t>(1u << (lAbs % 8));
        if ((aV >> lBit) & 1) aB[lIdx] |= lMask;
        else aB[lIdx] &= static_cast<uint8_t>(~lMask);
    }
}

int64_t Extend(uint64_t aV, unsigned aWidth, bool aSigned)
{
    if (aWidth >= 64) return static_cast<int64_t>(aV);
    if (aSigned && ((aV >> (aWidth - 1)) & 1)) aV |= ~uint64_t(0) << aWidth;
    return static_cast<int64_t>(aV);
}

} // namespace


// ---- Values ------------------------------------------------------------------------

ZuResult RegisterNode::GetIntValue(int64_t &aValue) const
{
    if (GetInterface() != NodeInterface::Integer) return Node::GetIntValue(aValue);
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    const std::vector<uint8_t> *lBytes = nullptr;
    ZuResult lR = ReadBytes(lBytes);
    if (!lR.IsOK()) return lR;
    unsigned lLow = 0, lWidth = 0;
    if (IsMasked()) {
        lR = BitRange(static_cast<int64_t>(lBytes->size()), lLow, lWidth);
    } else {
        lR = IntRegLength(static_cast<int64_t>(lBytes->size()));
        lWidth = static_cast<unsigned>(lBytes->size() * 8);
    }
    if (!lR.IsOK()) return lR;
    uint64_t lV = 0;
    BytesToBits(*lBytes, mEndianness, lLow, lWidth, lV);
    aValue = Extend(lV, lWidth, mSign == ZuGenSignSigned);
    return lR;
}

ZuResult RegisterNode::NaturalIntBound(bool aMax, int64_t &aValue) const
{
    // The register's own width and sign bound the values it can hold.
    int64_t lLength = 0;
    ZuResult lR = Length(lLength);
    if (!lR.IsOK()) return lR;
    unsigned lLow = 0, lWidth = 0;
    if (IsMasked()) {
        lR = BitRange(lLength, lLow, lWidth);
    } else {
        lR = IntRegLength(lLength);
        lWidth = static_cast<unsigned>(lLength * 8);
    }
    if (!lR.IsOK()) return lR;
    if (lWidth == 0 || lWidth > 64) return Fail(ZU_INVALID_DATA_FORMAT, "'" + mName + "' has no integer width");
    bool lSigned = mSign == ZuGenSignSigned;
    unsigned lBits = lSigned ? lWidth - 1 : lWidth;
    int64_t lTop = lBits >= 63 ? std::numeric_limits<int64_t>::max() : (int64_t(1) << lBits) - 1;
    aValue = aMax ? lTop : (lSigned ? -lTop - 1 : 0);
    return ZuResult();
}

ZuResult RegisterNode::WriteCheckedInt(int64_t aValue)
{
    int64_t lLength = 0;
    ZuResult lR = Length(lLength);
    if (lR.IsOK() && !IsMasked()) lR = IntRegLength(lLength);
    if (!lR.IsOK()) return lR;
    std::vector<uint8_t> lB(static_cast<size_t>(lLength), 0);
    if (!IsMasked()) {
        BitsToBytes(lB, mEndianness, 0, static_cast<unsigned>(lLength * 8), static_cast<uint64_t>(aValue));
        return WriteBytes(lB);
    }
    // Keep the other bits of the register: read them first when allowed.
    if (Readable(AccessMode())) {
        lR = ReadBytes(lB);
        if (!lR.IsOK()) return lR;
    }
    unsigned lLow = 0, lWidth = 0;
    lR = BitRange(lLength, lLow, lWidth);
    if (!lR.IsOK()) return lR;
    BitsToBytes(lB, mEndianness, lLow, lWidth, static_cast<uint64_t>(aValue));
    return WriteBytes(lB);
}

ZuResult RegisterNode::GetFloatValue(double &aValue) const
{
    if (mKind != NodeKind::FloatReg) return Node::GetFloatValue(aValue);
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    std::vector<uint8_t> lB;
    ZuResult lR = ReadBytes(lB);
    if (!lR.IsOK()) return lR;
    if (lB.size() != 4 && lB.size() != 8) return Fail(ZU_INVALID_DATA_FORMAT, "'" + mName + "' is not 4 or 8 bytes long");
    uint64_t lBits = 0;
    BytesToBits(lB, mEndianness, 0, static_cast<unsigned>(lB.size() * 8), lBits);
    if (lB.size() == 4) {
        uint32_t lW = static_cast<uint32_t>(lBits);
        float lF;
        std::memcpy(&lF, &lW, 4);
        aValue = lF;
    } else {
        std::memcpy(&aValue, &lBits, 8);
    }
    return lR;
}

ZuResult RegisterNode::WriteCheckedFloat(double aValue)
{
    int64_t lLength = 0;
    ZuResult lR = Length(lLength);
    if (!lR.IsOK()) return lR;
    if (lLength != 4 && lLength != 8) return Fail(ZU_INVALID_DATA_FORMAT, "'" + mName + "' is not 4 or 8 bytes long");
    uint64_t lBits = 0;
    if (lLength == 4) {
        float lF = static_cast<float>(aValue);
        uint32_t lW;
        std::memcpy(&lW, &lF, 4);
        lBits = lW;
    } else {
        std::memcpy(&lBits, &aValue, 8);
    }
    std::vector<uint8_t> lB(static_cast<size_t>(lLength), 0);
    BitsToBytes(lB, mEndianness, 0, static_cast<unsigned>(lLength * 8), lBits);
    return WriteBytes(lB);
}

ZuResult RegisterNode::GetStringValue(std::string &aValue) const
{
    if (mKind != NodeKind::StringReg) return Node::GetStringValue(aValue);
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    std::vector<uint8_t> lB;
    ZuResult lR = ReadBytes(lB);
    if (!lR.IsOK()) return lR;
    size_t lEnd = 0;
    while (lEnd < lB.size() && lB[lEnd]) ++lEnd;
    aValue.assign(reinterpret_cast<const char *>(lB.data()), lEnd);
    return lR;
}

ZuResult RegisterNode::SetStringValue(const std::string &aValue)
{
    if (mKind != NodeKind::StringReg) return Node::SetStringValue(aValue);
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    ZuResult lR = CheckTextFits(aValue);
    if (!lR.IsOK()) return lR;
    uint64_t lAddress = 0;
    int64_t lLength = 0;
    lR = Length(lLength);
    if (lR.IsOK()) lR = Address(lAddress);
    if (lR.IsOK()) lR = PortHolds(lAddress, lLength, false);
    if (!lR.IsOK()) return lR;
    std::vector<uint8_t> lB(static_cast<size_t>(lLength), 0);
    // An empty text into an empty register copies nothing, and from nowhere.
    if (!aValue.empty()) std::memcpy(lB.data(), aValue.data(), aValue.size());
    return WriteBytes(lB);
}

ZuResult RegisterNode::GetStringMaxLength(int64_t &aValue) const
{
    if (mKind != NodeKind::StringReg) return Node::GetStringMaxLength(aValue);
    MapOperation lOp(mMap);
    return Length(aValue);
}

// ---- Register bytes ----------------------------------------------------------------------

ZuResult RegisterNode::GetRegisterLength(int64_t &aLength) const
{
    MapOperation lOp(mMap);
    TARN_GUARD_DEPTH();
    return Length(aLength);
}

ZuResult RegisterNode::GetRegister(uint8_t *aData, int64_t aLength) const
{
    MapOperation lOp(mMap);
    if (aLength < 0 || (aLength > 0 && !aData)) return Fail(ZU_INVALID_PARAMETER, "no memory of that length given");
    std::vector<uint8_t> lB;
    ZuResult lR = ReadBytes(lB);
    if (!lR.IsOK()) return lR;
    if (static_cast<uint64_t>(aLength) < lB.size()) return Fail(ZU_BUFFER_TOO_SMALL, "'" + mName + "' has " + std::to_string(lB.size()) + " bytes");
    if (!lB.empty()) std::memcpy(aData, lB.data(), lB.size());
    return lR;
}

ZuResult RegisterNode::SetRegister(const uint8_t *aData, int64_t aLength)
{
    MapOperation lOp(mMap);
    if (aLength < 0 || (aLength > 0 && !aData)) return Fail(ZU_INVALID_PARAMETER, "no memory of that length given");
    int64_t lLength = 0;
    ZuResult lR = Length(lLength);
    if (!lR.IsOK()) return lR;
    if (aLength < lLength) return Fail(ZU_BUFFER_TOO_SMALL, "'" + mName + "' needs " + std::to_string(lLength) + " bytes");
    std::vector<uint8_t> lB(aData, aData + lLength);
    return WriteBytes(lB);
}

} // namespace ZU_GENAPI_NS
