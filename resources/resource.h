#pragma once

// Shared by the resource script and the C++ code: keep to plain #defines.
#define IDI_APP 1

#define IDC_CHECK1 101
