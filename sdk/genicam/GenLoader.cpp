// Turning a description into nodes: parsing, reference resolution, cycle
// detection. Every problem ends as ZU_GENICAM_XML_ERROR naming it.

#include "GenNodeMap.h"

#include <pugixml.hpp>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace ZU_GENAPI_NS
{

namespace
{

struct LoadError
{
    std::string mWhy;
};

[[noreturn]] void Bad(const std::string &aWhy) { throw LoadError{aWhy}; }

std::string Trim(const std::string &aText)
{
    size_t lB = aText.find_first_not_of(" \t\r\n");
    if (lB == std::string::npos) return std::string();
    size_t lE = aText.find_last_not_of(" \t\r\n");
    return aText.substr(lB, lE - lB + 1);
}

bool ParseInt(const std::string &aText, int64_t &aValue)
{
    std::string lT = Trim(aText);
    if (lT.empty()) return false;
    const char *lS = lT.c_str();
    bool lNeg = false;
    if (*lS == '-' || *lS == '+') {
        lNeg = *lS == '-';
        ++lS;
    }
    int lBase = 10;
    if (lS[0] == '0' && (lS[1] == 'x' || lS[1] == 'X')) {
        lBase = 16;
        lS += 2;
    }
    if (!*lS) return false;
    char *lEnd = nullptr;
    errno = 0;
    unsigned long long lV = std::strtoull(lS, &lEnd, lBase);
    if (errno == ERANGE || *lEnd || *lS == '-' || *lS == '+') return false;
    if (lNeg) {
        if (lV > 9223372036854775808ULL) return false;
        aValue = static_cast<int64_t>(0 - lV);
    } else {
        // Hexadecimal constants may spell a full 64-bit pattern.
        if (lBase == 10 && lV > 9223372036854775807ULL) return false;
        aValue = static_cast<int64_t>(lV);
    }
    return true;
}

bool ParseFloat(const std::string &aText, double &aValue)
{
    std::string lT = Trim(aText);
    int64_t lI = 0;
    if (lT.size() > 2 && (lT.compare(0, 2, "0x") == 0 || lT.compare(0, 2, "0X") == 0) && ParseInt(lT, lI)) {
        aValue = static_cast<double>(lI);
        return true;
    }
    if (lT.empty()) return false;
    char *lEnd = nullptr;
    aValue = std::strtod(lT.c_str(), &lEnd);
    return lEnd && !*lEnd;
}

class Loader
{
public:
    Loader(NodeMapImpl &aMap) : mMap(aMap) {}

    void Run(const char *aXml, size_t aLength)
    {
        pugi::xml_document lDoc;
        pugi::xml_parse_result lParsed = lDoc.load_buffer(aXml, aLength, pugi::parse_default, pugi::encoding_auto);
        if (!lParsed)
            Bad(std::string("malformed XML at offset ") + std::to_string(lParsed.offset) + ": " + lParsed.description());
        pugi::xml_node lRoot = lDoc.document_element();
        if (std::strcmp(lRoot.name(), "RegisterDescription") != 0)
            Bad(std::string("root element is <") + lRoot.name() + ">, not <RegisterDescription>");
        mMap.mModelName = lRoot.attribute("ModelName").as_string();
        mMap.mVendorName = lRoot.attribute("VendorName").as_string();
        mMap.mSchemaMajor = lRoot.attribute("SchemaMajorVersion").as_int(1);
        mMap.mSchemaMinor = lRoot.attribute("SchemaMinorVersion").as_int(1);
        if (mMap.mSchemaMajor != 1 || mMap.mSchemaMinor > 1)
            Bad("schema version " + std::to_string(mMap.mSchemaMajor) + "." + std::to_string(mMap.mSchemaMinor) +
                " is not supported (1.0 and 1.1 are)");
        Elements(lRoot);
        Resolve();
        CheckCycles();
        Link();
        ParseFormulas();
    }

private:
    // Nesting bounds: the loader walks groups, references and categories
    // recursively, and must not exhaust a small thread stack on hostile input.
    static const size_t kMaxNesting = 1000;

    void Elements(pugi::xml_node aParent, size_t aDepth = 0)
    {
        if (aDepth > 64) Bad("groups nested too deeply");
        for (pugi::xml_node lE : aParent.children()) {
            if (lE.type() != pugi::node_element) continue;
            std::string lKind = lE.name();
            if (lKind == "Group") {
                Elements(lE, aDepth + 1);
                continue;
            }
            if (lKind == "StructReg") {
                StructReg(lE);
                continue;
            }
            NodeKind lK;
            if (!KindOf(lKind, lK)) Bad("unknown node kind <" + lKind + ">" + Where(lE));
            if (lK == NodeKind::EnumEntry || lK == NodeKind::StructEntry)
                Bad("<" + lKind + "> outside its parent" + Where(lE));
            Build(lE, lK, pugi::xml_node());
        }
    }

    static std::string Where(pugi::xml_node aE)
    {
        std::string lName = aE.attribute("Name").as_string();
        return lName.empty() ? std::string() : " (node '" + lName + "')";
    }

    static bool KindOf(const std::string &aName, NodeKind &aKind)
    {
        static const std::pair<const char *, NodeKind> kKinds[] = {
            {"Category", NodeKind::Category}, {"Integer", NodeKind::Integer}, {"IntReg", NodeKind::IntReg},
            {"MaskedIntReg", NodeKind::MaskedIntReg}, {"Float", NodeKind::Float}, {"FloatReg", NodeKind::FloatReg},
            {"Boolean", NodeKind::Boolean}, {"Command", NodeKind::Command}, {"Enumeration", NodeKind::Enumeration},
            {"EnumEntry", NodeKind::EnumEntry}, {"String", NodeKind::String}, {"StringReg", NodeKind::StringReg},
            {"Register", NodeKind::Register}, {"StructEntry", NodeKind::StructEntry},
            {"IntSwissKnife", NodeKind::IntSwissKnife}, {"SwissKnife", NodeKind::SwissKnife},
            {"IntConverter", NodeKind::IntConverter}, {"Converter", NodeKind::Converter}, {"Port", NodeKind::Port}};
        for (const auto &lK : kKinds)
            if (aName == lK.first) {
                aKind = lK.second;
                return true;
            }
        return false;
    }

    void StructReg(pugi::xml_node aE)
    {
        bool lAny = false;
        for (pugi::xml_node lC : aE.children("StructEntry")) {
            Build(lC, NodeKind::StructEntry, aE);
            lAny = true;
        }
        if (!lAny) Bad("<StructReg> without <StructEntry>");
    }

    Node *Build(pugi::xml_node aE, NodeKind aKind, pugi::xml_node aStruct)
    {
        std::unique_ptr<Node> lN(new Node(&mMap, aKind));
        lN->mName = aE.attribute("Name").as_string();
        if (lN->mName.empty()) Bad("<" + std::string(aE.name()) + "> without a Name");
        std::string lNs = aE.attribute("NameSpace").as_string("Custom");
        lN->mNameSpace = lNs == "Standard" ? ZuGenNameSpaceStandard : ZuGenNameSpaceCustom;
        Node *lRaw = lN.get();
        if (aKind == NodeKind::EnumEntry) {
            // Entries are reached through their enumeration; their names
            // need not be unique across the map.
            mMap.mByName.emplace(lRaw->mName, lRaw);
        } else {
            auto lIt = mMap.mByName.find(lRaw->mName);
            if (lIt != mMap.mByName.end() && lIt->second->mKind != NodeKind::EnumEntry)
                Bad("node '" + lRaw->mName + "' is defined twice");
            mMap.mByName[lRaw->mName] = lRaw;
        }
        mMap.mNodes.push_back(std::move(lN));
        if (aStruct) Properties(aStruct, *lRaw, true);
        Properties(aE, *lRaw, false);
        Defaults(*lRaw, aE);
        return lRaw;
    }

    static std::string Text(pugi::xml_node aE) { return Trim(aE.child_value()); }

    void Constant(pugi::xml_node aE, Node &aN, ValueRef &aRef, bool aFloat)
    {
        aRef.mSet = true;
        aRef.mRefName.clear();
        aRef.mText = Text(aE);
        bool lOk = aFloat ? ParseFloat(aRef.mText, aRef.mFloat) : ParseInt(aRef.mText, aRef.mInt);
        if (aFloat) {
            aRef.mInt = tarn_genicam::FormulaValue::Float(aRef.mFloat).AsInt();
        } else {
            aRef.mFloat = static_cast<double>(aRef.mInt);
            if (!lOk && ParseFloat(aRef.mText, aRef.mFloat)) Bad("'" + aRef.mText + "' in <" + aE.name() + "> of '" + aN.mName + "' is not an integer");
        }
        if (!lOk) Bad("bad number '" + aRef.mText + "' in <" + aE.name() + "> of '" + aN.mName + "'");
    }

    static void Reference(pugi::xml_node aE, ValueRef &aRef)
    {
        aRef.mSet = true;
        aRef.mRefName = Text(aE);
        if (aRef.mRefName.empty()) Bad(std::string("empty <") + aE.name() + ">");
    }

    bool IsFloatKind(NodeKind aK) const
    {
        return aK == NodeKind::Float || aK == NodeKind::FloatReg || aK == NodeKind::SwissKnife || aK == NodeKind::Converter;
    }

    void Properties(pugi::xml_node aE, Node &aN, bool aFromStruct)
    {
        bool lFloat = IsFloatKind(aN.mKind);
        for (pugi::xml_node lC : aE.children()) {
            if (lC.type() != pugi::node_element) continue;
            std::string lP = lC.name();
            std::string lT = Text(lC);
            if (aFromStruct && lP == "StructEntry") continue;
            if (lP == "ToolTip") aN.mToolTip = lT;
            else if (lP == "Description") aN.mDescription = lT;
            else if (lP == "DisplayName") aN.mDisplayName = lT;
            else if (lP == "Visibility") {
                if (lT == "Beginner") aN.mVisibility = ZuGenVisibilityBeginner;
                else if (lT == "Expert") aN.mVisibility = ZuGenVisibilityExpert;
                else if (lT == "Guru") aN.mVisibility = ZuGenVisibilityGuru;
                else if (lT == "Invisible") aN.mVisibility = ZuGenVisibilityInvisible;
                else Bad("bad <Visibility> '" + lT + "' of '" + aN.mName + "'");
            } else if (lP == "pIsImplemented") Reference(lC, aN.mIsImplemented);
            else if (lP == "pIsAvailable") Reference(lC, aN.mIsAvailable);
            else if (lP == "pIsLocked") Reference(lC, aN.mIsLocked);
            else if (lP == "pSelected") aN.mSelectedNames.push_back(lT);
            else if (lP == "pInvalidator") aN.mInvalidatorNames.push_back(lT);
            else if (lP == "pFeature") aN.mFeatureNames.push_back(lT);
            else if (lP == "Streamable") aN.mStreamable = lT == "Yes";
            else if (lP == "EventID") aN.mEventID = lT;
            else if (lP == "ChunkID") aN.mChunkID = lT;
            else if (lP == "Unit") aN.mUnit = lT;
            else if (lP == "Symbolic") aN.mSymbolic = lT;
            else if (lP == "PollingTime") {
                if (!ParseInt(lT, aN.mPollingTime) || aN.mPollingTime < 0) Bad("bad <PollingTime> of '" + aN.mName + "'");
            } else if (lP == "Cachable") {
                if (lT == "NoCache") aN.mCache = ZuGenCacheNone;
                else if (lT == "WriteThrough") aN.mCache = ZuGenCacheWriteThrough;
                else if (lT == "WriteAround") aN.mCache = ZuGenCacheWriteAround;
                else Bad("bad <Cachable> '" + lT + "' of '" + aN.mName + "'");
            } else if (lP == "AccessMode" || lP == "ImposedAccessMode") {
                ZuGenAccessMode lM;
                if (lT == "RO") lM = ZuGenAccessModeReadOnly;
                else if (lT == "RW") lM = ZuGenAccessModeReadWrite;
                else if (lT == "WO") lM = ZuGenAccessModeWriteOnly;
                else Bad("bad <" + lP + "> '" + lT + "' of '" + aN.mName + "'");
                (lP == "AccessMode" ? aN.mDeclaredAccess : aN.mImposedAccess) = lM;
            } else if (lP == "Endianess") {
                if (lT == "LittleEndian") aN.mEndianness = ZuGenEndiannessLittle;
                else if (lT == "BigEndian") aN.mEndianness = ZuGenEndiannessBig;
                else Bad("bad <Endianess> '" + lT + "' of '" + aN.mName + "'");
            } else if (lP == "Sign") {
                if (lT == "Signed") aN.mSign = ZuGenSignSigned;
                else if (lT == "Unsigned") aN.mSign = ZuGenSignUnsigned;
                else Bad("bad <Sign> '" + lT + "' of '" + aN.mName + "'");
                aN.mSignGiven = true;
            } else if (lP == "Representation") {
                static const std::pair<const char *, ZuGenRepresentation> kReps[] = {
                    {"Linear", ZuGenRepresentationLinear}, {"Logarithmic", ZuGenRepresentationLogarithmic},
                    {"Boolean", ZuGenRepresentationBoolean}, {"PureNumber", ZuGenRepresentationPureNumber},
                    {"HexNumber", ZuGenRepresentationHexNumber}, {"IPV4Address", ZuGenRepresentationIPV4Address},
                    {"MACAddress", ZuGenRepresentationMACAddress}};
                bool lFound = false;
                for (const auto &lR : kReps)
                    if (lT == lR.first) {
                        aN.mRepresentation = lR.second;
                        lFound = true;
                    }
                if (!lFound) Bad("bad <Representation> '" + lT + "' of '" + aN.mName + "'");
            } else if (lP == "Value") {
                if (aN.mKind == NodeKind::String) {
                    aN.mValue.mSet = true;
                    aN.mValue.mText = lT;
                } else {
                    Constant(lC, aN, aN.mValue, lFloat);
                }
            } else if (lP == "pValue") Reference(lC, aN.mValue);
            else if (lP == "Min") Constant(lC, aN, aN.mMin, lFloat);
            else if (lP == "pMin") Reference(lC, aN.mMin);
            else if (lP == "Max") Constant(lC, aN, aN.mMax, lFloat);
            else if (lP == "pMax") Reference(lC, aN.mMax);
            else if (lP == "Inc") Constant(lC, aN, aN.mInc, lFloat);
            else if (lP == "pInc") Reference(lC, aN.mInc);
            else if (lP == "pIndex") {
                Reference(lC, aN.mIndex);
                if (lC.attribute("pOffset")) {
                    aN.mOffset.mSet = true;
                    aN.mOffset.mRefName = lC.attribute("pOffset").as_string();
                } else if (lC.attribute("Offset")) {
                    aN.mOffset.mSet = true;
                    aN.mOffset.mText = lC.attribute("Offset").as_string();
                    if (!ParseInt(aN.mOffset.mText, aN.mOffset.mInt)) Bad("bad Offset of <pIndex> of '" + aN.mName + "'");
                } else {
                    aN.mOffset.mSet = true;
                    aN.mOffset.mInt = 1;
                }
            } else if (lP == "ValueIndexed" || lP == "pValueIndexed") {
                IndexedValue lIv;
                if (!ParseInt(lC.attribute("Index").as_string(), lIv.mIndex)) Bad("bad Index of <" + lP + "> of '" + aN.mName + "'");
                if (lP == "ValueIndexed") Constant(lC, aN, lIv.mValue, lFloat);
                else Reference(lC, lIv.mValue);
                aN.mIndexed.push_back(lIv);
            } else if (lP == "ValueDefault") Constant(lC, aN, aN.mValueDefault, lFloat);
            else if (lP == "pValueDefault") Reference(lC, aN.mValueDefault);
            else if (lP == "Address") {
                ValueRef lR;
                Constant(lC, aN, lR, false);
                aN.mAddresses.push_back(lR);
            } else if (lP == "pAddress") {
                ValueRef lR;
                Reference(lC, lR);
                aN.mAddresses.push_back(lR);
            } else if (lP == "Length") Constant(lC, aN, aN.mLength, false);
            else if (lP == "pLength") Reference(lC, aN.mLength);
            else if (lP == "pPort") Reference(lC, aN.mPort);
            else if (lP == "LSB") Constant(lC, aN, aN.mLsb, false);
            else if (lP == "MSB") Constant(lC, aN, aN.mMsb, false);
            else if (lP == "Bit") Constant(lC, aN, aN.mBit, false);
            else if (lP == "OnValue") Constant(lC, aN, aN.mOnValue, false);
            else if (lP == "OffValue") Constant(lC, aN, aN.mOffValue, false);
            else if (lP == "CommandValue") Constant(lC, aN, aN.mCommandValue, false);
            else if (lP == "pCommandValue") Reference(lC, aN.mCommandValue);
            else if (lP == "EnumEntry") {
                if (aN.mKind != NodeKind::Enumeration) Bad("<EnumEntry> inside '" + aN.mName + "', which is no enumeration");
                Node *lEntry = Build(lC, NodeKind::EnumEntry, pugi::xml_node());
                lEntry->mEnum = &aN;
                aN.mEntries.push_back(lEntry);
            } else if (lP == "pVariable") {
                Variable lV;
                lV.mName = lC.attribute("Name").as_string();
                if (lV.mName.empty()) Bad("<pVariable> without a Name in '" + aN.mName + "'");
                Reference(lC, lV.mRef);
                aN.mVariables.push_back(lV);
            } else if (lP == "Constant" || lP == "Expression") {
                NamedFormula lF;
                lF.mName = lC.attribute("Name").as_string();
                if (lF.mName.empty()) Bad("<" + lP + "> without a Name in '" + aN.mName + "'");
                lF.mText = lT;
                (lP == "Constant" ? aN.mConstants : aN.mExpressions).push_back(std::move(lF));
            } else if (lP == "Formula" || lP == "FormulaTo" || lP == "FormulaFrom") {
                mFormulaTexts[&aN][lP] = lT;
            }
            // Other properties (display hints, documentation links, vendor
            // extensions) do not change how a value is read or written.
        }
    }

    void Defaults(Node &aN, pugi::xml_node aE)
    {
        switch (aN.mKind) {
        case NodeKind::IntSwissKnife:
        case NodeKind::SwissKnife:
            if (!mFormulaTexts[&aN].count("Formula")) Bad("'" + aN.mName + "' has no <Formula>");
            break;
        case NodeKind::IntConverter:
        case NodeKind::Converter:
            if (!mFormulaTexts[&aN].count("FormulaTo") || !mFormulaTexts[&aN].count("FormulaFrom"))
                Bad("'" + aN.mName + "' needs <FormulaTo> and <FormulaFrom>");
            if (!aN.mValue.IsRef()) Bad("'" + aN.mName + "' has no <pValue>");
            break;
        case NodeKind::IntReg:
        case NodeKind::MaskedIntReg:
        case NodeKind::StructEntry:
        case NodeKind::FloatReg:
        case NodeKind::StringReg:
        case NodeKind::Register:
            if (!aN.mLength.mSet) Bad("register '" + aN.mName + "' has no <Length>");
            if (!aN.mPort.mSet) Bad("register '" + aN.mName + "' has no <pPort>");
            if ((aN.mKind == NodeKind::MaskedIntReg || aN.mKind == NodeKind::StructEntry) && !aN.mBit.mSet &&
                !(aN.mLsb.mSet && aN.mMsb.mSet))
                Bad("'" + aN.mName + "' needs <Bit> or <LSB> and <MSB>");
            if (aN.mKind == NodeKind::MaskedIntReg || aN.mKind == NodeKind::StructEntry) {
                // A masked register states its own sign; the structure's only applies when it gave one.
                if (!aN.mSignGiven) aN.mSign = ZuGenSignUnsigned;
            }
            if (aN.mKind == NodeKind::FloatReg && !aN.mLength.IsRef() && aN.mLength.mInt != 4 && aN.mLength.mInt != 8)
                Bad("float register '" + aN.mName + "' must be 4 or 8 bytes long");
            if ((aN.mKind == NodeKind::IntReg) && !aN.mLength.IsRef() && (aN.mLength.mInt < 1 || aN.mLength.mInt > 8))
                Bad("integer register '" + aN.mName + "' must be 1 to 8 bytes long");
            break;
        case NodeKind::Boolean:
            if (!aN.mOnValue.mSet) { aN.mOnValue.mSet = true; aN.mOnValue.mInt = 1; }
            if (!aN.mOffValue.mSet) { aN.mOffValue.mSet = true; aN.mOffValue.mInt = 0; }
            if (!aN.mValue.mSet) Bad("boolean '" + aN.mName + "' has no value");
            if (!aN.mValue.IsRef()) aN.mOwnInt = aN.mValue.mInt;
            break;
        case NodeKind::Command:
            if (!aN.mValue.mSet) Bad("command '" + aN.mName + "' has no <pValue>");
            if (!aN.mCommandValue.mSet) Bad("command '" + aN.mName + "' has no <CommandValue>");
            break;
        case NodeKind::Integer:
            if (!aN.mValue.mSet && !aN.mIndex.mSet) Bad("integer '" + aN.mName + "' has no value");
            aN.mOwnInt = aN.mValue.mInt;
            break;
        case NodeKind::Float:
            if (!aN.mValue.mSet && !aN.mIndex.mSet) Bad("float '" + aN.mName + "' has no value");
            aN.mOwnFloat = aN.mValue.mFloat;
            break;
        case NodeKind::String:
            if (!aN.mValue.mSet) Bad("string '" + aN.mName + "' has no value");
            aN.mOwnText = aN.mValue.mText;
            break;
        case NodeKind::Enumeration:
            if (aN.mEntries.empty()) Bad("enumeration '" + aN.mName + "' has no entries");
            if (!aN.mValue.mSet) Bad("enumeration '" + aN.mName + "' has no value");
            aN.mOwnInt = aN.mValue.mInt;
            break;
        case NodeKind::EnumEntry:
            if (!aN.mValue.mSet) Bad("entry '" + aN.mName + "' has no <Value>");
            break;
        default:
            break;
        }
        (void)aE;
    }

    Node *Find(const std::string &aName, const Node &aFrom, const char *aWhat)
    {
        auto lIt = mMap.mByName.find(aName);
        if (lIt == mMap.mByName.end()) Bad("'" + aFrom.mName + "' refers to missing node '" + aName + "' in " + aWhat);
        return lIt->second;
    }

    void ResolveRef(ValueRef &aRef, const Node &aFrom, const char *aWhat, bool aValueNode = true)
    {
        if (!aRef.IsRef()) return;
        aRef.mNode = Find(aRef.mRefName, aFrom, aWhat);
        NodeInterface lI = aRef.mNode->GetInterface();
        bool lNumeric = lI == NodeInterface::Integer || lI == NodeInterface::Float || lI == NodeInterface::Enumeration ||
                        lI == NodeInterface::Boolean || lI == NodeInterface::EnumEntry;
        if (aValueNode && !lNumeric)
            Bad("'" + aFrom.mName + "' uses '" + aRef.mRefName + "', which has no numeric value, in " + aWhat);
    }

    void ResolveText(ValueRef &aRef, const Node &aFrom)
    {
        if (!aRef.IsRef()) return;
        aRef.mNode = Find(aRef.mRefName, aFrom, "pValue");
        if (aRef.mNode->GetInterface() != NodeInterface::String)
            Bad("'" + aFrom.mName + "' takes its text from '" + aRef.mRefName + "', which holds none");
    }

    void Resolve()
    {
        for (auto &lP : mMap.mNodes) {
            Node &lN = *lP;
            ResolveRef(lN.mIsImplemented, lN, "pIsImplemented");
            ResolveRef(lN.mIsAvailable, lN, "pIsAvailable");
            ResolveRef(lN.mIsLocked, lN, "pIsLocked");
            if (lN.mKind == NodeKind::String) ResolveText(lN.mValue, lN);
            else ResolveRef(lN.mValue, lN, "pValue");
            ResolveRef(lN.mMin, lN, "pMin");
            ResolveRef(lN.mMax, lN, "pMax");
            ResolveRef(lN.mInc, lN, "pInc");
            ResolveRef(lN.mIndex, lN, "pIndex");
            ResolveRef(lN.mOffset, lN, "pOffset");
            for (IndexedValue &lI : lN.mIndexed) ResolveRef(lI.mValue, lN, "pValueIndexed");
            ResolveRef(lN.mValueDefault, lN, "pValueDefault");
            for (ValueRef &lA : lN.mAddresses) ResolveRef(lA, lN, "pAddress");
            ResolveRef(lN.mLength, lN, "pLength");
            ResolveRef(lN.mCommandValue, lN, "pCommandValue");
            for (Variable &lV : lN.mVariables) ResolveRef(lV.mRef, lN, "pVariable");
            if (lN.mPort.IsRef()) {
                ResolveRef(lN.mPort, lN, "pPort", false);
                if (lN.mPort.mNode->mKind != NodeKind::Port) Bad("'" + lN.mName + "' names '" + lN.mPort.mRefName + "' as port, which is no <Port>");
            }
            for (const std::string &lS : lN.mSelectedNames) lN.mSelected.push_back(Find(lS, lN, "pSelected"));
            for (const std::string &lS : lN.mInvalidatorNames) lN.mInvalidators.push_back(Find(lS, lN, "pInvalidator"));
            for (const std::string &lS : lN.mFeatureNames) lN.mFeatures.push_back(Find(lS, lN, "pFeature"));
            if (lN.mKind == NodeKind::Command && !lN.mValue.IsRef()) Bad("command '" + lN.mName + "' has no <pValue>");
        }
    }

    void CheckCycles()
    {
        // Depth-first over value dependencies; grey nodes on the stack mean a cycle.
        std::unordered_map<const Node *, int> lState;
        std::vector<const Node *> lPath;
        std::function<void(const Node *)> lVisit = [&](const Node *aN) {
            int &lS = lState[aN];
            if (lS == 2) return;
            if (lS == 1) {
                std::string lCycle;
                bool lIn = false;
                for (const Node *lP : lPath) {
                    if (lP == aN) lIn = true;
                    if (lIn) lCycle += lP->mName + " -> ";
                }
                Bad("reference cycle: " + lCycle + aN->mName);
            }
            lS = 1;
            lPath.push_back(aN);
            if (lPath.size() > kMaxNesting) Bad("references nested too deeply at '" + aN->mName + "'");
            for (const Node *lD : aN->ValueDependencies()) lVisit(lD);
            lPath.pop_back();
            lState[aN] = 2;
        };
        for (auto &lP : mMap.mNodes) lVisit(lP.get());
        // A category that contains itself would make the feature tree endless.
        std::unordered_map<const Node *, int> lCat;
        std::function<void(const Node *, size_t)> lWalk = [&](const Node *aN, size_t aDepth) {
            int &lS = lCat[aN];
            if (lS == 1) Bad("category cycle through '" + aN->mName + "'");
            if (lS == 2) return;
            if (aDepth > kMaxNesting) Bad("categories nested too deeply at '" + aN->mName + "'");
            lS = 1;
            for (const Node *lF : aN->mFeatures) lWalk(lF, aDepth + 1);
            lCat[aN] = 2;
        };
        for (auto &lP : mMap.mNodes) lWalk(lP.get(), 0);
    }

    void Link()
    {
        for (auto &lP : mMap.mNodes) {
            Node *lN = lP.get();
            for (Node *lD : lN->ValueDependencies()) lD->mDependants.push_back(lN);
            for (Node *lS : lN->mSelected) {
                lN->mDependants.push_back(lS);
                lS->mSelecting.push_back(lN);
            }
            for (Node *lI : lN->mInvalidators) lI->mDependants.push_back(lN);
            for (Node *lF : lN->mFeatures)
                if (!lF->mParent && lN->mKind == NodeKind::Category) lF->mParent = lN;
        }
    }

    void ParseOne(Node &aN, const std::string &aWhich, tarn_genicam::Formula &aF, std::vector<std::string> aNames)
    {
        std::string lError;
        if (!aF.Parse(mFormulaTexts[&aN][aWhich], aNames, lError))
            Bad("<" + aWhich + "> of '" + aN.mName + "' does not parse: " + lError);
    }

    void ParseFormulas()
    {
        for (auto &lP : mMap.mNodes) {
            Node &lN = *lP;
            if (!mFormulaTexts.count(&lN)) continue;
            std::vector<std::string> lNames;
            for (const Variable &lV : lN.mVariables) lNames.push_back(lV.mName);
            for (NamedFormula &lC : lN.mConstants) {
                std::string lError;
                if (!lC.mFormula.Parse(lC.mText, {}, lError)) Bad("<Constant> " + lC.mName + " of '" + lN.mName + "' does not parse: " + lError);
                lNames.push_back(lC.mName);
            }
            // Each expression may use the variables, constants and earlier expressions.
            for (NamedFormula &lX : lN.mExpressions) {
                std::string lError;
                if (!lX.mFormula.Parse(lX.mText, lNames, lError)) Bad("<Expression> " + lX.mName + " of '" + lN.mName + "' does not parse: " + lError);
                lNames.push_back(lX.mName);
            }
            if (lN.mKind == NodeKind::IntSwissKnife || lN.mKind == NodeKind::SwissKnife) {
                ParseOne(lN, "Formula", lN.mFormula, lNames);
            } else if (lN.mKind == NodeKind::IntConverter || lN.mKind == NodeKind::Converter) {
                std::vector<std::string> lTo = lNames, lFrom = lNames;
                lTo.push_back("FROM");
                lFrom.push_back("TO");
                ParseOne(lN, "FormulaTo", lN.mFormulaTo, lTo);
                ParseOne(lN, "FormulaFrom", lN.mFormulaFrom, lFrom);
            } else {
                Bad("'" + lN.mName + "' has a formula but is no swiss knife or converter");
            }
        }
    }

    NodeMapImpl &mMap;
    std::unordered_map<const Node *, std::map<std::string, std::string>> mFormulaTexts;
};

} // namespace

ZuResult NodeMapImpl::Load(const char *aXml, size_t aLength)
{
    if (!aXml) return Fail(ZU_GENICAM_XML_ERROR, "no description given");
    try {
        Loader lLoader(*this);
        lLoader.Run(aXml, aLength);
    } catch (const LoadError &aE) {
        return Fail(ZU_GENICAM_XML_ERROR, aE.mWhy);
    } catch (const std::bad_alloc &) {
        return Fail(ZU_NOT_ENOUGH_MEMORY, "out of memory while loading the description");
    }
    return ZuResult();
}

ZuResult LoadNodeMap(const char *aXml, size_t aLength, IPort *aPort, std::unique_ptr<INodeMap> &aMap)
{
    aMap.reset();
    std::unique_ptr<NodeMapImpl> lMap(new NodeMapImpl(aPort));
    ZuResult lR = lMap->Load(aXml, aLength);
    if (lR.IsOK()) aMap = std::move(lMap);
    return lR;
}

} // namespace ZU_GENAPI_NS
