// Resource and control IDs, shared by the resource script and the code.
#ifndef VELMORA_RES_RESOURCE_H
#define VELMORA_RES_RESOURCE_H

#define IDI_OUTPUT_ICON 113
#define IDI_CHANNEL_ICON 114

#define IDC_OUTPUT_COMBO 1000
#define IDC_CHANNEL_COMBO 1001
#define IDC_OPEN_BUTTON 1002
#define IDC_RANDOMIZE_BUTTON 1003
#define IDC_ABOUT_BUTTON 1005

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif
