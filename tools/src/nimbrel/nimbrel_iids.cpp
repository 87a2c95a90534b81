// Storage for the identifiers that neither MinGW's uuid library nor another module provides:
// the shell's thumbnail interface and those of the type library.
#include <windows.h>
#include <initguid.h>
#include <thumbcache.h>

#include "nimbrel_h.h"
