#include "softdevice/model/description.h"

#include <cstdio>
#include <sstream>

namespace tarn {
namespace softdevice {

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

namespace {


const char *kindName(FeatureDecl::Kind aKind)
{
    switch (aKind) {
    case FeatureDecl::Kind::Integer: return "Integer";
    case FeatureDecl::Kind::Enumeration: return "Enumeration";
    case FeatureDecl::Kind::Command: return "Command";
    case FeatureDecl::Kind::Boolean: return "Boolean";
    case FeatureDecl::Kind::String: return "StringReg";
    case FeatureDecl::Kind::Float: return "Float";
    }
    return "Integer";
}

void writeRegister(std::ostream &aOut, const FeatureDecl &aF, const std::string &aRegName)
{
    if (aF.kind == FeatureDecl::Kind::Float) {
        aOut << "  <FloatReg Name=\"" << aRegName << "\">\n";
        aOut << "    <Address>" << xmlHex(aF.address) << "</Address>\n";
        aOut << "    <Length>8</Length>\n";
        aOut << "    <AccessMode>" << aF.access << "</AccessMode>\n";
        aOut << "    <pPort>Device</pPort>\n";
        aOut << "    <Endianess>BigEndian</Endianess>\n";
        aOut << "  </FloatReg>\n";
        return;
    }
    const bool masked = aF.lsb >= 0;
    aOut << "  <" << (masked ? "MaskedIntReg" : "IntReg") << " Name=\"" << aRegName << "\">\n";
    aOut << "    <Address>" << xmlHex(aF.address) << "</Address>\n";
    if (!aF.indexedBy.empty())
        aOut << "    <pIndex Offset=\"" << xmlHex(aF.indexStep) << "\">" << aF.indexedBy << "</pIndex>\n";
    aOut << "    <Length>" << aF.length << "</Length>\n";
    aOut << "    <AccessMode>" << aF.access << "</AccessMode>\n";
    aOut << "    <pPort>Device</pPort>\n";
    // Values that the device changes by itself are read anew each time.
    aOut << "    <Cachable>NoCache</Cachable>\n";
    if (masked) {
        aOut << "    <LSB>" << aF.lsb << "</LSB>\n";
        aOut << "    <MSB>" << aF.msb << "</MSB>\n";
    }
    aOut << "    <Sign>" << (aF.isSigned ? "Signed" : "Unsigned") << "</Sign>\n";
    aOut << "    <Endianess>BigEndian</Endianess>\n";
    aOut << "  </" << (masked ? "MaskedIntReg" : "IntReg") << ">\n";
}

} // namespace

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

void DescriptionWriter::writeSelected(std::ostream &aOut, const FeatureDecl &aFeature) const
{
    // Only features that exist: a selector may be declared for several
    // that a device leaves out (chunks without any chunk).
    for (const std::string &s : aFeature.selected)
        if (has(s)) aOut << "    <pSelected>" << s << "</pSelected>\n";
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

    out << "  <Category Name=\"Root\" NameSpace=\"Standard\">\n";
    for (const CategoryDecl &c : mCategories)
        if (c.parent.empty()) out << "    <pFeature>" << c.name << "</pFeature>\n";
    out << "  </Category>\n";
    for (const CategoryDecl &c : mCategories) {
        out << "  <Category Name=\"" << c.name << "\" NameSpace=\"" << (c.displayName.empty() && c.parent.empty() ? "Standard" : "Custom") << "\">\n";
        if (!c.toolTip.empty()) out << "    <ToolTip>" << xmlEscape(c.toolTip) << "</ToolTip>\n";
        if (!c.displayName.empty()) out << "    <DisplayName>" << xmlEscape(c.displayName) << "</DisplayName>\n";
        for (const FeatureDecl &f : mFeatures)
            if (f.category == c.name) out << "    <pFeature>" << f.name << "</pFeature>\n";
        for (const CategoryDecl &sub : mCategories)
            if (sub.parent == c.name) out << "    <pFeature>" << sub.name << "</pFeature>\n";
        for (const auto &m : mMembers)
            if (m.first == c.name) out << "    <pFeature>" << m.second << "</pFeature>\n";
        out << "  </Category>\n";
    }

    for (const FeatureDecl &f : mFeatures) {
        const std::string reg = f.name + "Reg";
        const std::string value = f.pValue.empty() ? reg : f.pValue;
        out << "  <" << kindName(f.kind) << " Name=\"" << f.name << "\" NameSpace=\""
            << (f.standard ? "Standard" : "Custom") << "\">\n";
        if (!f.toolTip.empty()) out << "    <ToolTip>" << xmlEscape(f.toolTip) << "</ToolTip>\n";
        out << "    <Visibility>" << f.visibility << "</Visibility>\n";
        if (!f.pIsAvailable.empty()) out << "    <pIsAvailable>" << f.pIsAvailable << "</pIsAvailable>\n";
        if (!f.lockedBy.empty()) out << "    <pIsLocked>" << f.lockedBy << "</pIsLocked>\n";
        for (const std::string &i : f.invalidators) out << "    <pInvalidator>" << i << "</pInvalidator>\n";
        // The schema wants it before the value, whatever the kind.
        if (f.streamable) out << "    <Streamable>Yes</Streamable>\n";
        switch (f.kind) {
        case FeatureDecl::Kind::String:
            out << "    <Address>" << xmlHex(f.address) << "</Address>\n";
            out << "    <Length>" << f.length << "</Length>\n";
            out << "    <AccessMode>" << f.access << "</AccessMode>\n";
            out << "    <pPort>Device</pPort>\n";
            out << "  </StringReg>\n";
            continue;
        case FeatureDecl::Kind::Enumeration:
            for (const auto &e : f.entries) {
                out << "    <EnumEntry Name=\"" << e.first << "\" NameSpace=\"" << (f.standard ? "Standard" : "Custom") << "\">\n";
                for (const auto &a : f.entryAvailable)
                    if (a.first == e.first) out << "      <pIsAvailable>" << a.second << "</pIsAvailable>\n";
                out << "      <Value>" << e.second << "</Value>\n    </EnumEntry>\n";
            }
            out << "    <pValue>" << value << "</pValue>\n";
            writeSelected(out, f);
            break;
        case FeatureDecl::Kind::Command:
            out << "    <pValue>" << value << "</pValue>\n";
            out << "    <CommandValue>" << f.commandValue << "</CommandValue>\n";
            break;
        case FeatureDecl::Kind::Boolean:
            out << "    <pValue>" << value << "</pValue>\n";
            out << "    <OnValue>" << f.commandValue << "</OnValue>\n";
            out << "    <OffValue>0</OffValue>\n";
            break;
        case FeatureDecl::Kind::Float:
            out << "    <pValue>" << value << "</pValue>\n";
            if (!f.pMin.empty()) out << "    <pMin>" << f.pMin << "</pMin>\n";
            else out << "    <Min>" << xmlFloat(f.fmin) << "</Min>\n";
            if (!f.pMax.empty()) out << "    <pMax>" << f.pMax << "</pMax>\n";
            else out << "    <Max>" << xmlFloat(f.fmax) << "</Max>\n";
            if (!f.unit.empty()) out << "    <Unit>" << f.unit << "</Unit>\n";
            break;
        case FeatureDecl::Kind::Integer:
            out << "    <pValue>" << value << "</pValue>\n";
            if (!f.pMin.empty()) out << "    <pMin>" << f.pMin << "</pMin>\n";
            else out << "    <Min>" << f.min << "</Min>\n";
            if (!f.pMax.empty()) out << "    <pMax>" << f.pMax << "</pMax>\n";
            else out << "    <Max>" << f.max << "</Max>\n";
            if (!f.pInc.empty()) out << "    <pInc>" << f.pInc << "</pInc>\n";
            else out << "    <Inc>" << (f.inc > 0 ? f.inc : 1) << "</Inc>\n";
            if (!f.representation.empty()) out << "    <Representation>" << f.representation << "</Representation>\n";
            if (!f.unit.empty()) out << "    <Unit>" << f.unit << "</Unit>\n";
            writeSelected(out, f);
            break;
        }
        out << "  </" << kindName(f.kind) << ">\n";
        writeRegister(out, f, reg);
    }

    out << mNodes;
    out << "  <Port Name=\"Device\" NameSpace=\"Standard\"/>\n";
    out << "</RegisterDescription>\n";
    return out.str();
}

} // namespace softdevice
} // namespace tarn
