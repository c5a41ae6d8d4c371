# qd_add_type_library(TARGET RC IDL): compiles IDL (<name>.idl) with the MinGW-w64 widl into
# - the type library <name>.tlb, for TARGET's resource file RC to embed as TYPELIB 1;
# - the header <name>_i.h, which declares the IDL's GUIDs (LIBID_<library>, DIID_<dispinterface>,
#   IID_<interface>, CLSID_<coclass>) and interfaces as MIDL's header does, and <name>_i.c, which
#   defines the GUIDs: both in the static library target <name>_idl, which TARGET links (a library
#   TARGET hands it on to whatever links it). Include <name>_i.h; no GUID need be written a second
#   time in C++.
# All are written into the current binary folder.
# The IDL imports (oaidl.idl, ...) come from Wine's development files, stdole2.tlb from Wine's
# library folder.
find_program(QD_WIDL NAMES ${MINGW_PREFIX}-widl REQUIRED)
find_path(QD_IDL_IMPORTS oaidl.idl PATHS /usr/include/wine/wine/windows /usr/include/wine/windows
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_path(QD_STDOLE2_DIR stdole2.tlb
    PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/i386-linux-gnu/wine/i386-windows
          /usr/lib/wine/x86_64-windows /usr/lib/wine/i386-windows
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)

function(qd_add_type_library target rc idl)
    get_filename_component(name ${idl} NAME_WE)
    set(tlb ${CMAKE_CURRENT_BINARY_DIR}/${name}.tlb)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(arch --win64)
    else()
        set(arch --win32)
    endif()
    set(header ${CMAKE_CURRENT_BINARY_DIR}/${name}_i.h)
    set(guids ${CMAKE_CURRENT_BINARY_DIR}/${name}_i.c)
    set(widl ${QD_WIDL} ${arch} -I ${QD_IDL_IMPORTS} -L ${QD_STDOLE2_DIR})
    add_custom_command(OUTPUT ${tlb} ${header} ${guids}
        COMMAND ${widl} -t -o ${tlb} ${CMAKE_CURRENT_SOURCE_DIR}/${idl}
        COMMAND ${widl} -h -H ${header} ${CMAKE_CURRENT_SOURCE_DIR}/${idl}
        COMMAND ${widl} -u -o ${guids} ${CMAKE_CURRENT_SOURCE_DIR}/${idl}
        DEPENDS ${idl}
        COMMENT "Compiling ${name}.idl: the type library, the header and the GUIDs")
    target_sources(${target} PRIVATE ${tlb})
    set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${tlb})
    target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
    add_library(${name}_idl STATIC ${guids} ${header})
    target_include_directories(${name}_idl PUBLIC ${CMAKE_CURRENT_BINARY_DIR})
    target_link_libraries(${name}_idl PUBLIC uuid ole32)
    # Through the properties rather than target_link_libraries, which would tie the caller's own
    # calls to one of its two signatures.
    set_property(TARGET ${target} APPEND PROPERTY LINK_LIBRARIES ${name}_idl)
    get_target_property(type ${target} TYPE)
    if(NOT type STREQUAL "EXECUTABLE")
        set_property(TARGET ${target} APPEND PROPERTY INTERFACE_LINK_LIBRARIES ${name}_idl)
    endif()
endfunction()
