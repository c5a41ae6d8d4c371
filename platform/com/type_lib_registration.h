// Registration of a module's type library (its TYPELIB resource 1), for the tools that read type
// information: object browsers, early-binding generators, member listings of a shell.
#pragma once
#include "classes_root.h"

#include <windows.h>

// Registers the library in the scope's classes key (the machine's, or the current user's as
// RegisterTypeLibForUser does). FALSE if the module holds no such library, its path cannot be read
// whole, or the key refuses the write.
BOOL AfxOleRegisterTypeLib(HINSTANCE hInstance, REFGUID tlid, WORD wVerMajor, WORD wVerMinor,
                           EClassesScope scope = EClassesScope::Machine);

// Removes this build's registration of the library (its win32 or win64 path) from the scope's
// classes key. The rest of the library's key, and the interface keys that the registration wrote
// in both registry views, go with the library's last registration: a 32-bit and a 64-bit build of
// one server share them. Nothing left to remove counts as success; a refused key is a failure.
BOOL AfxOleUnregisterTypeLib(HINSTANCE hInstance, REFGUID tlid, WORD wVerMajor, WORD wVerMinor,
                             EClassesScope scope = EClassesScope::Machine);

// Whether the library's path for this build, as COM reads it, is this module.
BOOL AfxOleIsTypeLibRegisteredHere(HINSTANCE hInstance, REFGUID tlid, WORD wVerMajor, WORD wVerMinor);
