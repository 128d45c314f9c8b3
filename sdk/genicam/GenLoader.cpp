// Turning a description into nodes: parsing, reference resolution, cycle
// detection. Every problem ends as ZU_GENICAM_XML_ERROR naming it.

#include "GenFamilies.h"
#include "GenNodeMap.h"

#include <pugixml.hpp>

#include <algorithm>
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
    // Nesting bound of categories: the loader walks them recursively, and
    // must not exhaust a small thread stack on hostile input. References
    // are bound by the engine's own kMaxReferenceDepth.
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
            const KindSchema *lK = FindKind(lKind);
            if (!lK) Bad("unknown node kind <" + lKind + ">" + Where(lE));
            if (lK->mKind == NodeKind::EnumEntry || lK->mKind == NodeKind::StructEntry)
                Bad("<" + lKind + "> outside its parent" + Where(lE));
            Build(lE, lK->mKind, pugi::xml_node());
        }
    }

    static std::string Where(pugi::xml_node aE)
    {
        std::string lName = aE.attribute("Name").as_string();
        return lName.empty() ? std::string() : " (node '" + lName + "')";
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

    static std::unique_ptr<Node> Make(NodeMapImpl &aMap, NodeKind aKind)
    {
        switch (SchemaOf(aKind).mFamily) {
        case NodeFamily::Category: return std::unique_ptr<Node>(new CategoryNode(&aMap, aKind));
        case NodeFamily::Value: return std::unique_ptr<Node>(new ValueNode(&aMap, aKind));
        case NodeFamily::Register: return std::unique_ptr<Node>(new RegisterNode(&aMap, aKind));
        case NodeFamily::Formula: return std::unique_ptr<Node>(new FormulaNode(&aMap, aKind));
        case NodeFamily::Enumeration: return std::unique_ptr<Node>(new EnumerationNode(&aMap, aKind));
        }
        return nullptr;
    }

    Node *Build(pugi::xml_node aE, NodeKind aKind, pugi::xml_node aStruct)
    {
        std::unique_ptr<Node> lN = Make(mMap, aKind);
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
        if (lRaw->Family() == NodeFamily::Register) mMap.mRegisters.push_back(static_cast<RegisterNode *>(lRaw));
        if (aKind == NodeKind::Port) mMap.mPorts.push_back(static_cast<CategoryNode *>(lRaw));
        if (aStruct) Properties(aStruct, *lRaw, true);
        Properties(aE, *lRaw, false);
        Defaults(*lRaw);
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

    // One property of a node, as the schema describes it. Families that do
    // not hold a property ignore it, like properties the engine does not
    // read (display hints, documentation links, vendor extensions).
    void Properties(pugi::xml_node aE, Node &aN, bool aFromStruct)
    {
        for (pugi::xml_node lC : aE.children()) {
            if (lC.type() != pugi::node_element) continue;
            std::string lP = lC.name();
            if (aFromStruct && lP == "StructEntry") continue;
            const AttrSchema *lA = FindAttribute(lP);
            if (!lA) continue;
            if (!lA->HeldBy(aN.Family())) {
                if (lA->mType == AttrType::FormulaText) Bad("'" + aN.mName + "' has a formula but is no swiss knife or converter");
                continue;
            }
            Property(*lA, lC, aN);
        }
    }

    int32_t Word(const AttrSchema &aA, const std::string &aText, const Node &aN)
    {
        int32_t lV = 0;
        if (!aA.WordValue(aText, lV)) Bad("bad <" + std::string(aA.mElement) + "> '" + aText + "' of '" + aN.mName + "'");
        return lV;
    }

    void Property(const AttrSchema &aA, pugi::xml_node aC, Node &aN)
    {
        const std::string lT = Text(aC);
        const bool lFloat = aN.Schema().mFloatConstants;
        // The families that hold each property are the schema's: the casts
        // below follow from it.
        auto lValue = [&]() -> ValueNode & { return static_cast<ValueNode &>(aN); };
        auto lReg = [&]() -> RegisterNode & { return static_cast<RegisterNode &>(aN); };
        auto lIndexRef = [&]() -> ValueRef & { return aN.Family() == NodeFamily::Register ? lReg().mIndex : lValue().mIndex; };
        switch (aA.mAttr) {
        case Attr::ToolTip: aN.mToolTip = lT; break;
        case Attr::Description: aN.mDescription = lT; break;
        case Attr::DisplayName: aN.mDisplayName = lT; break;
        case Attr::Visibility: aN.mVisibility = static_cast<ZuGenVisibility>(Word(aA, lT, aN)); break;
        case Attr::EventID: aN.mEventID = lT; break;
        case Attr::pIsImplemented: Reference(aC, aN.mIsImplemented); break;
        case Attr::pIsAvailable: Reference(aC, aN.mIsAvailable); break;
        case Attr::pIsLocked: Reference(aC, aN.mIsLocked); break;
        case Attr::ImposedAccessMode: aN.mImposedAccess = static_cast<ZuGenAccessMode>(Word(aA, lT, aN)); break;
        case Attr::pSelected: aN.mSelectedNames.push_back(lT); break;
        case Attr::pInvalidator: aN.mInvalidatorNames.push_back(lT); break;
        case Attr::Streamable: aN.mStreamable = lT == "Yes"; break;
        case Attr::PollingTime:
            if (!ParseInt(lT, aN.mPollingTime) || aN.mPollingTime < 0) Bad("bad <PollingTime> of '" + aN.mName + "'");
            break;
        case Attr::Cachable: aN.mCache = static_cast<ZuGenCache>(Word(aA, lT, aN)); break;
        case Attr::Unit: aN.mUnit = lT; break;
        case Attr::Representation: aN.mRepresentation = static_cast<ZuGenRepresentation>(Word(aA, lT, aN)); break;
        case Attr::pFeature: static_cast<CategoryNode &>(aN).mFeatureNames.push_back(lT); break;
        case Attr::ChunkID: static_cast<CategoryNode &>(aN).mChunkID = lT; break;
        case Attr::Value:
            if (aN.mKind == NodeKind::String) {
                aN.mValue.mSet = true;
                aN.mValue.mText = lT;
            } else {
                Constant(aC, aN, aN.mValue, lFloat);
            }
            break;
        case Attr::pValue: Reference(aC, aN.mValue); break;
        case Attr::Min: Constant(aC, aN, aN.mMin, lFloat); break;
        case Attr::pMin: Reference(aC, aN.mMin); break;
        case Attr::Max: Constant(aC, aN, aN.mMax, lFloat); break;
        case Attr::pMax: Reference(aC, aN.mMax); break;
        case Attr::Inc: Constant(aC, aN, aN.mInc, lFloat); break;
        case Attr::pInc: Reference(aC, aN.mInc); break;
        case Attr::pIndex: {
            Reference(aC, lIndexRef());
            if (aN.Family() != NodeFamily::Register) break;
            // Registers move by the index times its offset.
            ValueRef &lOffset = lReg().mOffset;
            lOffset.mSet = true;
            if (aC.attribute("pOffset")) {
                lOffset.mRefName = aC.attribute("pOffset").as_string();
            } else if (aC.attribute("Offset")) {
                lOffset.mText = aC.attribute("Offset").as_string();
                if (!ParseInt(lOffset.mText, lOffset.mInt)) Bad("bad Offset of <pIndex> of '" + aN.mName + "'");
            } else {
                lOffset.mInt = 1;
            }
            break;
        }
        case Attr::ValueIndexed:
        case Attr::pValueIndexed: {
            IndexedValue lIv;
            if (!ParseInt(aC.attribute("Index").as_string(), lIv.mIndex)) Bad("bad Index of <" + std::string(aA.mElement) + "> of '" + aN.mName + "'");
            if (aA.mAttr == Attr::ValueIndexed) Constant(aC, aN, lIv.mValue, lFloat);
            else Reference(aC, lIv.mValue);
            lValue().mIndexed.push_back(lIv);
            break;
        }
        case Attr::ValueDefault: Constant(aC, aN, lValue().mValueDefault, lFloat); break;
        case Attr::pValueDefault: Reference(aC, lValue().mValueDefault); break;
        case Attr::OnValue: Constant(aC, aN, lValue().mOnValue, false); break;
        case Attr::OffValue: Constant(aC, aN, lValue().mOffValue, false); break;
        case Attr::CommandValue: Constant(aC, aN, lValue().mCommandValue, false); break;
        case Attr::pCommandValue: Reference(aC, lValue().mCommandValue); break;
        case Attr::Address:
        case Attr::pAddress: {
            ValueRef lR;
            if (aA.mAttr == Attr::Address) Constant(aC, aN, lR, false);
            else Reference(aC, lR);
            lReg().mAddresses.push_back(lR);
            break;
        }
        case Attr::Length: Constant(aC, aN, lReg().mLength, false); break;
        case Attr::pLength: Reference(aC, lReg().mLength); break;
        case Attr::AccessMode: lReg().mDeclaredAccess = static_cast<ZuGenAccessMode>(Word(aA, lT, aN)); break;
        case Attr::pPort: Reference(aC, lReg().mPort); break;
        case Attr::Endianess: lReg().mEndianness = static_cast<ZuGenEndianness>(Word(aA, lT, aN)); break;
        case Attr::Sign:
            lReg().mSign = static_cast<ZuGenSign>(Word(aA, lT, aN));
            lReg().mSignGiven = true;
            break;
        case Attr::LSB: Constant(aC, aN, lReg().mLsb, false); break;
        case Attr::MSB: Constant(aC, aN, lReg().mMsb, false); break;
        case Attr::Bit: Constant(aC, aN, lReg().mBit, false); break;
        case Attr::EnumEntry: {
            if (aN.mKind != NodeKind::Enumeration) Bad("<EnumEntry> inside '" + aN.mName + "', which is no enumeration");
            EnumerationNode &lEnum = static_cast<EnumerationNode &>(aN);
            EnumerationNode *lEntry = static_cast<EnumerationNode *>(Build(aC, NodeKind::EnumEntry, pugi::xml_node()));
            lEntry->mEnum = &lEnum;
            lEnum.mEntries.push_back(lEntry);
            break;
        }
        case Attr::Symbolic: static_cast<EnumerationNode &>(aN).mSymbolic = lT; break;
        case Attr::pVariable: {
            Variable lV;
            lV.mName = aC.attribute("Name").as_string();
            if (lV.mName.empty()) Bad("<pVariable> without a Name in '" + aN.mName + "'");
            Reference(aC, lV.mRef);
            static_cast<FormulaNode &>(aN).mVariables.push_back(lV);
            break;
        }
        case Attr::Constant:
        case Attr::Expression: {
            NamedFormula lF;
            lF.mName = aC.attribute("Name").as_string();
            if (lF.mName.empty()) Bad("<" + std::string(aA.mElement) + "> without a Name in '" + aN.mName + "'");
            lF.mText = lT;
            FormulaNode &lK = static_cast<FormulaNode &>(aN);
            (aA.mAttr == Attr::Constant ? lK.mConstants : lK.mExpressions).push_back(std::move(lF));
            break;
        }
        case Attr::Formula:
        case Attr::FormulaTo:
        case Attr::FormulaFrom:
            mFormulaTexts[&aN][aA.mElement] = lT;
            break;
        }
    }

    // What each kind must have, and the values it starts from.
    void Defaults(Node &aN)
    {
        switch (aN.Family()) {
        case NodeFamily::Formula:
            if (!static_cast<FormulaNode &>(aN).IsConverter()) {
                if (!mFormulaTexts[&aN].count("Formula")) Bad("'" + aN.mName + "' has no <Formula>");
                break;
            }
            if (!mFormulaTexts[&aN].count("FormulaTo") || !mFormulaTexts[&aN].count("FormulaFrom"))
                Bad("'" + aN.mName + "' needs <FormulaTo> and <FormulaFrom>");
            if (!aN.mValue.IsRef()) Bad("'" + aN.mName + "' has no <pValue>");
            break;
        case NodeFamily::Register:
            RegisterDefaults(static_cast<RegisterNode &>(aN));
            break;
        case NodeFamily::Value:
            ValueDefaults(static_cast<ValueNode &>(aN));
            break;
        case NodeFamily::Enumeration: {
            EnumerationNode &lE = static_cast<EnumerationNode &>(aN);
            if (aN.mKind == NodeKind::EnumEntry) {
                if (!aN.mValue.mSet) Bad("entry '" + aN.mName + "' has no <Value>");
                break;
            }
            if (lE.mEntries.empty()) Bad("enumeration '" + aN.mName + "' has no entries");
            if (!aN.mValue.mSet) Bad("enumeration '" + aN.mName + "' has no value");
            lE.mOwnInt = aN.mValue.mInt;
            break;
        }
        case NodeFamily::Category:
            break;
        }
    }

    static void RegisterDefaults(RegisterNode &aN)
    {
        if (!aN.mLength.mSet) Bad("register '" + aN.mName + "' has no <Length>");
        if (!aN.mPort.mSet) Bad("register '" + aN.mName + "' has no <pPort>");
        if (aN.IsMasked()) {
            if (!aN.mBit.mSet && !(aN.mLsb.mSet && aN.mMsb.mSet)) Bad("'" + aN.mName + "' needs <Bit> or <LSB> and <MSB>");
            // A masked register states its own sign; the structure's only applies when it gave one.
            if (!aN.mSignGiven) aN.mSign = ZuGenSignUnsigned;
        }
        if (aN.mKind == NodeKind::FloatReg && !aN.mLength.IsRef() && aN.mLength.mInt != 4 && aN.mLength.mInt != 8)
            Bad("float register '" + aN.mName + "' must be 4 or 8 bytes long");
        if (aN.mKind == NodeKind::IntReg && !aN.mLength.IsRef() && (aN.mLength.mInt < 1 || aN.mLength.mInt > 8))
            Bad("integer register '" + aN.mName + "' must be 1 to 8 bytes long");
    }

    static void ValueDefaults(ValueNode &aN)
    {
        switch (aN.mKind) {
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
        default:  // String
            if (!aN.mValue.mSet) Bad("string '" + aN.mName + "' has no value");
            aN.mOwnText = aN.mValue.mText;
            break;
        }
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
            lN.VisitRefs([&](ValueRef &aRef, const char *aProperty, RefUse aUse) {
                switch (aUse) {
                case RefUse::Number: ResolveRef(aRef, lN, aProperty); break;
                case RefUse::Text: ResolveText(aRef, lN); break;
                case RefUse::Port:
                    if (!aRef.IsRef()) break;
                    ResolveRef(aRef, lN, aProperty, false);
                    if (aRef.mNode->mKind != NodeKind::Port) Bad("'" + lN.mName + "' names '" + aRef.mRefName + "' as port, which is no <Port>");
                    static_cast<RegisterNode &>(lN).mPortNode = static_cast<CategoryNode *>(aRef.mNode);
                    break;
                }
            });
            for (const std::string &lS : lN.mSelectedNames) lN.mSelected.push_back(Find(lS, lN, "pSelected"));
            for (const std::string &lS : lN.mInvalidatorNames) lN.mInvalidators.push_back(Find(lS, lN, "pInvalidator"));
            if (lN.Family() == NodeFamily::Category) {
                CategoryNode &lC = static_cast<CategoryNode &>(lN);
                for (const std::string &lS : lC.mFeatureNames) lC.mFeatures.push_back(Find(lS, lN, "pFeature"));
            }
            if (lN.mKind == NodeKind::Command && !lN.mValue.IsRef()) Bad("command '" + lN.mName + "' has no <pValue>");
        }
    }

    void CheckCycles()
    {
        // Depth-first over value dependencies; grey nodes on the stack mean
        // a cycle. Each node's height (the nodes on the longest chain of
        // references from it, itself included) is what evaluating it may
        // nest: more than the engine evaluates is refused here, whatever
        // order the nodes come in.
        std::unordered_map<const Node *, int> lState, lHeight;
        std::vector<const Node *> lPath;
        auto lTooDeep = [](const Node *aN) {
            Bad("references nested more than " + std::to_string(kMaxReferenceDepth) + " deep at '" + aN->mName + "'");
        };
        std::function<int(const Node *)> lVisit = [&](const Node *aN) -> int {
            int &lS = lState[aN];
            if (lS == 2) return lHeight[aN];
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
            if (lPath.size() > size_t(kMaxReferenceDepth)) lTooDeep(lPath.front());
            int lBelow = 0;
            for (const Node *lD : aN->ValueDependencies()) lBelow = std::max(lBelow, lVisit(lD));
            lPath.pop_back();
            if (lBelow + 1 > kMaxReferenceDepth) lTooDeep(aN);
            lState[aN] = 2;
            return lHeight[aN] = lBelow + 1;
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
            if (aN->Family() == NodeFamily::Category)
                for (const Node *lF : static_cast<const CategoryNode *>(aN)->mFeatures) lWalk(lF, aDepth + 1);
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
            if (lN->mKind == NodeKind::Category)
                for (Node *lF : static_cast<CategoryNode *>(lN)->mFeatures)
                    if (!lF->mParent) lF->mParent = lN;
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
            if (lP->Family() != NodeFamily::Formula) continue;
            FormulaNode &lN = static_cast<FormulaNode &>(*lP);
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
            if (!lN.IsConverter()) {
                ParseOne(lN, "Formula", lN.mFormula, lNames);
            } else {
                std::vector<std::string> lTo = lNames, lFrom = lNames;
                lTo.push_back("FROM");
                lFrom.push_back("TO");
                ParseOne(lN, "FormulaTo", lN.mFormulaTo, lTo);
                ParseOne(lN, "FormulaFrom", lN.mFormulaFrom, lFrom);
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
