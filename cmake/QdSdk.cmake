# The SDK: `cmake --install` of a build puts the framework into a prefix of its own, one per
# architecture: the public headers (include/qdemo), the static libraries and the entry point (lib),
# and the CMake package QDemo (lib/cmake/QDemo) with the type-library function and the toolchain.
# A consumer writes find_package(QDemo CONFIG REQUIRED) and links QDemo::own_thread and
# QDemo::platform_main; samples/consumer is one, built by the tests against an installed SDK.
include(CMakePackageConfigHelpers)

# The programs' version, read from QDSERVER's version resource: the SDK is released with them.
file(STRINGS ${PROJECT_SOURCE_DIR}/server/server.rc qd_file_version REGEX "^ *FILEVERSION ")
string(REGEX MATCH "[0-9]+,[0-9]+,[0-9]+,[0-9]+" qd_file_version "${qd_file_version}")
string(REPLACE "," "." QD_VERSION "${qd_file_version}")
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(QD_SDK_ARCH x64)
    set(qd_toolchain toolchain-mingw64.cmake)
else()
    set(QD_SDK_ARCH x86)
    set(qd_toolchain toolchain-mingw32.cmake)
endif()

# Names that say whose they are, beside other libraries in lib/.
foreach(qd_lib platform platform_owners own_thread)
    set_target_properties(${qd_lib} PROPERTIES OUTPUT_NAME qdemo_${qd_lib})
endforeach()
# The framework's libraries are built for a static runtime (the posix thread model's); a program
# that links them carries that runtime too and needs no DLL beside it.
set_property(TARGET platform APPEND PROPERTY INTERFACE_LINK_OPTIONS $<INSTALL_INTERFACE:-static>)

set(qd_package_dir lib/cmake/QDemo)
install(TARGETS platform platform_owners own_thread platform_main EXPORT QDemoTargets
    ARCHIVE DESTINATION lib
    OBJECTS DESTINATION lib
    FILE_SET HEADERS DESTINATION include/qdemo)
install(EXPORT QDemoTargets NAMESPACE QDemo:: DESTINATION ${qd_package_dir})
# The version is the programs'; the version file also refuses a consumer of the other architecture.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/QDemoConfigVersion.cmake
    VERSION ${QD_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/QDemoConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/QDemoConfigVersion.cmake
    ${CMAKE_CURRENT_LIST_DIR}/QdTypeLibrary.cmake
    ${CMAKE_CURRENT_LIST_DIR}/${qd_toolchain} ${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake
    DESTINATION ${qd_package_dir})
configure_file(${CMAKE_CURRENT_LIST_DIR}/QDemoSdkReadme.txt.in ${CMAKE_CURRENT_BINARY_DIR}/README.txt @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt DESTINATION .)
