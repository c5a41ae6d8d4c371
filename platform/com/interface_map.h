// Interface maps: a static table per class of (interface ID, implementing part), chained to the base
// class's table. A part is reached through a small thunk, so a table holds plain function pointers.
#pragma once
#include "class_map.h"

#include <windows.h>
#include <unknwn.h>

class CCmdTarget;

struct AFX_INTERFACEMAP_ENTRY {
    const IID* piid;                            // nullptr ends the table
    LPUNKNOWN (*pfnGetPart)(CCmdTarget* pTarget);
};

struct AFX_INTERFACEMAP {
    const AFX_INTERFACEMAP* (*pfnGetBaseMap)();
    const AFX_INTERFACEMAP_ENTRY* lpEntries;
};

#define DECLARE_INTERFACE_MAP() AFX_DECLARE_CLASS_MAP(Interface, AFX_INTERFACEMAP)
#define BEGIN_INTERFACE_MAP(theClass, baseClass) \
    AFX_BEGIN_CLASS_MAP(Interface, AFX_INTERFACEMAP, AFX_INTERFACEMAP_ENTRY, theClass, baseClass)
#define END_INTERFACE_MAP() AFX_END_CLASS_MAP(Interface)

// Maps an interface ID to the nested part m_x<localClass> (for automation: Dispatch).
#define INTERFACE_PART(theClass, iid, localClass)                                              \
    {&(iid), [](CCmdTarget* pTarget) -> LPUNKNOWN {                                            \
         return static_cast<LPUNKNOWN>(&static_cast<theClass*>(pTarget)->m_x##localClass); }}, /* NOLINT(bugprone-macro-parentheses): a type */
