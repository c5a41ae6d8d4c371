# qd_add_type_library(TARGET RC IDL): compiles IDL into a type library (<name>.tlb, in the current
# binary folder) with the MinGW-w64 widl, for TARGET's resource file RC to embed as TYPELIB 1.
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
    add_custom_command(OUTPUT ${tlb}
        COMMAND ${QD_WIDL} ${arch} -t -I ${QD_IDL_IMPORTS} -L ${QD_STDOLE2_DIR}
                -o ${tlb} ${CMAKE_CURRENT_SOURCE_DIR}/${idl}
        DEPENDS ${idl}
        COMMENT "Compiling the type library ${name}.tlb")
    target_sources(${target} PRIVATE ${tlb})
    set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${tlb})
    target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
endfunction()
