#pragma once

namespace dl250t::ctl {

// The form's controls are addressed by these fixed numbers everywhere: in the
// template, the form exchange, the commands and the window.
using ControlId = int;

inline constexpr ControlId AutoConfigure = 1000;
inline constexpr ControlId StatusLine = 1001;
inline constexpr ControlId ModuleName = 1002;
inline constexpr ControlId Version = 1003;
inline constexpr ControlId Type = 1004;
inline constexpr ControlId Band = 1005;
inline constexpr ControlId MaxPower = 1006;
inline constexpr ControlId Serial = 1007;
inline constexpr ControlId Port = 1008;
inline constexpr ControlId ReadButton = 1009;
inline constexpr ControlId WriteButton = 1010;
inline constexpr ControlId OpenButton = 1011;
inline constexpr ControlId SaveButton = 1012;
inline constexpr ControlId AdvancedButton = 1013;
inline constexpr ControlId DeviceCount = 1014;
inline constexpr ControlId DefaultRate = 1015;
inline constexpr ControlId RateUpper = 1016;
inline constexpr ControlId RateLower = 1017;
inline constexpr ControlId MainChannel = 1018;
inline constexpr ControlId StartFrequency = 1019;
inline constexpr ControlId AuxChannelStart = 1020;
inline constexpr ControlId AuxChannelSpacing = 1021;
inline constexpr ControlId AuxChannelCount = 1022;
inline constexpr ControlId NetworkId = 1023;
inline constexpr ControlId RfPower = 1024;
inline constexpr ControlId ActPinFunction = 1025;
inline constexpr ControlId SleepRatio = 1026;
inline constexpr ControlId HostBootTime = 1027;
inline constexpr ControlId ResponseTimeout = 1028;
inline constexpr ControlId UartBaud = 1029;
inline constexpr ControlId SyncInterval = 1030;
inline constexpr ControlId FrameMode = 1031;
inline constexpr ControlId UartStartBit = 1032;
inline constexpr ControlId UartParity = 1033;
inline constexpr ControlId UartStopBits = 1034;
inline constexpr ControlId FrameStartSync = 1035;
inline constexpr ControlId FrameEndSync = 1036;
inline constexpr ControlId BroadcastWildcard = 1037;
inline constexpr ControlId MulticastWildcard = 1038;
inline constexpr ControlId AddressLength = 1039;
inline constexpr ControlId DownlinkAddressOffset = 1040;
inline constexpr ControlId UplinkAddressOffset = 1041;
inline constexpr ControlId LengthOffset = 1042;
inline constexpr ControlId LengthCorrection = 1043;
inline constexpr ControlId AckPacket = 1044;
inline constexpr ControlId HostAddressCommand = 1045;
inline constexpr ControlId BroadcastCommand1 = 1046;
inline constexpr ControlId BroadcastCommand2 = 1047;
inline constexpr ControlId FlowControl = 1048;
inline constexpr ControlId SleepEnabled = 1049;
inline constexpr ControlId RepeatEnabled = 1050;
inline constexpr ControlId ActInverted = 1051;
inline constexpr ControlId FrameCheck = 1052;
inline constexpr ControlId CarrierThreshold = 1053;
inline constexpr ControlId TickUs = 1054;
inline constexpr ControlId AutoSleepTimeout = 1055;
inline constexpr ControlId DownlinkTimeout = 1056;
inline constexpr ControlId UplinkTimeout = 1057;
inline constexpr ControlId SyncDuration = 1058;
inline constexpr ControlId BeaconDuration = 1059;
inline constexpr ControlId WakeSlot = 1060;
inline constexpr ControlId UartWakeBytes = 1061;
inline constexpr ControlId AppendRouteInfo = 1062;
inline constexpr ControlId SleepCompensation = 1063;
inline constexpr ControlId ApplyButton = 1064;

inline constexpr ControlId First = 1000;
inline constexpr ControlId Last = 1064;

// The controls that auto-configure mode disables: everything but the check box
// itself and the status line.
inline constexpr ControlId FirstFrozen = 1002;
inline constexpr ControlId LastFrozen = 1064;

}  // namespace dl250t::ctl
