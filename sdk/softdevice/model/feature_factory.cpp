#include "softdevice/model/feature_factory.h"

#include "softdevice/model/custom_register.h"
#include "tarn/genicam/Schema.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>

namespace tarn {
namespace softdevice {

using Kind = FeatureKind;
namespace gs = ZU_GENAPI_NS;

// ---- Declarations

void FeatureFactory::MapChunk(uint32_t aChunkID, uint32_t aAddress, size_t aLength, ZuGenEndianness aEndianness)
{
    mNext.mapping = FeatureDecl::Mapping::Chunk;
    mNext.mapId = aChunkID;
    mNext.mapAddress = aAddress;
    mNext.mapLength = aLength;
    mNext.endianness = aEndianness;
}

void FeatureFactory::MapEvent(uint32_t aEventID, uint32_t aAddress, size_t aLength, ZuGenEndianness aEndianness,
                              bool aAdjustAddress)
{
    mNext.mapping = FeatureDecl::Mapping::Event;
    mNext.mapId = aEventID;
    mNext.mapAddress = aAddress;
    mNext.mapLength = aLength;
    mNext.endianness = aEndianness;
    mNext.adjust = aAdjustAddress;
}

void FeatureFactory::AddEnumEntry(const ZuString &aName, uint32_t aValue)
{
    AddEnumEntry(aName, aValue, ZuString(), ZuGenNameSpaceCustom);
}

void FeatureFactory::AddEnumEntry(const ZuString &aName, uint32_t aValue, const ZuString &aDisplayName,
                                  ZuGenNameSpace aNameSpace)
{
    mNext.entries.push_back(FeatureDecl::Entry{aName.Narrow(), aValue, aDisplayName.Narrow(), aNameSpace == ZuGenNameSpaceStandard});
}

void FeatureFactory::SetAccessMode(ZuGenAccessMode aAccessMode)
{
    mNext.access = schemaWord(gs::Attr::ImposedAccessMode, aAccessMode);
}

void FeatureFactory::SetRepresentation(ZuGenRepresentation aRepresentation)
{
    mNext.representation = aRepresentation < 0 ? std::string() : schemaWord(gs::Attr::Representation, aRepresentation);
}

void FeatureFactory::SetVisibility(ZuGenVisibility aVisibility)
{
    mNext.visibility = aVisibility < 0 ? "Beginner" : schemaWord(gs::Attr::Visibility, aVisibility);
}

// A register that does not say otherwise is read anew each time.
void FeatureFactory::SetCachable(ZuGenCache aCache)
{
    mNext.cache = aCache < 0 ? "NoCache" : schemaWord(gs::Attr::Cachable, aCache);
}

bool validFeatureName(const std::string &aName)
{
    if (aName.empty() || !std::isalpha(static_cast<unsigned char>(aName[0]))) return false;
    for (char c : aName)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    return true;
}

namespace {

bool validCategory(const std::string &aCategory)
{
    if (aCategory.empty()) return true;
    size_t from = 0;
    while (true) {
        const size_t end = aCategory.find('\\', from);
        if (!validFeatureName(aCategory.substr(from, end == std::string::npos ? std::string::npos : end - from)))
            return false;
        if (end == std::string::npos) return true;
        from = end + 1;
    }
}

bool needsRegisterValue(Kind aKind)
{
    return aKind == Kind::Integer || aKind == Kind::Float || aKind == Kind::Boolean || aKind == Kind::Command ||
           aKind == Kind::Enumeration;
}

} // namespace

ZuResult FeatureFactory::Create(Kind aKind, IZuRegister *aRegister, bool aNeedsValue)
{
    FeatureDecl f = std::move(mNext);
    mNext = FeatureDecl();
    f.kind = aKind;
    f.source = mSource;
    if (f.name.empty()) return ZuResult(ZU_NOT_INITIALIZED, ZuString("SetName was not called for the feature"));
    if (!validFeatureName(f.name))
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("a feature name holds letters, digits and underscores, a letter first"));
    if (!validCategory(f.category)) return ZuResult(ZU_INVALID_PARAMETER, ZuString("the category is no valid name"));
    if (aKind != Kind::Enumeration) f.entries.clear();
    if (aKind < Kind::IntSwissKnife) f.variables.clear();
    if (aNeedsValue) {
        if (!f.pValue.empty()) {
            // The value comes from the named feature.
        } else if (aRegister) {
            f.hasRegister = true;
            f.address = aRegister->GetAddress();
            f.length = uint32_t(aRegister->GetLength());
            f.registerWritable = aRegister->IsWritable();
            f.registerReadable = aRegister->IsReadable();
            f.reg = dynamic_cast<CustomRegister *>(aRegister);
            if (needsRegisterValue(aKind) && f.length != 4 && f.length != 8)
                return ZuResult(ZU_INVALID_PARAMETER, ZuString("a numeric feature needs a 4- or 8-byte register"));
        } else if (aKind == Kind::Command || f.mapping == FeatureDecl::Mapping::None) {
            return ZuResult(ZU_INVALID_PARAMETER, ZuString("the feature has no register, chunk, event or pValue"));
        } else if (f.mapLength == 0 || f.mapLength > 0xFFFFFFFFull) {
            return ZuResult(ZU_INVALID_PARAMETER, ZuString("a mapping's length must be 1 to 4294967295 bytes"));
        }
    }
    if (f.reg) {
        f.reg->feature = f.name;
        f.reg->streamable = f.reg->streamable || f.streamable;
    }
    mFeatures.push_back(std::move(f));
    return ZuResult(ZU_OK);
}

ZuResult FeatureFactory::CreateInteger(IZuRegister *aRegister, int64_t aMin, int64_t aMax, int64_t aInc)
{
    if (aMin > aMax || aInc <= 0) {
        mNext = FeatureDecl();
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("the minimum, maximum and increment do not fit together"));
    }
    mNext.hasLimits = true;
    mNext.min = aMin;
    mNext.max = aMax;
    mNext.inc = aInc;
    return Create(Kind::Integer, aRegister, true);
}

