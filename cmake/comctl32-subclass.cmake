# MinGW-w64's x86-64 import library of comctl32 lacks GetWindowSubclass, which
# comctl32.dll (version 6) exports by name; the 32-bit one has it. Where it is
# missing, a one-entry import library made with dlltool supplies it.
include(CheckCXXSourceCompiles)
set(CMAKE_REQUIRED_LIBRARIES comctl32)
check_cxx_source_compiles([[
#include <windows.h>
#include <commctrl.h>
int main() { DWORD_PTR data = 0; return GetWindowSubclass(nullptr, nullptr, 0, &data); }
]] ORVANE_HAVE_GET_WINDOW_SUBCLASS)
unset(CMAKE_REQUIRED_LIBRARIES)

set(ORVANE_COMCTL32_EXTRA "")
if(NOT ORVANE_HAVE_GET_WINDOW_SUBCLASS)
  set(def ${CMAKE_BINARY_DIR}/comctl32-subclass.def)
  set(lib ${CMAKE_BINARY_DIR}/libcomctl32-subclass.a)
  file(WRITE ${def} "LIBRARY comctl32.dll\nEXPORTS\nGetWindowSubclass\n")
  add_custom_command(OUTPUT ${lib} COMMAND ${CMAKE_DLLTOOL} -d ${def} -l ${lib} DEPENDS ${def}
                     COMMENT "Import library for GetWindowSubclass")
  add_custom_target(comctl32_subclass DEPENDS ${lib})
  add_library(comctl32_subclass_import STATIC IMPORTED)
  set_target_properties(comctl32_subclass_import PROPERTIES IMPORTED_LOCATION ${lib})
  add_dependencies(comctl32_subclass_import comctl32_subclass)
  set(ORVANE_COMCTL32_EXTRA comctl32_subclass_import)
endif()
