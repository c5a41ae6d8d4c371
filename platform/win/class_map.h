// What message, interface and dispatch maps have in common. A class that declares one gets a static
// function that builds its table once, chained to its base class's table, and a virtual one that
// answers the table of the object's own class. Kind names the map (Message, Interface, Dispatch),
// MapType its table and EntryType its entries; an empty entry ends every table.
#pragma once

#define AFX_DECLARE_CLASS_MAP(Kind, MapType)    \
protected:                                      \
    static const MapType* GetThis##Kind##Map(); \
    const MapType* Get##Kind##Map() const override;

// The entries follow; inside them ThisClass names the declaring class.
#define AFX_BEGIN_CLASS_MAP(Kind, MapType, EntryType, theClass, baseClass)            \
    const MapType* theClass::Get##Kind##Map() const { return GetThis##Kind##Map(); } \
    const MapType* theClass::GetThis##Kind##Map()                                    \
    {                                                                                 \
        typedef theClass ThisClass;                                                   \
        typedef baseClass TheBaseClass;                                               \
        typedef MapType ThisMap;                                                      \
        static const EntryType entries[] = {

#define AFX_END_CLASS_MAP(Kind)                                                    \
            {}};                                                                   \
        static const ThisMap map = {&TheBaseClass::GetThis##Kind##Map, entries};   \
        return &map;                                                               \
    }