ZuResult FeatureFactory::CreateInteger(IZuRegister *aRegister)
{
    return Create(Kind::Integer, aRegister, true);
}

ZuResult FeatureFactory::CreateFloat(IZuRegister *aRegister, double aMin, double aMax)
{
    if (!(aMin <= aMax)) {
        mNext = FeatureDecl();
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("the minimum and maximum do not fit together"));
    }
    mNext.hasLimits = true;
    mNext.fmin = aMin;
    mNext.fmax = aMax;
    return Create(Kind::Float, aRegister, true);
}

ZuResult FeatureFactory::CreateFloat(IZuRegister *aRegister) { return Create(Kind::Float, aRegister, true); }
ZuResult FeatureFactory::CreateString(IZuRegister *aRegister) { return Create(Kind::String, aRegister, true); }
ZuResult FeatureFactory::CreateRegister(IZuRegister *aRegister) { return Create(Kind::Register, aRegister, true); }
ZuResult FeatureFactory::CreateBoolean(IZuRegister *aRegister) { return Create(Kind::Boolean, aRegister, true); }
ZuResult FeatureFactory::CreateCommand(IZuRegister *aRegister) { return Create(Kind::Command, aRegister, true); }

ZuResult FeatureFactory::CreateEnum(IZuRegister *aRegister)
{
    if (mNext.entries.empty()) {
        mNext = FeatureDecl();
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("an enumeration needs entries"));
    }
    for (const FeatureDecl::Entry &e : mNext.entries)
        if (!validFeatureName(e.name)) {
            mNext = FeatureDecl();
            return ZuResult(ZU_INVALID_PARAMETER, ZuString("an entry name holds letters, digits and underscores, a letter first"));
        }
    return Create(Kind::Enumeration, aRegister, true);
}

ZuResult FeatureFactory::CreateIntSwissKnife(const ZuString &aFormula)
{
    return SwissKnife(Kind::IntSwissKnife, aFormula);
}

ZuResult FeatureFactory::CreateFloatSwissKnife(const ZuString &aFormula)
{
    return SwissKnife(Kind::FloatSwissKnife, aFormula);
}

ZuResult FeatureFactory::SwissKnife(Kind aKind, const ZuString &aFormula)
{
    mNext.formula = aFormula.Narrow();
    if (!mNext.name.empty() && mNext.formula.empty()) {
        mNext = FeatureDecl();
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("the formula is empty"));
    }
    return Create(aKind, nullptr, false);
}

