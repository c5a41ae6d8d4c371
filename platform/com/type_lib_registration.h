// Registration of a module's type library (its TYPELIB resource 1), for the tools that read type
// information: object browsers, early-binding generators, member listings of a shell.
#pragma once
#include <windows.h>

// Registers the library under the classes root, or, where that refuses the write, for the current
// user only. FALSE if the module holds no such library or the registration fails.
BOOL AfxOleRegisterTypeLib(HINSTANCE hInstance, REFGUID tlid, WORD wVerMajor, WORD wVerMinor);

// Removes this build's registration of the library (its win32 or win64 path) from the current
// user's classes and from the classes root. The rest of the library's key, and the interface keys
// that the registration wrote in both registry views, go with the library's last registration: a
// 32-bit and a 64-bit build of one server share them. Nothing left to remove counts as success.
BOOL AfxOleUnregisterTypeLib(HINSTANCE hInstance, REFGUID tlid, WORD wVerMajor, WORD wVerMinor);
