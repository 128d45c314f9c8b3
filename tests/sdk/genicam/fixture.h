#ifndef TARN_TEST_GENICAM_FIXTURE_H
#define TARN_TEST_GENICAM_FIXTURE_H

// A description written for these tests: one node of every kind, over a
// 4 KiB in-memory register block.
static const char kCameraXml[] = R"XML(<?xml version="1.0" encoding="utf-8"?>
<RegisterDescription ModelName="TestCam" VendorName="Tarn" SchemaMajorVersion="1" SchemaMinorVersion="1"
    xmlns="http://www.genicam.org/GenApi/Version_1_1">
  <Category Name="Root" NameSpace="Standard">
    <pFeature>ImageFormat</pFeature>
    <pFeature>Control</pFeature>
  </Category>
  <Category Name="ImageFormat" NameSpace="Standard">
    <ToolTip>Image size</ToolTip>
    <pFeature>Width</pFeature>
    <pFeature>Height</pFeature>
    <pFeature>Payload</pFeature>
    <pFeature>Mode</pFeature>
  </Category>
  <Category Name="Control">
    <Visibility>Expert</Visibility>
    <pFeature>Gain</pFeature>
    <pFeature>Start</pFeature>
    <pFeature>Width</pFeature>
  </Category>
  <Group Comment="Image size">
    <Integer Name="Width" NameSpace="Standard">
      <ToolTip>Width of the image</ToolTip>
      <Description>Width of the image in pixels.</Description>
      <DisplayName>Image Width</DisplayName>
      <Streamable>Yes</Streamable>
      <pIsLocked>Locked</pIsLocked>
      <pValue>WidthReg</pValue>
      <Min>16</Min>
      <Max>4096</Max>
      <Inc>8</Inc>
      <Unit>px</Unit>
    </Integer>
    <IntReg Name="WidthReg">
      <Address>0x10</Address>
      <Length>4</Length>
      <AccessMode>RW</AccessMode>
      <pPort>Device</pPort>
      <Sign>Unsigned</Sign>
      <Endianess>BigEndian</Endianess>
    </IntReg>
  </Group>
  <Integer Name="Height"><Value>100</Value><Min>1</Min><Max>1000</Max></Integer>
  <Integer Name="Locked"><Value>0</Value></Integer>
  <IntReg Name="Shadow">
    <pInvalidator>WidthReg</pInvalidator>
    <Address>0x10</Address><Length>4</Length><AccessMode>RO</AccessMode><pPort>Device</pPort>
    <Endianess>BigEndian</Endianess>
  </IntReg>
  <IntReg Name="SignedLE">
    <Address>0x20</Address><Length>2</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
    <Sign>Signed</Sign><Endianess>LittleEndian</Endianess>
  </IntReg>
  <IntReg Name="SignedAlias">
    <Address>0x20</Address><Length>2</Length><AccessMode>RO</AccessMode><pPort>Device</pPort>
  </IntReg>
  <MaskedIntReg Name="LowNibble">
    <Address>0x30</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
    <LSB>31</LSB><MSB>28</MSB><Endianess>BigEndian</Endianess>
  </MaskedIntReg>
  <MaskedIntReg Name="HighNibble">
    <Address>0x30</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
    <LSB>3</LSB><MSB>0</MSB><Sign>Signed</Sign><Endianess>BigEndian</Endianess>
  </MaskedIntReg>
  <MaskedIntReg Name="LEBit">
    <Address>0x34</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
    <Bit>9</Bit><Endianess>LittleEndian</Endianess>
  </MaskedIntReg>
  <StructReg Comment="Pair">
    <Address>0x38</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
    <Endianess>BigEndian</Endianess>
    <StructEntry Name="PairLow"><LSB>31</LSB><MSB>16</MSB></StructEntry>
    <StructEntry Name="PairHigh"><LSB>15</LSB><MSB>0</MSB><Sign>Signed</Sign></StructEntry>
  </StructReg>
  <Float Name="Gain">
    <Visibility>Expert</Visibility>
    <pValue>GainReg</pValue>
    <Min>0</Min><Max>48</Max><Unit>dB</Unit>
    <Representation>Logarithmic</Representation>
  </Float>
  <FloatReg Name="GainReg">
    <Address>0x40</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
    <Endianess>LittleEndian</Endianess>
  </FloatReg>
  <FloatReg Name="DoubleReg">
    <Address>0x48</Address><Length>8</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
    <Endianess>BigEndian</Endianess>
  </FloatReg>
  <Boolean Name="Enable"><pValue>EnableReg</pValue><OnValue>5</OnValue><OffValue>2</OffValue></Boolean>
  <IntReg Name="EnableReg"><Address>0x50</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></IntReg>
  <Command Name="Start"><pValue>StartReg</pValue><CommandValue>1</CommandValue></Command>
  <IntReg Name="StartReg"><Address>0x54</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></IntReg>
  <Command Name="Fire"><pValue>FireReg</pValue><CommandValue>3</CommandValue></Command>
  <IntReg Name="FireReg"><Address>0x5C</Address><Length>4</Length><AccessMode>WO</AccessMode><pPort>Device</pPort></IntReg>
  <Enumeration Name="Mode">
    <EnumEntry Name="Off"><Value>0</Value></EnumEntry>
    <EnumEntry Name="On"><ToolTip>Always on</ToolTip><Value>1</Value></EnumEntry>
    <EnumEntry Name="Auto"><pIsAvailable>AutoAvailable</pIsAvailable><Value>2</Value></EnumEntry>
    <EnumEntry Name="EnumEntry_Mode_Special"><Visibility>Guru</Visibility><Value>7</Value><Symbolic>Special</Symbolic></EnumEntry>
    <pValue>ModeReg</pValue>
  </Enumeration>
  <Integer Name="AutoAvailable"><Value>0</Value></Integer>
  <IntReg Name="ModeReg"><Address>0x58</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></IntReg>
  <String Name="Label"><Value>hello</Value></String>
  <String Name="DeviceNameText"><pValue>DeviceName</pValue></String>
  <StringReg Name="DeviceName"><Address>0x60</Address><Length>16</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></StringReg>
  <Register Name="Blob"><Address>0x80</Address><Length>8</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></Register>
  <IntSwissKnife Name="Payload">
    <pVariable Name="W">Width</pVariable>
    <pVariable Name="H">Height</pVariable>
    <Formula>W * H * 2</Formula>
  </IntSwissKnife>
  <SwissKnife Name="Ratio">
    <pVariable Name="G">Gain</pVariable>
    <Constant Name="C">2.0</Constant>
    <Expression Name="X">G * C</Expression>
    <Formula>X + 0.5</Formula>
  </SwissKnife>
  <IntSwissKnife Name="Halves">
    <pVariable Name="H">Height</pVariable>
    <Formula>H / 3</Formula>
  </IntSwissKnife>
  <Converter Name="Exposure">
    <FormulaTo>FROM * 10</FormulaTo>
    <FormulaFrom>TO / 10</FormulaFrom>
    <pValue>ExposureReg</pValue>
  </Converter>
  <IntReg Name="ExposureReg"><Address>0x70</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></IntReg>
  <IntConverter Name="Offset">
    <FormulaTo>FROM + 100</FormulaTo>
    <FormulaFrom>TO - 100</FormulaFrom>
    <pValue>OffsetReg</pValue>
  </IntConverter>
  <IntReg Name="OffsetReg"><Address>0x74</Address><Length>2</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></IntReg>
  <Integer Name="Sel">
    <pSelected>SelValue</pSelected>
    <pSelected>Indexed</pSelected>
    <Value>0</Value><Min>0</Min><Max>3</Max>
  </Integer>
  <IntReg Name="SelValue">
    <Address>0x100</Address><pIndex Offset="4">Sel</pIndex><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
  </IntReg>
  <Integer Name="Indexed">
    <pIndex>Sel</pIndex>
    <ValueIndexed Index="0">10</ValueIndexed>
    <ValueIndexed Index="1">11</ValueIndexed>
    <ValueDefault>99</ValueDefault>
  </Integer>
  <IntReg Name="Temperature">
    <Address>0x90</Address><Length>4</Length><AccessMode>RO</AccessMode><pPort>Device</pPort><PollingTime>100</PollingTime>
  </IntReg>
  <IntReg Name="Live">
    <Address>0x94</Address><Length>4</Length><AccessMode>RO</AccessMode><pPort>Device</pPort><Cachable>NoCache</Cachable>
  </IntReg>
  <Integer Name="Ghost"><pIsImplemented>Zero</pIsImplemented><Value>1</Value></Integer>
  <Integer Name="Hidden"><pIsAvailable>Zero</pIsAvailable><Value>1</Value></Integer>
  <Integer Name="Zero"><Value>0</Value></Integer>
  <IntReg Name="WriteOnly"><Address>0x9C</Address><Length>4</Length><AccessMode>WO</AccessMode><pPort>Device</pPort></IntReg>
  <IntReg Name="ChunkCounter">
    <Address>0</Address><Length>4</Length><AccessMode>RO</AccessMode><pPort>ChunkPort</pPort><Endianess>BigEndian</Endianess>
  </IntReg>
  <Port Name="ChunkPort"><ChunkID>ABCD</ChunkID></Port>
  <Integer Name="EventExposureEndTimestamp"><pValue>EventTimestampReg</pValue></Integer>
  <IntReg Name="EventTimestampReg">
    <Address>8</Address><Length>8</Length><AccessMode>RO</AccessMode><pPort>EventPort</pPort><Endianess>BigEndian</Endianess>
  </IntReg>
  <Port Name="EventPort"><EventID>9001</EventID></Port>
  <Port Name="Device"/>
</RegisterDescription>
)XML";

#endif