ZuResult FeatureFactory::CreateIntConverter(const ZuString &aValueFeatureName, const ZuString &aFromFormula,
                                            const ZuString &aToFormula)
{
    return Converter(Kind::IntConverter, aValueFeatureName, aFromFormula, aToFormula);
}

ZuResult FeatureFactory::CreateFloatConverter(const ZuString &aValueFeatureName, const ZuString &aFromFormula,
                                              const ZuString &aToFormula)
{
    return Converter(Kind::FloatConverter, aValueFeatureName, aFromFormula, aToFormula);
}

ZuResult FeatureFactory::Converter(Kind aKind, const ZuString &aValueFeatureName, const ZuString &aFromFormula,
                                   const ZuString &aToFormula)
{
    mNext.valueFeature = aValueFeatureName.Narrow();
    mNext.fromFormula = aFromFormula.Narrow();
    mNext.toFormula = aToFormula.Narrow();
    if (!mNext.name.empty() && (mNext.valueFeature.empty() || mNext.fromFormula.empty() || mNext.toFormula.empty())) {
        mNext = FeatureDecl();
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("a converter needs its feature and both formulas"));
    }
    return Create(aKind, nullptr, false);
}

ZuResult FeatureFactory::Reference(FeatureReference::Kind aKind, const ZuString &aFeature, const ZuString &aOther,
                                   const ZuString &aEntry)
{
    mReferences.push_back(FeatureReference{aKind, aFeature.Narrow(), aEntry.Narrow(), aOther.Narrow()});
    return ZuResult(ZU_OK);
}

using RK = FeatureReference::Kind;
ZuResult FeatureFactory::AddInvalidatorTo(const ZuString &aF, const ZuString &aO) { return Reference(RK::Invalidator, aF, aO); }
ZuResult FeatureFactory::AddSelectedTo(const ZuString &aF, const ZuString &aO) { return Reference(RK::Selected, aF, aO); }
ZuResult FeatureFactory::SetPIsAvailableFor(const ZuString &aF, const ZuString &aO) { return Reference(RK::PIsAvailable, aF, aO); }
ZuResult FeatureFactory::SetPIsAvailableForEnumEntry(const ZuString &aF, const ZuString &aE, const ZuString &aO)
{
    return Reference(RK::PIsAvailableEntry, aF, aO, aE);
}
ZuResult FeatureFactory::SetPIsLockedFor(const ZuString &aF, const ZuString &aO) { return Reference(RK::PIsLocked, aF, aO); }
ZuResult FeatureFactory::SetPValueFor(const ZuString &aF, const ZuString &aO) { return Reference(RK::PValue, aF, aO); }
ZuResult FeatureFactory::SetPMinFor(const ZuString &aF, const ZuString &aO) { return Reference(RK::PMin, aF, aO); }
ZuResult FeatureFactory::SetPMaxFor(const ZuString &aF, const ZuString &aO) { return Reference(RK::PMax, aF, aO); }
ZuResult FeatureFactory::SetPIncFor(const ZuString &aF, const ZuString &aO) { return Reference(RK::PInc, aF, aO); }

// ---- Display names

std::string generatedDisplayName(const std::string &aName, const std::string &aCategory)
{
    // Words: a capital starts one after a small letter or digit, and ends a
    // run of capitals when a small letter follows ("SCPSPacket": SCPS Packet).
    std::vector<std::string> words;
    for (size_t i = 0; i < aName.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(aName[i]);
        if (c == '_') {
            words.emplace_back();
            continue;
        }
        bool starts = words.empty();
        if (!starts && std::isupper(c)) {
            const unsigned char p = static_cast<unsigned char>(aName[i - 1]);
            const unsigned char n = i + 1 < aName.size() ? static_cast<unsigned char>(aName[i + 1]) : 0;
            starts = std::islower(p) || std::isdigit(p) || (std::isupper(p) && std::islower(n));
        }
        if (starts) words.emplace_back();
        words.back() += char(c);
    }
    words.erase(std::remove(words.begin(), words.end(), std::string()), words.end());
    // The first word of the innermost category level.
    const std::string level = aCategory.substr(aCategory.rfind('\\') == std::string::npos ? 0 : aCategory.rfind('\\') + 1);
    if (!level.empty() && words.size() > 1) {
        const std::vector<std::string> levelWords = [&] {
            std::vector<std::string> w;
            for (size_t i = 0; i < level.size(); ++i) {
                const unsigned char c = static_cast<unsigned char>(level[i]);
                if (w.empty() || (std::isupper(c) && !std::isupper(static_cast<unsigned char>(level[i - 1])))) w.emplace_back();
                w.back() += char(c);
            }
            return w;
        }();
        if (!levelWords.empty() && words.front() == levelWords.front()) words.erase(words.begin());
    }
    std::string out;
    for (const std::string &w : words) out += (out.empty() ? "" : " ") + w;
    return out;
}

