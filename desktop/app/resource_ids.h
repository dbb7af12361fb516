#pragma once
// Resource identifiers shared by the .rc file and the code.
#define IDI_PROGRAM 1
#define IDI_BUSY 2
