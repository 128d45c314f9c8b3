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

XmlNode &XmlNode::Add(gs::Attr aAttr, const std::string &aText, std::pair<std::string, std::string> aAttribute)
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
    if (!text.empty()) Add(aAttr, text);
    return *this;
}

XmlNode &XmlNode::Children(gs::Attr aAttr, std::vector<XmlNode> aChildren)
{
    props.push_back(Prop{aAttr, {}, {}, std::move(aChildren)});
    return *this;
}

XmlNode &XmlNode::InSchemaOrder()
{
    std::stable_sort(props.begin(), props.end(), [](const Prop &a, const Prop &b) { return rank(a.attr) < rank(b.attr); });
    return *this;
}

void XmlNode::Write(std::ostream &aOut, const std::string &aIndent) const
{
    aOut << aIndent << "<" << element << " Name=\"" << name << "\"";
    if (!nameSpace.empty()) aOut << " NameSpace=\"" << nameSpace << "\"";
    aOut << ">\n";
    for (const Prop &p : props) {
        if (!p.children.empty()) {
            for (const XmlNode &c : p.children) c.Write(aOut, aIndent + "  ");
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

void DescriptionWriter::AddCategory(const std::string &aName, const std::string &aToolTip, const std::string &aParent,
                                    const std::string &aDisplayName)
{
    mCategories.push_back(CategoryDecl{aName, aToolTip, aParent, aDisplayName});
}

bool DescriptionWriter::HasCategory(const std::string &aName) const
{
    for (const CategoryDecl &c : mCategories)
        if (c.name == aName) return true;
    return false;
}

void DescriptionWriter::AddMember(const std::string &aCategory, const std::string &aFeature)
{
    mMembers.emplace_back(aCategory, aFeature);
    AddName(aFeature);
}

void DescriptionWriter::AddName(const std::string &aName)
{
    mNames.push_back(aName);
}

void DescriptionWriter::AddNodes(std::vector<XmlNode> aNodes)
{
    for (XmlNode &n : aNodes) mNodes.push_back(std::move(n));
}

FeatureDecl *DescriptionWriter::Find(const std::string &aName)
{
    for (FeatureDecl &f : mFeatures)
        if (f.name == aName) return &f;
    return nullptr;
}

void DescriptionWriter::Add(FeatureDecl aFeature)
{
    mFeatures.push_back(std::move(aFeature));
}

bool DescriptionWriter::Has(const std::string &aName) const
{
    for (const FeatureDecl &f : mFeatures)
        if (f.name == aName) return true;
    for (const std::string &n : mNames)
        if (n == aName) return true;
    return false;
}

// One of the device's own features: its node, then its register's.
std::vector<XmlNode> DescriptionWriter::NodesOf(const FeatureDecl &f) const
{
    using Kind = FeatureDecl::Kind;
    const bool isString = f.kind == Kind::String;
    const char *element = isString ? "StringReg" : f.kind == Kind::Enumeration ? "Enumeration" : f.kind == Kind::Command ? "Command"
                          : f.kind == Kind::Boolean ? "Boolean" : f.kind == Kind::Float ? "Float" : "Integer";
    const std::string reg = f.name + "Reg";
    const std::string value = f.pValue.empty() ? reg : f.pValue;
    XmlNode n(element, f.name, f.standard ? "Standard" : "Custom");
    if (!f.toolTip.empty()) n.Add(A::ToolTip, f.toolTip);
    n.Add(A::Visibility, f.visibility);
    if (!f.pIsAvailable.empty()) n.Add(A::pIsAvailable, f.pIsAvailable);
    if (!f.lockedBy.empty()) n.Add(A::pIsLocked, f.lockedBy);
    for (const std::string &i : f.invalidators) n.Add(A::pInvalidator, i);
    // The schema wants it before the value, whatever the kind.
    if (f.streamable) n.Add(A::Streamable, "Yes");
    // Only features that exist: a selector may be declared for several
    // that a device leaves out (chunks without any chunk).
    auto selected = [&] {
        for (const std::string &s : f.selected)
            if (Has(s)) n.Add(A::pSelected, s);
    };
    auto limit = [&](A aConst, A aRef, const std::string &aRefName, const std::string &aText) {
        if (!aRefName.empty()) n.Add(aRef, aRefName);
        else n.Add(aConst, aText);
    };
    if (isString) {
        n.Add(A::Address, xmlHex(f.address)).Add(A::Length, std::to_string(f.length)).Add(A::AccessMode, f.access);
        n.Add(A::pPort, "Device");
        return {n};
    }
    if (f.kind == Kind::Enumeration) {
        std::vector<XmlNode> entries;
        for (const auto &e : f.entries) {
            XmlNode entry("EnumEntry", e.name, f.standard ? "Standard" : "Custom");
            for (const auto &a : f.entryAvailable)
                if (a.first == e.name) entry.Add(A::pIsAvailable, a.second);
            entries.push_back(entry.Add(A::Value, std::to_string(e.value)));
        }
        n.Children(A::EnumEntry, std::move(entries));
    }
    n.Add(A::pValue, value);
    switch (f.kind) {
    case Kind::Enumeration: selected(); break;
    case Kind::Command: n.Add(A::CommandValue, std::to_string(f.commandValue)); break;
    case Kind::Boolean: n.Add(A::OnValue, std::to_string(f.commandValue)).Add(A::OffValue, "0"); break;
    case Kind::Float:
        limit(A::Min, A::pMin, f.pMin, xmlFloat(f.fmin));
        limit(A::Max, A::pMax, f.pMax, xmlFloat(f.fmax));
        if (!f.unit.empty()) n.Add(A::Unit, f.unit);
        break;
    default:
        limit(A::Min, A::pMin, f.pMin, std::to_string(f.min));
        limit(A::Max, A::pMax, f.pMax, std::to_string(f.max));
        limit(A::Inc, A::pInc, f.pInc, std::to_string(f.inc > 0 ? f.inc : 1));
        if (!f.representation.empty()) n.Add(A::Representation, f.representation);
        if (!f.unit.empty()) n.Add(A::Unit, f.unit);
        selected();
        break;
    }
    const bool isFloat = f.kind == Kind::Float, masked = f.lsb >= 0;
    XmlNode r(isFloat ? "FloatReg" : masked ? "MaskedIntReg" : "IntReg", reg);
    r.Add(A::Address, xmlHex(f.address));
    if (!isFloat && !f.indexedBy.empty()) r.Add(A::pIndex, f.indexedBy, {"Offset", xmlHex(f.indexStep)});
    r.Add(A::Length, std::to_string(isFloat ? 8 : f.length)).Add(A::AccessMode, f.access).Add(A::pPort, "Device");
    if (!isFloat) {
        // Values that the device changes by itself are read anew each time.
        r.Add(A::Cachable, "NoCache");
        if (masked) r.Add(A::LSB, std::to_string(f.lsb)).Add(A::MSB, std::to_string(f.msb));
        r.Add(A::Sign, f.isSigned ? "Signed" : "Unsigned");
    }
    r.Add(A::Endianess, "BigEndian");
    return {n, r};
}

std::string DescriptionWriter::Write(const DescriptionHeader &aHeader) const
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
        if (c.parent.empty()) root.Add(A::pFeature, c.name);
    root.Write(out);
    for (const CategoryDecl &c : mCategories) {
        XmlNode n("Category", c.name, c.displayName.empty() && c.parent.empty() ? "Standard" : "Custom");
        if (!c.toolTip.empty()) n.Add(A::ToolTip, c.toolTip);
        if (!c.displayName.empty()) n.Add(A::DisplayName, c.displayName);
        for (const FeatureDecl &f : mFeatures)
            if (f.category == c.name) n.Add(A::pFeature, f.name);
        for (const CategoryDecl &sub : mCategories)
            if (sub.parent == c.name) n.Add(A::pFeature, sub.name);
        for (const auto &m : mMembers)
            if (m.first == c.name) n.Add(A::pFeature, m.second);
        n.Write(out);
    }
    for (const FeatureDecl &f : mFeatures)
        for (const XmlNode &n : NodesOf(f)) n.Write(out);
    for (const XmlNode &n : mNodes) n.Write(out);
    out << "  <Port Name=\"Device\" NameSpace=\"Standard\"/>\n";
    out << "</RegisterDescription>\n";
    return out.str();
}

} // namespace softdevice
} // namespace tarn
