// The fixed identities of the control module. They never change: hosts store them.
#pragma once
#include <windows.h>

// {CC465935-7000-4BB9-B3EC-7F5BAEE6C44E} type library TAVOLib
inline constexpr GUID LIBID_TAVOLib = {0xCC465935, 0x7000, 0x4BB9, {0xB3, 0xEC, 0x7F, 0x5B, 0xAE, 0xE6, 0xC4, 0x4E}};
// {FED81B97-152F-49C7-A3B3-07A56431FE70} dispinterface _DTavo
inline constexpr GUID DIID__DTavo = {0xFED81B97, 0x152F, 0x49C7, {0xA3, 0xB3, 0x07, 0xA5, 0x64, 0x31, 0xFE, 0x70}};
// {4CC05C9C-80DC-4F32-BE38-2AC34314DE01} dispinterface _DTavoEvents
inline constexpr GUID DIID__DTavoEvents = {0x4CC05C9C, 0x80DC, 0x4F32, {0xBE, 0x38, 0x2A, 0xC3, 0x43, 0x14, 0xDE, 0x01}};
// {C07C50B1-CFB2-4B07-A496-17F752506D04} coclass Tavo, CTavoCtrl
inline constexpr GUID CLSID_Tavo = {0xC07C50B1, 0xCFB2, 0x4B07, {0xA4, 0x96, 0x17, 0xF7, 0x52, 0x50, 0x6D, 0x04}};
// {B7DDC9E3-892B-4AC7-B45C-1823BA6FBE92} CTavoPropPage
inline constexpr GUID CLSID_TavoPropPage = {0xB7DDC9E3, 0x892B, 0x4AC7, {0xB4, 0x5C, 0x18, 0x23, 0xBA, 0x6F, 0xBE, 0x92}};

inline constexpr WORD kTavoVersionMajor = 1;
inline constexpr WORD kTavoVersionMinor = 0;

// Resources
#define IDS_TAVO 1
#define IDS_TAVO_PPG 2
#define IDS_TAVO_PPG_CAPTION 200
#define IDB_TAVO 1
#define IDI_ABOUTDLL 1
#define IDD_ABOUTBOX_TAVO 1
#define IDD_PROPPAGE_TAVO 200
