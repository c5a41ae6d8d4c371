# The QDemo SDK: automation objects that run their calls on a thread of their own, and the
# framework they stand on. find_package(QDemo CONFIG REQUIRED) gives
#   QDemo::own_thread       the own-thread command target; brings QDemo::platform
#   QDemo::platform         application, threads, windows, dialogs, automation, class factories
#   QDemo::platform_owners  the owners of kernel handles and registry keys alone
#   QDemo::platform_main    the entry point (WinMain), linked into each program
#   qd_add_type_library(TARGET RC IDL)  compiles IDL into the type library that RC embeds
include(${CMAKE_CURRENT_LIST_DIR}/QDemoTargets.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/QdTypeLibrary.cmake)
