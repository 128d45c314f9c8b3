#include "softdevice/model/description.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace tarn {
namespace softdevice {

namespace gs = ZU_GENAPI_NS;
using A = gs::Attr;

std::string xmlEscape(const std::string &aText)
{
    std::string out;
    out.reserve(aText.size());
    for (char c : aText) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string xmlHex(uint64_t aValue)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(aValue));
    return text;
}

std::string xmlFloat(double aValue)
{
    std::ostringstream out;
    out.precision(17);
    out << aValue;
    return out.str();
}

// ---- Nodes

namespace {

const gs::AttrSchema *schemaOf(gs::Attr aAttr)
{
    size_t count = 0;
    const gs::AttrSchema *table = gs::AttributeTable(count);
    for (size_t i = 0; i < count; ++i)
        if (table[i].mAttr == aAttr) return &table[i];
    return nullptr;
}

size_t rank(gs::Attr aAttr)
{
    size_t count = 0;
    const gs::AttrSchema *table = gs::AttributeTable(count);
    for (size_t i = 0; i < count; ++i)
        if (table[i].mAttr == aAttr) return i;
    return count;
}

} // namespace

XmlNode &XmlNode::add(gs::Attr aAttr, const std::string &aText, std::pair<std::string, std::string> aAttribute)
{
    props.push_back(Prop{aAttr, aText, std::move(aAttribute), {}});
    return *this;
}

std::string schemaWord(gs::Attr aAttr, int aValue)
{
    const gs::AttrSchema *a = schemaOf(aAttr);
    const char *text = a ? a->WordText(aValue) : nullptr;
    return text ? text : "";
}

XmlNode &XmlNode::Word(gs::Attr aAttr, int aValue)
{
    const std::string text = schemaWord(aAttr, aValue);
    if (!text.empty()) add(aAttr, text);
    return *this;
}

XmlNode &XmlNode::children(gs::Attr aAttr, std::vector<XmlNode> aChildren)
{
    props.push_back(Prop{aAttr, {}, {}, std::move(aChildren)});
    return *this;
}

XmlNode &XmlNode::inSchemaOrder()
{
    std::stable_sort(props.begin(), props.end(), [](const Prop &a, const Prop &b) { return rank(a.attr) < rank(b.attr); });
    return *this;
}

void XmlNode::write(std::ostream &aOut, const std::string &aIndent) const
{
    aOut << aIndent << "<" << element << " Name=\"" << name << "\"";
    if (!nameSpace.empty()) aOut << " NameSpace=\"" << nameSpace << "\"";
    aOut << ">\n";
    for (const Prop &p : props) {
        if (!p.children.empty()) {
            for (const XmlNode &c : p.children) c.write(aOut, aIndent + "  ");
            continue;
        }
        const gs::AttrSchema *a = schemaOf(p.attr);
        if (!a) continue;
        aOut << aIndent << "  <" << a->mElement;
        if (!p.attribute.first.empty()) aOut << " " << p.attribute.first << "=\"" << p.attribute.second << "\"";
        aOut << ">" << xmlEscape(p.text) << "</" << a->mElement << ">\n";
    }
    aOut << aIndent << "</" << element << ">\n";
}

// ---- The writer

void DescriptionWriter::addCategory(const std::string &aName, const std::string &aToolTip, const std::string &aParent,
                                    const std::string &aDisplayName)
{
    mCategories.push_back(CategoryDecl{aName, aToolTip, aParent, aDisplayName});
}

bool DescriptionWriter::hasCategory(const std::string &aName) const
{
    for (const CategoryDecl &c : mCategories)
        if (c.name == aName) return true;
    return false;
}

void DescriptionWriter::addMember(const std::string &aCategory, const std::string &aFeature)
{
    mMembers.emplace_back(aCategory, aFeature);
    addName(aFeature);
}

void DescriptionWriter::addName(const std::string &aName)
{
    mNames.push_back(aName);
}

void DescriptionWriter::addNodes(std::vector<XmlNode> aNodes)
{
    for (XmlNode &n : aNodes) mNodes.push_back(std::move(n));
}

FeatureDecl *DescriptionWriter::find(const std::string &aName)
{
    for (FeatureDecl &f : mFeatures)
        if (f.name == aName) return &f;
    return nullptr;
}

void DescriptionWriter::add(FeatureDecl aFeature)
{
    mFeatures.push_back(std::move(aFeature));
}

bool DescriptionWriter::has(const std::string &aName) const
{
    for (const FeatureDecl &f : mFeatures)
        if (f.name == aName) return true;
    for (const std::string &n : mNames)
        if (n == aName) return true;
    return false;
}

