#ifndef TARN_TEST_GENICAM_HOSTILE_H
#define TARN_TEST_GENICAM_HOSTILE_H

// Hostile descriptions and formulas, made by code so that the tests and the
// fuzz corpus (written by write_corpus.cpp) use the very same inputs.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

namespace tarn_test_hostile
{

inline std::string Description(const std::string &aBody)
{
    return "<RegisterDescription SchemaMajorVersion=\"1\" SchemaMinorVersion=\"1\">" + aBody +
           "<Port Name=\"Device\"/></RegisterDescription>";
}

// aFirst aOp aTerm aOp aTerm ... with aCount operators: one flat chain.
inline std::string FlatChain(const std::string &aFirst, const std::string &aOp, const std::string &aTerm, int aCount)
{
    std::string lText = aFirst;
    lText.reserve(aFirst.size() + static_cast<size_t>(aCount) * (aOp.size() + aTerm.size()));
    for (int lI = 0; lI < aCount; ++lI) lText += aOp + aTerm;
    return lText;
}

// An IntSwissKnife "Sum" adding a one-byte register aTerms times.
inline std::string LongFormulaDescription(int aTerms)
{
    return Description("<IntSwissKnife Name=\"Sum\"><pVariable Name=\"R\">Reg</pVariable><Formula>" +
                       FlatChain("R", "+", "R", aTerms - 1) +
                       "</Formula></IntSwissKnife>"
                       "<IntReg Name=\"Reg\"><Address>0</Address><Length>1</Length><AccessMode>RW</AccessMode>"
                       "<pPort>Device</pPort></IntReg>");
}

// An IntReg "Wide" at 0x40 whose length is the Integer "WideLength".
inline std::string PLengthDescription(int64_t aLength)
{
    return Description("<IntReg Name=\"Wide\"><Address>0x40</Address><pLength>WideLength</pLength>"
                       "<AccessMode>RW</AccessMode><pPort>Device</pPort></IntReg>"
                       "<Integer Name=\"WideLength\"><Value>" +
                       std::to_string(aLength) + "</Value></Integer>");
}

inline std::string EmptyStringRegDescription()
{
    return Description("<StringReg Name=\"Empty\"><Address>0x10</Address><Length>0</Length>"
                       "<AccessMode>RW</AccessMode><pPort>Device</pPort></StringReg>");
}

// Descriptions whose nodes N0 ... N(depth-1) each reach the next through
// two or more references; N(depth) is a one-byte register that is never
// cached. Every node shows the register's value; N0 is read as an integer.
enum class SharedShape
{
    ValueAndAvailable,  // Integer: pValue and pIsAvailable
    ValueAndLocked,     // Integer: pValue and pIsLocked
    SelectorChain,      // Integer: pValue, pIsImplemented and pSelected
    FormulaVariables,   // IntSwissKnife: two variables on the next node
    FloatKnives,        // SwissKnife (float): two variables on the next node
    Expressions,        // one IntSwissKnife whose expressions each use the previous one three times
};

const SharedShape kSharedShapes[] = {SharedShape::ValueAndAvailable, SharedShape::ValueAndLocked,
                                     SharedShape::SelectorChain,     SharedShape::FormulaVariables,
                                     SharedShape::FloatKnives,       SharedShape::Expressions};

inline const char *ShapeName(SharedShape aShape)
{
    switch (aShape) {
    case SharedShape::ValueAndAvailable: return "ValueAndAvailable";
    case SharedShape::ValueAndLocked: return "ValueAndLocked";
    case SharedShape::SelectorChain: return "SelectorChain";
    case SharedShape::FormulaVariables: return "FormulaVariables";
    case SharedShape::FloatKnives: return "FloatKnives";
    case SharedShape::Expressions: return "Expressions";
    }
    return "?";
}

inline std::string SharedDescription(SharedShape aShape, int aDepth)
{
    auto lN = [](int aI) { return "N" + std::to_string(aI); };
    std::string lBody;
    if (aShape == SharedShape::Expressions) {
        lBody = "<IntSwissKnife Name=\"N0\"><pVariable Name=\"L\">" + lN(aDepth) + "</pVariable>";
        lBody += "<Expression Name=\"X0\">L</Expression>";
        for (int lI = 1; lI <= aDepth; ++lI) {
            std::string lP = "X" + std::to_string(lI - 1);
            lBody += "<Expression Name=\"X" + std::to_string(lI) + "\">" + lP + " + " + lP + " - " + lP + "</Expression>";
        }
        lBody += "<Formula>X" + std::to_string(aDepth) + "</Formula></IntSwissKnife>";
    } else {
        for (int lI = 0; lI < aDepth; ++lI) {
            std::string lNext = lN(lI + 1);
            switch (aShape) {
            case SharedShape::ValueAndAvailable:
                lBody += "<Integer Name=\"" + lN(lI) + "\"><pIsAvailable>" + lNext + "</pIsAvailable><pValue>" + lNext + "</pValue></Integer>";
                break;
            case SharedShape::ValueAndLocked:
                lBody += "<Integer Name=\"" + lN(lI) + "\"><pIsLocked>" + lNext + "</pIsLocked><pValue>" + lNext + "</pValue></Integer>";
                break;
            case SharedShape::SelectorChain:
                lBody += "<Integer Name=\"" + lN(lI) + "\"><pIsImplemented>" + lNext + "</pIsImplemented><pSelected>" + lNext +
                         "</pSelected><pValue>" + lNext + "</pValue><Min>0</Min><Max>255</Max></Integer>";
                break;
            case SharedShape::FormulaVariables:
                lBody += "<IntSwissKnife Name=\"" + lN(lI) + "\"><pVariable Name=\"A\">" + lNext + "</pVariable><pVariable Name=\"B\">" +
                         lNext + "</pVariable><Formula>(A + B) / 2</Formula></IntSwissKnife>";
                break;
            case SharedShape::FloatKnives:
                // The top is read as an integer, the rest in floating point.
                lBody += std::string(lI == 0 ? "<IntSwissKnife" : "<SwissKnife") + " Name=\"" + lN(lI) + "\"><pVariable Name=\"A\">" +
                         lNext + "</pVariable><pVariable Name=\"B\">" + lNext + "</pVariable><Formula>(A + B) / 2</Formula>" +
                         (lI == 0 ? "</IntSwissKnife>" : "</SwissKnife>");
                break;
            default:
                break;
            }
        }
    }
    lBody += "<IntReg Name=\"" + lN(aDepth) + "\"><Address>0</Address><Length>1</Length><AccessMode>RW</AccessMode>"
             "<pPort>Device</pPort><Cachable>NoCache</Cachable></IntReg>";
    return Description(lBody);
}

// Levels L0 ... L(aLevels-1), each an Integer locked by a SwissKnife that
// reads the next level three times, over a chain of aChain Integers ending
// in an uncached one-byte register. Every level's lock evaluates the rest
// three times: remembered only for some paths, aLevels levels cost
// 3^aLevels.
inline std::string LockedLevelsDescription(int aLevels, int aChain)
{
    std::string lBody;
    for (int lI = 0; lI < aChain; ++lI)
        lBody += "<Integer Name=\"C" + std::to_string(lI) + "\"><pValue>C" + std::to_string(lI + 1) + "</pValue></Integer>";
    lBody += "<IntReg Name=\"C" + std::to_string(aChain) + "\"><Address>0</Address><Length>1</Length><AccessMode>RW</AccessMode>"
             "<pPort>Device</pPort><Cachable>NoCache</Cachable></IntReg>";
    for (int lI = 0; lI < aLevels; ++lI) {
        std::string lNext = "L" + std::to_string(lI + 1), lKnife = "S" + std::to_string(lI);
        lBody += "<Integer Name=\"L" + std::to_string(lI) + "\"><pIsLocked>" + lKnife + "</pIsLocked><Value>1</Value></Integer>";
        lBody += "<IntSwissKnife Name=\"" + lKnife + "\"><pVariable Name=\"A\">" + lNext + "</pVariable><pVariable Name=\"B\">" +
                 lNext + "</pVariable><pVariable Name=\"C\">" + lNext + "</pVariable><Formula>A * B * C</Formula></IntSwissKnife>";
    }
    lBody += "<Integer Name=\"L" + std::to_string(aLevels) + "\"><pValue>C0</pValue></Integer>";
    return Description(lBody);
}

// aCount Integers polled on every Poll (a polling time of 0), all showing
// one register, through a chain of aDepth Integers they share ("D0" the
// nearest to them) or directly: each poll invalidates the register below
// each of them and everything above the register, and so does a write to
// any of them.
inline std::string PolledDescription(int aCount, int aDepth = 0)
{
    std::string lBody = "<IntReg Name=\"R\"><Address>0</Address><Length>4</Length><AccessMode>RW</AccessMode>"
                        "<pPort>Device</pPort></IntReg>";
    for (int lI = 0; lI < aDepth; ++lI)
        lBody += "<Integer Name=\"D" + std::to_string(lI) + "\"><pValue>" +
                 (lI + 1 < aDepth ? "D" + std::to_string(lI + 1) : std::string("R")) + "</pValue></Integer>";
    const std::string lBelow = aDepth > 0 ? "D0" : "R";
    for (int lI = 0; lI < aCount; ++lI)
        lBody += "<Integer Name=\"P" + std::to_string(lI) + "\"><pValue>" + lBelow + "</pValue><PollingTime>0</PollingTime></Integer>";
    return Description(lBody);
}

// aCount cached four-byte registers over the same bytes, an IntSwissKnife
// "Sum" of all of them and a chain of aChain Integers above it ("Top"
// first): a write to one register changes every other, and all of them
// reach the sum and the chain.
inline std::string OverlappingRegistersDescription(int aCount, int aChain)
{
    std::string lBody, lFormula = "0";
    for (int lI = 0; lI < aCount; ++lI) {
        const std::string lR = "R" + std::to_string(lI);
        lBody += "<IntReg Name=\"" + lR + "\"><Address>0</Address><Length>4</Length><AccessMode>RW</AccessMode>"
                 "<pPort>Device</pPort></IntReg>";
        lFormula += " + " + lR;
    }
    lBody += "<IntSwissKnife Name=\"Sum\">";
    for (int lI = 0; lI < aCount; ++lI)
        lBody += "<pVariable Name=\"R" + std::to_string(lI) + "\">R" + std::to_string(lI) + "</pVariable>";
    lBody += "<Formula>" + lFormula + "</Formula></IntSwissKnife>";
    for (int lI = 0; lI < aChain; ++lI)
        lBody += "<Integer Name=\"" + (lI == 0 ? std::string("Top") : "U" + std::to_string(lI)) + "\"><pValue>" +
                 (lI + 1 == aChain ? std::string("Sum") : "U" + std::to_string(lI + 1)) + "</pValue></Integer>";
    return Description(lBody);
}

// An uncached four-byte register "Chunk" reading the chunk aId (hexadecimal).
inline std::string ChunkRegisterDescription(uint32_t aId)
{
    char lId[16];
    std::snprintf(lId, sizeof lId, "%X", unsigned(aId));
    return Description("<Port Name=\"Chunks\"><ChunkID>" + std::string(lId) + "</ChunkID></Port>"
                       "<IntReg Name=\"Chunk\"><Address>0</Address><Length>4</Length><AccessMode>RO</AccessMode>"
                       "<pPort>Chunks</pPort><Cachable>NoCache</Cachable><Endianess>BigEndian</Endianess></IntReg>");
}

// aCount Register nodes of the largest length a register may declare
// (16 MiB), at address 0 of the device port, or of the chunk port
// "Chunks" (chunk 0x10) when aChunk.
inline std::string LongRegistersDescription(int aCount, bool aChunk)
{
    std::string lBody = aChunk ? "<Port Name=\"Chunks\"><ChunkID>10</ChunkID></Port>" : "";
    for (int lI = 0; lI < aCount; ++lI)
        lBody += "<Register Name=\"R" + std::to_string(lI) + "\"><Address>0</Address><Length>16777216</Length>"
                 "<AccessMode>RO</AccessMode><pPort>" + (aChunk ? "Chunks" : "Device") + "</pPort></Register>";
    return Description(lBody);
}

// A ZIP archive of one deflated member aName holding aXml (in stored
// deflate blocks) whose headers claim it inflates to aClaimed bytes.
inline std::string DeflatedZip(const std::string &aName, const std::string &aXml, uint32_t aClaimed)
{
    std::string lDeflated;
    size_t lAt = 0;
    do {
        const size_t lN = std::min<size_t>(65535, aXml.size() - lAt);
        lDeflated.push_back(char(lAt + lN == aXml.size() ? 1 : 0));  // the last block?, stored
        lDeflated.push_back(char(lN & 0xFF));
        lDeflated.push_back(char(lN >> 8));
        lDeflated.push_back(char(~lN & 0xFF));
        lDeflated.push_back(char((~lN >> 8) & 0xFF));
        lDeflated.append(aXml, lAt, lN);
        lAt += lN;
    } while (lAt < aXml.size());
    std::string lZip;
    auto lU16 = [&](uint32_t aV) { lZip.push_back(char(aV & 0xFF)); lZip.push_back(char((aV >> 8) & 0xFF)); };
    auto lU32 = [&](uint32_t aV) { lU16(aV & 0xFFFF); lU16(aV >> 16); };
    const uint32_t lCompressed = uint32_t(lDeflated.size());
    lU32(0x04034b50); lU16(20); lU16(0); lU16(8); lU16(0); lU16(0); lU32(0);
    lU32(lCompressed); lU32(aClaimed); lU16(uint32_t(aName.size())); lU16(0);
    lZip += aName + lDeflated;
    const uint32_t lCentral = uint32_t(lZip.size());
    lU32(0x02014b50); lU16(20); lU16(20); lU16(0); lU16(8); lU16(0); lU16(0); lU32(0);
    lU32(lCompressed); lU32(aClaimed); lU16(uint32_t(aName.size())); lU16(0); lU16(0);
    lU16(0); lU16(0); lU32(0); lU32(0);
    lZip += aName;
    const uint32_t lCentralSize = uint32_t(lZip.size()) - lCentral;
    lU32(0x06054b50); lU16(0); lU16(0); lU16(1); lU16(1); lU32(lCentralSize); lU32(lCentral); lU16(0);
    return lZip;
}

} // namespace tarn_test_hostile

#endif
