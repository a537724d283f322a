#pragma once

#define BRASSELT_VERSION 1, 0, 0, 0
#define BRASSELT_VERSION_TEXT "1.00"
