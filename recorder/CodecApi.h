#pragma once
// Identifiers of the encoder interface and the properties the engine sets.
// Declared here rather than taken from <codecapi.h>/strmiids because the
// toolchains disagree on where (and whether) they are defined.
#include <windows.h>
#include <strmif.h>  // ICodecAPI

inline constexpr GUID kIidCodecApi = {0x901db4c7, 0x31ce, 0x41a2, {0x85, 0xdc, 0x8f, 0xa0, 0xbf, 0x41, 0xb8, 0xda}};
inline constexpr GUID kCodecApiGopSize = {0x95f31b26, 0x95a4, 0x41aa, {0x93, 0x03, 0x24, 0x6a, 0x7f, 0xc6, 0xee, 0xf1}};
inline constexpr GUID kCodecApiRateControlMode = {0x1c0608e9, 0x370c, 0x4710, {0x8a, 0x58, 0xcb, 0x61, 0x81, 0xc4, 0x24, 0x23}};
inline constexpr GUID kCodecApiLowLatencyMode = {0x9c27891a, 0xed7a, 0x40e1, {0x88, 0xe8, 0xb2, 0x27, 0x27, 0xa0, 0x24, 0xee}};

constexpr ULONG kGopSizeFrames = 60;        // a key frame every two seconds
constexpr ULONG kRateControlConstant = 0;   // eAVEncCommonRateControlMode_CBR