// ---- The description

namespace {

using A = gs::Attr;

// A node of a script's feature, its properties in schema order once made.
XmlNode node(const char *aElement, std::string aName, bool aStandard = false)
{
    return XmlNode(aElement, std::move(aName), aStandard ? "Standard" : "Custom");
}

const char *kindText(Kind aKind)
{
    switch (aKind) {
    case Kind::Integer: return "Integer";
    case Kind::Float: return "Float";
    case Kind::String: return "String";
    case Kind::Register: return "Register";
    case Kind::Boolean: return "Boolean";
    case Kind::Command: return "Command";
    case Kind::Enumeration: return "Enumeration";
    case Kind::IntSwissKnife: return "IntSwissKnife";
    case Kind::FloatSwissKnife: return "SwissKnife";
    case Kind::IntConverter: return "IntConverter";
    case Kind::FloatConverter: return "Converter";
    }
    return "Integer";
}

// A formula node over SourceSelector that picks one text per source.
std::string bySource(const std::vector<std::pair<int, std::string>> &aValues, const std::string &aDefault)
{
    std::string formula = aDefault;
    for (auto it = aValues.rbegin(); it != aValues.rend(); ++it)
        formula = "(SourceSelector=" + std::to_string(it->first) + ")?(" + it->second + "):(" + formula + ")";
    return formula;
}

// Which of the sources declared the feature, as a formula over SourceSelector.
std::string whichSource(const std::vector<int> &aSources)
{
    std::string which;
    for (int s : aSources) which += (which.empty() ? "" : "|") + ("(SourceSelector=" + std::to_string(s) + ")");
    return which;
}

XmlNode knife(bool aInteger, const std::string &aName, const std::string &aFormula, const std::vector<std::string> &aVariables)
{
    XmlNode n = node(aInteger ? "IntSwissKnife" : "SwissKnife", aName);
    n.Word(A::Visibility, ZuGenVisibilityInvisible);
    for (const std::string &v : aVariables) n.Add(A::pVariable, v, {"Name", v});
    n.Add(A::Formula, aFormula);
    return std::move(n.InSchemaOrder());
}

int64_t registerMax(const FeatureDecl &aSpec)
{
    if (!aSpec.hasRegister && aSpec.mapping == FeatureDecl::Mapping::None) return INT64_MAX;
    const uint64_t length = aSpec.hasRegister ? aSpec.length : aSpec.mapLength;
    return length >= 8 ? INT64_MAX : int64_t((uint64_t(1) << (8 * length)) - 1);
}

using Specs = std::vector<const FeatureDecl *>;

class Describer
{
public:
    Describer(size_t aChannels, DescriptionWriter &aWriter) : mChannels(aChannels), mWriter(aWriter) {}

    bool Feature(const Specs &aSpecs, std::string &aError);
    std::vector<XmlNode> Nodes() { return std::move(mNodes); }
    // The script's features that a feature of the script selects.
    std::map<std::string, std::vector<std::string>> selects;

private:
    // Per source only when the device has sources to select: the
    // declarations that count, and what makes the feature available.
    Specs PerSource(const Specs &aSpecs, std::string &aAvailable);
    void Category(const FeatureDecl &aSpec);
    void Common(XmlNode &aNode, const FeatureDecl &aSpec, const std::string &aAvailable);
    // The register node of a feature; a string or register feature is its
    // register node itself (aAvailable non-null then).
    std::string RegisterNode(const FeatureDecl &aSpec, const Specs &aSpecs, bool aFloat, const std::string *aAvailable = nullptr);
    std::string Limit(const Specs &aSpecs, const std::string &aSuffix, bool aInteger, std::string (*aValue)(const FeatureDecl &));
    void Limits(XmlNode &aNode, const Specs &aSpecs);
    void Entries(XmlNode &aNode, const Specs &aSpecs);
    std::string Port(const FeatureDecl &aSpec);