// One of the device's own features: its node, then its register's.
std::vector<XmlNode> DescriptionWriter::nodesOf(const FeatureDecl &f) const
{
    using Kind = FeatureDecl::Kind;
    const bool isString = f.kind == Kind::String;
    const char *element = isString ? "StringReg" : f.kind == Kind::Enumeration ? "Enumeration" : f.kind == Kind::Command ? "Command"
                          : f.kind == Kind::Boolean ? "Boolean" : f.kind == Kind::Float ? "Float" : "Integer";
    const std::string reg = f.name + "Reg";
    const std::string value = f.pValue.empty() ? reg : f.pValue;
    XmlNode n(element, f.name, f.standard ? "Standard" : "Custom");
    if (!f.toolTip.empty()) n.add(A::ToolTip, f.toolTip);
    n.add(A::Visibility, f.visibility);
    if (!f.pIsAvailable.empty()) n.add(A::pIsAvailable, f.pIsAvailable);
    if (!f.lockedBy.empty()) n.add(A::pIsLocked, f.lockedBy);
    for (const std::string &i : f.invalidators) n.add(A::pInvalidator, i);
    // The schema wants it before the value, whatever the kind.
    if (f.streamable) n.add(A::Streamable, "Yes");
    // Only features that exist: a selector may be declared for several
    // that a device leaves out (chunks without any chunk).
    auto selected = [&] {
        for (const std::string &s : f.selected)
            if (has(s)) n.add(A::pSelected, s);
    };
    auto limit = [&](A aConst, A aRef, const std::string &aRefName, const std::string &aText) {
        if (!aRefName.empty()) n.add(aRef, aRefName);
        else n.add(aConst, aText);
    };
    if (isString) {
        n.add(A::Address, xmlHex(f.address)).add(A::Length, std::to_string(f.length)).add(A::AccessMode, f.access);
        n.add(A::pPort, "Device");
        return {n};
    }
    if (f.kind == Kind::Enumeration) {
        std::vector<XmlNode> entries;
        for (const auto &e : f.entries) {
            XmlNode entry("EnumEntry", e.name, f.standard ? "Standard" : "Custom");
            for (const auto &a : f.entryAvailable)
                if (a.first == e.name) entry.add(A::pIsAvailable, a.second);
            entries.push_back(entry.add(A::Value, std::to_string(e.value)));
        }
        n.children(A::EnumEntry, std::move(entries));
    }
    n.add(A::pValue, value);
    switch (f.kind) {
    case Kind::Enumeration: selected(); break;
    case Kind::Command: n.add(A::CommandValue, std::to_string(f.commandValue)); break;
    case Kind::Boolean: n.add(A::OnValue, std::to_string(f.commandValue)).add(A::OffValue, "0"); break;
    case Kind::Float:
        limit(A::Min, A::pMin, f.pMin, xmlFloat(f.fmin));
        limit(A::Max, A::pMax, f.pMax, xmlFloat(f.fmax));
        if (!f.unit.empty()) n.add(A::Unit, f.unit);
        break;
    default:
        limit(A::Min, A::pMin, f.pMin, std::to_string(f.min));
        limit(A::Max, A::pMax, f.pMax, std::to_string(f.max));
        limit(A::Inc, A::pInc, f.pInc, std::to_string(f.inc > 0 ? f.inc : 1));
        if (!f.representation.empty()) n.add(A::Representation, f.representation);
        if (!f.unit.empty()) n.add(A::Unit, f.unit);
        selected();
        break;
    }
    const bool isFloat = f.kind == Kind::Float, masked = f.lsb >= 0;
    XmlNode r(isFloat ? "FloatReg" : masked ? "MaskedIntReg" : "IntReg", reg);
    r.add(A::Address, xmlHex(f.address));
    if (!isFloat && !f.indexedBy.empty()) r.add(A::pIndex, f.indexedBy, {"Offset", xmlHex(f.indexStep)});
    r.add(A::Length, std::to_string(isFloat ? 8 : f.length)).add(A::AccessMode, f.access).add(A::pPort, "Device");
    if (!isFloat) {
        // Values that the device changes by itself are read anew each time.
        r.add(A::Cachable, "NoCache");
        if (masked) r.add(A::LSB, std::to_string(f.lsb)).add(A::MSB, std::to_string(f.msb));
        r.add(A::Sign, f.isSigned ? "Signed" : "Unsigned");
    }
    r.add(A::Endianess, "BigEndian");
    return {n, r};
}

std::string DescriptionWriter::write(const DescriptionHeader &aHeader) const
{
    std::ostringstream out;
    out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
    out << "<RegisterDescription ModelName=\"" << xmlEscape(aHeader.modelName) << "\" VendorName=\""
        << xmlEscape(aHeader.vendorName) << "\" ToolTip=\"" << xmlEscape(aHeader.toolTip)
        << "\" StandardNameSpace=\"GEV\" SchemaMajorVersion=\"1\" SchemaMinorVersion=\"1\" SchemaSubMinorVersion=\"0\""
        << " MajorVersion=\"" << aHeader.major << "\" MinorVersion=\"" << aHeader.minor << "\" SubMinorVersion=\""
        << aHeader.subMinor << "\" ProductGuid=\"" << xmlEscape(aHeader.productGuid) << "\" VersionGuid=\""
        << xmlEscape(aHeader.versionGuid) << "\" xmlns=\"http://www.genicam.org/GenApi/Version_1_1\">\n";

    XmlNode root("Category", "Root", "Standard");
    for (const CategoryDecl &c : mCategories)
        if (c.parent.empty()) root.add(A::pFeature, c.name);
    root.write(out);
    for (const CategoryDecl &c : mCategories) {
        XmlNode n("Category", c.name, c.displayName.empty() && c.parent.empty() ? "Standard" : "Custom");
        if (!c.toolTip.empty()) n.add(A::ToolTip, c.toolTip);
        if (!c.displayName.empty()) n.add(A::DisplayName, c.displayName);
        for (const FeatureDecl &f : mFeatures)
            if (f.category == c.name) n.add(A::pFeature, f.name);
        for (const CategoryDecl &sub : mCategories)
            if (sub.parent == c.name) n.add(A::pFeature, sub.name);
        for (const auto &m : mMembers)
            if (m.first == c.name) n.add(A::pFeature, m.second);
        n.write(out);
    }
    for (const FeatureDecl &f : mFeatures)
        for (const XmlNode &n : nodesOf(f)) n.write(out);
    for (const XmlNode &n : mNodes) n.write(out);
    out << "  <Port Name=\"Device\" NameSpace=\"Standard\"/>\n";
    out << "</RegisterDescription>\n";
    return out.str();
}

} // namespace softdevice
} // namespace tarn
