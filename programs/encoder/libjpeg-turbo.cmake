# The JPEG library: the system's libjpeg-turbo natively; for Windows, Debian's source
# package built with our toolchain (static, with its SIMD code when nasm is there).
if(NOT WIN32)
  find_package(JPEG REQUIRED)
  add_library(orvane_jpeg INTERFACE)
  target_link_libraries(orvane_jpeg INTERFACE JPEG::JPEG)
  return()
endif()

include(ExternalProject)
# One copy of the source serves the 32-bit and the 64-bit tree (fetched once, under a lock).
set(jpeg_src ${CMAKE_SOURCE_DIR}/build/third_party/libjpeg-turbo)
set(jpeg_bin ${CMAKE_BINARY_DIR}/third_party/libjpeg-turbo-build)
file(MAKE_DIRECTORY ${CMAKE_SOURCE_DIR}/build/third_party)
file(LOCK ${CMAKE_SOURCE_DIR}/build/third_party/libjpeg-turbo.lock)
if(NOT EXISTS ${jpeg_src}/CMakeLists.txt)
  message(STATUS "Fetching Debian's libjpeg-turbo source package")
  execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/fetch-libjpeg-turbo ${jpeg_src} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "could not fetch libjpeg-turbo's source package")
  endif()
endif()
file(LOCK ${CMAKE_SOURCE_DIR}/build/third_party/libjpeg-turbo.lock RELEASE)
find_program(NASM nasm)
set(jpeg_simd ON)
if(NOT NASM)
  set(jpeg_simd OFF)
endif()
ExternalProject_Add(libjpeg_turbo
  SOURCE_DIR ${jpeg_src}
  BINARY_DIR ${jpeg_bin}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE} -DCMAKE_CROSSCOMPILING_EMULATOR=
             -DCMAKE_BUILD_TYPE=Release -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF
             -DWITH_SIMD=${jpeg_simd} -DCMAKE_INSTALL_PREFIX=${jpeg_bin}/unused
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${jpeg_bin} --target jpeg-static
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${jpeg_bin}/libjpeg.a)
add_library(orvane_jpeg_static STATIC IMPORTED)
set_target_properties(orvane_jpeg_static PROPERTIES IMPORTED_LOCATION ${jpeg_bin}/libjpeg.a)
add_dependencies(orvane_jpeg_static libjpeg_turbo)
add_library(orvane_jpeg INTERFACE)
# jpeglib.h from the source, jconfig.h from the build tree.
file(MAKE_DIRECTORY ${jpeg_bin})
target_include_directories(orvane_jpeg SYSTEM INTERFACE ${jpeg_src} ${jpeg_bin})
target_link_libraries(orvane_jpeg INTERFACE orvane_jpeg_static)
