// The programs that include this run on the virtual board and the virtual PCI bus
// also when started by hand, not only under ctest: the hardware libraries choose
// their backend at their first call, after this has run.
#pragma once
#include <stdlib.h>

inline const bool kOnVirtualBoard = setenv("QEL_BOARD", "virtual", 1) == 0;
