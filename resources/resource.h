#pragma once

// Shared by the resource script, the C++ code and the icon generator: plain #defines only.

#define IDI_APP 1

// The images of the IDI_APP group, in its order: 48, 32, 24 and 16 pixels at 8 bits per
// pixel, then the same sizes at 32 bits.
#define IDI_APP_IMAGE_FIRST 30001
#define IDI_APP_IMAGE_COUNT 8

#define IDC_LABEL2 100
#define IDC_LABEL1 101
#define IDC_CHECK1 102
#define IDC_LABEL3 103
