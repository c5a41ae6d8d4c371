# Cross-compiling for 64-bit Windows with clang and lld, the second compiler: MinGW-w64's headers and
# runtime, and the C++ library of MinGW-w64's posix GCC (its include folders are not clang's own).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_PREFIX x86_64-w64-mingw32)
file(GLOB QD_MINGW_GCC_DIRS /usr/lib/gcc/${MINGW_PREFIX}/*-posix)
list(SORT QD_MINGW_GCC_DIRS COMPARE NATURAL)
list(POP_BACK QD_MINGW_GCC_DIRS QD_MINGW_GCC_DIR)
if(NOT QD_MINGW_GCC_DIR)
    message(FATAL_ERROR "no posix MinGW-w64 GCC under /usr/lib/gcc/${MINGW_PREFIX}")
endif()
set(QD_MINGW_CXX_INCLUDE ${QD_MINGW_GCC_DIR}/include/c++)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${MINGW_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${MINGW_PREFIX})
set(CMAKE_RC_COMPILER ${MINGW_PREFIX}-windres)
# MinGW-w64's GCC keeps thread-local variables in emulated TLS, and its C++ library's (std::call_once's)
# are reached only that way.
set(CMAKE_C_FLAGS_INIT "-femulated-tls")
set(CMAKE_CXX_FLAGS_INIT "-femulated-tls -isystem ${QD_MINGW_CXX_INCLUDE} -isystem ${QD_MINGW_CXX_INCLUDE}/${MINGW_PREFIX} -isystem ${QD_MINGW_CXX_INCLUDE}/backward")
# lld finds symbols in any library order; GNU ld would need winpthread after libgcc_eh, which
# clang's driver puts last.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${QD_MINGW_GCC_DIR} -lpthread")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -L${QD_MINGW_GCC_DIR} -lpthread")
# lld's MinGW mode has --whole-archive but not --push-state, which CMake would probe GNU ld for.
set(_CMAKE_LINKER_PUSHPOP_STATE_SUPPORTED FALSE CACHE INTERNAL "lld: no push/pop state")

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