    size_t mChannels;
    DescriptionWriter &mWriter;
    std::vector<XmlNode> mNodes;
    std::vector<std::string> mPorts;
};

void Describer::Category(const FeatureDecl &aSpec)
{
    if (aSpec.category.empty()) {
        mWriter.AddName(aSpec.name);
        return;
    }
    std::string parent, path = aSpec.category;
    size_t from = 0;
    while (true) {
        const size_t end = path.find('\\', from);
        const std::string level = path.substr(from, end == std::string::npos ? std::string::npos : end - from);
        if (!mWriter.HasCategory(level))
            mWriter.AddCategory(level, "", parent,
                                end == std::string::npos && !aSpec.categoryDisplayName.empty()
                                    ? aSpec.categoryDisplayName
                                    : generatedDisplayName(level, parent));
        if (end == std::string::npos) break;
        parent = level;
        from = end + 1;
    }
    mWriter.AddMember(parent.empty() ? path : path.substr(path.rfind('\\') + 1), aSpec.name);
}

void Describer::Common(XmlNode &aNode, const FeatureDecl &aSpec, const std::string &aAvailable)
{
    if (!aSpec.toolTip.empty()) aNode.Add(A::ToolTip, aSpec.toolTip);
    if (!aSpec.description.empty()) aNode.Add(A::Description, aSpec.description);
    aNode.Add(A::DisplayName, aSpec.displayName.empty() ? generatedDisplayName(aSpec.name, aSpec.category) : aSpec.displayName);
    if (!aSpec.visibility.empty()) aNode.Add(A::Visibility, aSpec.visibility);
    if (!aAvailable.empty()) aNode.Add(A::pIsAvailable, aAvailable);
    std::string locked = aSpec.lockedBy;
    if (aSpec.tlLocked) {
        if (locked.empty()) {
            locked = "TLParamsLocked";
        } else {
            mNodes.push_back(knife(true, aSpec.name + "Locked", "(TLParamsLocked<>0)|(" + locked + "<>0)", {"TLParamsLocked", locked}));
            locked = aSpec.name + "Locked";
        }
    }
    if (!locked.empty()) aNode.Add(A::pIsLocked, locked);
    if (!aSpec.access.empty() && aSpec.kind != Kind::String && aSpec.kind != Kind::Register)
        aNode.Add(A::ImposedAccessMode, aSpec.access);
    for (const std::string &i : aSpec.invalidators) aNode.Add(A::pInvalidator, i);
    if (aSpec.streamable) aNode.Add(A::Streamable, "Yes");
    if (aSpec.hasPolling) aNode.Add(A::PollingTime, std::to_string(aSpec.polling));
    if (!aSpec.representation.empty()) aNode.Add(A::Representation, aSpec.representation);
    if (!aSpec.unit.empty()) aNode.Add(A::Unit, aSpec.unit);
    if (aSpec.standard) aNode.nameSpace = "Standard";
}

std::string Describer::Port(const FeatureDecl &aSpec)
{
    const bool chunk = aSpec.mapping == FeatureDecl::Mapping::Chunk;
    const std::string name = (chunk ? "ChunkPort" : "EventPort") + xmlHex(aSpec.mapId).substr(2);
    if (std::find(mPorts.begin(), mPorts.end(), name) == mPorts.end()) {
        mPorts.push_back(name);
        mWriter.AddName(name);
        mNodes.push_back(node("Port", name).Add(chunk ? A::ChunkID : A::EventID, xmlHex(aSpec.mapId).substr(2)));
    }
    return name;
}

std::string Describer::RegisterNode(const FeatureDecl &aSpec, const Specs &aSpecs, bool aFloat, const std::string *aAvailable)
{
    const std::string name = aAvailable ? aSpec.name : aSpec.name + "Reg";
    const char *element = "IntReg";
    if (aFloat) element = "FloatReg";
    if (aSpec.kind == Kind::String) element = "StringReg";
    if (aSpec.kind == Kind::Register) element = "Register";
    XmlNode n = node(element, name);
    if (aAvailable) {
        Common(n, aSpec, *aAvailable);
    } else {
        n.Word(A::Visibility, ZuGenVisibilityInvisible);
        for (const std::string &i : aSpec.invalidators) n.Add(A::pInvalidator, i);
    }
    if (!aSpec.cache.empty()) n.Add(A::Cachable, aSpec.cache);
    if (aSpec.mapping != FeatureDecl::Mapping::None && !aSpec.hasRegister) {
        // Event data carries the event's 24-byte header before the data.
        const uint64_t at = aSpec.mapAddress + (aSpec.mapping == FeatureDecl::Mapping::Event && aSpec.adjust ? 24 : 0);
        n.Add(A::Address, xmlHex(at));
        n.Add(A::Length, std::to_string(aSpec.mapLength));
        n.Word(A::AccessMode, ZuGenAccessModeReadOnly);
        n.Add(A::pPort, Port(aSpec));
        n.Word(A::Endianess, aSpec.endianness == ZuGenEndiannessBig ? ZuGenEndiannessBig : ZuGenEndiannessLittle);
    } else {
        // The register of the selected source when the sources' differ.
        bool same = true;
        for (const FeatureDecl *s : aSpecs) same = same && s->address == aSpec.address;
        if (same) {
            n.Add(A::Address, xmlHex(aSpec.address));
        } else {
            std::vector<std::pair<int, std::string>> at;
            for (const FeatureDecl *s : aSpecs) at.emplace_back(s->source, xmlHex(s->address));
            mNodes.push_back(knife(true, aSpec.name + "Address", bySource(at, "0"), {"SourceSelector"}));
            n.Add(A::pAddress, aSpec.name + "Address");
        }
        n.Add(A::Length, std::to_string(aSpec.length));
        int access = aSpec.registerWritable ? (aSpec.registerReadable ? ZuGenAccessModeReadWrite : ZuGenAccessModeWriteOnly)
                                            : ZuGenAccessModeReadOnly;
        // What the feature imposes, where the register can be that.
        if (!aSpec.access.empty()) n.Add(A::AccessMode, aSpec.access);
        else n.Word(A::AccessMode, access);
        n.Add(A::pPort, "Device");
        n.Word(A::Endianess, ZuGenEndiannessBig);
    }
    if (!std::strcmp(element, "IntReg")) n.Word(A::Sign, aSpec.hasLimits && aSpec.min < 0 ? ZuGenSignSigned : ZuGenSignUnsigned);
    if (!aAvailable) mWriter.AddName(name);
    mNodes.push_back(std::move(n.InSchemaOrder()));
    return name;
}

std::string Describer::Limit(const Specs &aSpecs, const std::string &aSuffix, bool aInteger, std::string (*aValue)(const FeatureDecl &))
{
    const std::string first = aValue(*aSpecs.front());
    bool same = true;
    for (const FeatureDecl *s : aSpecs) same = same && aValue(*s) == first;
    if (same) return first;
    std::vector<std::pair<int, std::string>> values;
    for (const FeatureDecl *s : aSpecs) values.emplace_back(s->source, aValue(*s));
    const std::string name = aSpecs.front()->name + aSuffix;
    mWriter.AddName(name);
    mNodes.push_back(knife(aInteger, name, bySource(values, first), {"SourceSelector"}));
    return "@" + name;
}

// A limit of the declaration's own, or the one each source gave (a
// formula's name, after "@").
void Describer::Limits(XmlNode &aNode, const Specs &aSpecs)
{
    const FeatureDecl &f = *aSpecs.front();
    auto limitOrRef = [&](A aConst, A aRef, const std::string &aRefName, const std::string &aText) {
        if (!aRefName.empty()) aNode.Add(aRef, aRefName);
        else if (aText[0] == '@') aNode.Add(aRef, aText.substr(1));
        else aNode.Add(aConst, aText);
    };
    if (f.kind == Kind::Float) {
        limitOrRef(A::Min, A::pMin, f.pMin, Limit(aSpecs, "Min", false, [](const FeatureDecl &s) {
                       return xmlFloat(s.hasLimits ? s.fmin : -1.7976931348623157e308);
                   }));
        limitOrRef(A::Max, A::pMax, f.pMax, Limit(aSpecs, "Max", false, [](const FeatureDecl &s) {
                       return xmlFloat(s.hasLimits ? s.fmax : 1.7976931348623157e308);
                   }));
        return;
    }
    limitOrRef(A::Min, A::pMin, f.pMin, Limit(aSpecs, "Min", true, [](const FeatureDecl &s) {
                   return std::to_string(s.hasLimits ? s.min : 0);
               }));
    limitOrRef(A::Max, A::pMax, f.pMax, Limit(aSpecs, "Max", true, [](const FeatureDecl &s) {
                   return std::to_string(s.hasLimits ? s.max : registerMax(s));
               }));
    limitOrRef(A::Inc, A::pInc, f.pInc, Limit(aSpecs, "Inc", true, [](const FeatureDecl &s) {
                   return std::to_string(s.hasLimits ? s.inc : 1);
               }));
}

// Every source's entries; an entry only some sources offer is available
// while one of them is selected.
void Describer::Entries(XmlNode &aNode, const Specs &aSpecs)
{
    const FeatureDecl &f = *aSpecs.front();
    const bool perSource = mChannels > 1 && f.source >= 0;
    std::vector<std::pair<FeatureDecl::Entry, std::vector<int>>> entries;
    for (const FeatureDecl *s : aSpecs)
        for (const FeatureDecl::Entry &e : s->entries) {
            auto it = std::find_if(entries.begin(), entries.end(), [&](const auto &x) { return x.first.name == e.name; });
            if (it == entries.end()) entries.push_back({e, {s->source}});
            else it->second.push_back(s->source);
        }
    std::vector<XmlNode> nodes;
    for (const auto &e : entries) {
        XmlNode entry = node("EnumEntry", e.first.name, e.first.standard);
        entry.Add(A::DisplayName, e.first.displayName.empty() ? generatedDisplayName(e.first.name, "") : e.first.displayName);
        if (perSource && e.second.size() < mChannels) {
            const std::string name = f.name + "_" + e.first.name + "Available";
            mNodes.push_back(knife(true, name, whichSource(e.second), {"SourceSelector"}));
            mWriter.AddName(name);
            entry.Add(A::pIsAvailable, name);
        }
        entry.Add(A::Value, std::to_string(e.first.value));
        nodes.push_back(std::move(entry.InSchemaOrder()));
    }
    aNode.Children(A::EnumEntry, std::move(nodes));
}

Specs Describer::PerSource(const Specs &aSpecs, std::string &aAvailable)
{
    const FeatureDecl &f = *aSpecs.front();
    Specs specs = aSpecs;
    const bool perSource = mChannels > 1 && f.source >= 0;
    if (perSource)
        specs.erase(std::remove_if(specs.begin(), specs.end(), [](const FeatureDecl *s) { return s->source < 0; }), specs.end());
    else
        specs.resize(1);
    aAvailable = f.pIsAvailable;
    if (perSource && specs.size() < mChannels) {
        std::vector<int> sources;
        for (const FeatureDecl *s : specs) sources.push_back(s->source);
        std::string which = whichSource(sources);
        std::vector<std::string> vars = {"SourceSelector"};
        if (!aAvailable.empty()) {
            which = "(" + aAvailable + "<>0)?(" + which + "):0";
            vars.push_back(aAvailable);
        }
        mNodes.push_back(knife(true, f.name + "Available", which, vars));
        mWriter.AddName(f.name + "Available");
        aAvailable = f.name + "Available";
    }
    if (perSource)
        if (FeatureDecl *sel = mWriter.Find("SourceSelector")) sel->selected.push_back(f.name);
    return specs;
}

bool Describer::Feature(const Specs &aSpecs, std::string &aError)
{
    const FeatureDecl &f = *aSpecs.front();
    for (const FeatureDecl *s : aSpecs)
        if (s->kind != f.kind) {
            aError = "feature " + f.name + " is declared as " + kindText(f.kind) + " and as " + kindText(s->kind);
            return false;
        }
    if (mWriter.Find(f.name)) {
        aError = "feature " + f.name + " is one of the device's own";
        return false;
    }
    std::string available;
    const Specs specs = PerSource(aSpecs, available);
    Category(f);
    // Selectors select the features that name them.
    for (const std::string &s : f.selected)
        if (FeatureDecl *sel = mWriter.Find(s)) sel->selected.push_back(f.name);
    std::string value = f.pValue;
    const bool needsValue = f.kind < Kind::IntSwissKnife;
    const bool ownRegister = needsValue && value.empty() && (f.hasRegister || f.mapping != FeatureDecl::Mapping::None);
    // Strings and registers are register nodes themselves.
    if (ownRegister && (f.kind == Kind::String || f.kind == Kind::Register)) {
        RegisterNode(f, specs, false, &available);
        return true;
    }
    const bool isFloat = f.kind == Kind::Float || f.kind == Kind::FloatSwissKnife || f.kind == Kind::FloatConverter;
    XmlNode n = node(kindText(f.kind), f.name);
    Common(n, f, available);
    for (const std::string &s : selects[f.name]) n.Add(A::pSelected, s);
    if (ownRegister) value = RegisterNode(f, specs, isFloat);
    switch (f.kind) {
    case Kind::Integer:
    case Kind::Float:
        n.Add(A::pValue, value);
        Limits(n, specs);
        break;
    case Kind::Boolean: n.Add(A::pValue, value).Add(A::OnValue, "1").Add(A::OffValue, "0"); break;
    case Kind::Command: n.Add(A::pValue, value).Add(A::CommandValue, "1"); break;
    case Kind::Enumeration:
        Entries(n, specs);
        n.Add(A::pValue, value);
        break;
    case Kind::IntSwissKnife:
    case Kind::FloatSwissKnife:
        for (const std::string &v : f.variables) n.Add(A::pVariable, v, {"Name", v});
        n.Add(A::Formula, f.formula);
        break;
    case Kind::IntConverter:
    case Kind::FloatConverter:
        for (const std::string &v : f.variables) n.Add(A::pVariable, v, {"Name", v});
        n.Add(A::FormulaTo, f.toFormula).Add(A::FormulaFrom, f.fromFormula).Add(A::pValue, f.valueFeature);
        break;
    case Kind::String:
    case Kind::Register: n.Add(A::pValue, value); break;
    }
    mNodes.push_back(std::move(n.InSchemaOrder()));
    return true;
}

} // namespace

