// Resource identities of the control module, for the resource script and the C++.
#pragma once

#define IDS_TAVO 1
#define IDS_TAVO_PPG 2
#define IDS_TAVO_PPG_CAPTION 200
#define IDB_TAVO 1
#define IDI_ABOUTDLL 1
#define IDD_ABOUTBOX_TAVO 1
#define IDD_PROPPAGE_TAVO 200