bool describeFeatures(const std::vector<FeatureDecl> &aFeatures, const std::vector<FeatureReference> &aReferences,
                      size_t aChannels, DescriptionWriter &aWriter, std::string &aError)
{
    // Declarations by name, in the order of their first declaration.
    std::vector<Specs> groups;
    std::map<std::string, size_t> index;
    for (const FeatureDecl &f : aFeatures) {
        auto it = index.find(f.name);
        if (it == index.end()) {
            index[f.name] = groups.size();
            groups.push_back({&f});
        } else {
            groups[it->second].push_back(&f);
        }
    }
    Describer d(aChannels, aWriter);
    for (const auto &g : groups)
        for (const std::string &s : g.front()->selected)
            if (index.count(s)) d.selects[s].push_back(g.front()->name);
    for (const auto &g : groups)
        if (!d.Feature(g, aError)) return false;
    for (const FeatureReference &r : aReferences) {
        FeatureDecl *f = aWriter.Find(r.feature);
        if (!f) continue;   // a name that matches no feature of the device's own changes nothing
        switch (r.kind) {
        case FeatureReference::Kind::Invalidator: f->invalidators.push_back(r.other); break;
        case FeatureReference::Kind::Selected: f->selected.push_back(r.other); break;
        case FeatureReference::Kind::PIsAvailable: f->pIsAvailable = r.other; break;
        case FeatureReference::Kind::PIsAvailableEntry: f->entryAvailable.emplace_back(r.entry, r.other); break;
        case FeatureReference::Kind::PIsLocked: f->lockedBy = r.other; break;
        case FeatureReference::Kind::PValue: f->pValue = r.other; break;
        case FeatureReference::Kind::PMin: f->pMin = r.other; break;
        case FeatureReference::Kind::PMax: f->pMax = r.other; break;
        case FeatureReference::Kind::PInc: f->pInc = r.other; break;
        }
    }
    aWriter.AddNodes(d.Nodes());
    return true;
}

} // namespace softdevice
} // namespace tarn
