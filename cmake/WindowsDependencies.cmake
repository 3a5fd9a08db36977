# What the Windows build takes from this machine: zlib's static library for MinGW, the Boost
# headers (Boost.System and Boost.Date_Time are header-only), Boost.Filesystem compiled here from
# its sources, and GoogleTest compiled here from Debian's sources. Every target name matches the
# one the native build gets from find_package, so the rest of the build does not tell them apart.

set(BOOST_FILESYSTEM_SOURCE "${PROJECT_SOURCE_DIR}/../shared/third_party/boost-filesystem-1.74.0"
    CACHE PATH "Boost.Filesystem 1.74 sources (the folder holding src/)")
set(PATCH_BOOST_HEADERS /usr/include/boost CACHE PATH "Boost 1.74 headers")

# The compiler sees a folder holding nothing but the boost headers, never /usr/include itself:
# the build machine's C library headers must stay out of a Windows build.
set(patch_boost_root "${PROJECT_BINARY_DIR}/boost-headers")
file(MAKE_DIRECTORY "${patch_boost_root}")
file(CREATE_LINK "${PATCH_BOOST_HEADERS}" "${patch_boost_root}/boost" SYMBOLIC)
set(Boost_INCLUDE_DIR "${patch_boost_root}" CACHE PATH "" FORCE)
set(Boost_NO_SYSTEM_PATHS ON)
find_package(Boost 1.74 REQUIRED)  # headers only: asks for no library file

if(NOT EXISTS "${BOOST_FILESYSTEM_SOURCE}/src/operations.cpp")
    message(FATAL_ERROR "No Boost.Filesystem sources in ${BOOST_FILESYSTEM_SOURCE} "
                        "(set BOOST_FILESYSTEM_SOURCE to the folder holding src/)")
endif()
file(GLOB patch_boost_filesystem_sources "${BOOST_FILESYSTEM_SOURCE}/src/*.cpp")
add_library(patch_boost_filesystem STATIC ${patch_boost_filesystem_sources})
target_compile_definitions(patch_boost_filesystem
    PUBLIC BOOST_FILESYSTEM_STATIC_LINK=1 BOOST_ALL_NO_LIB
    PRIVATE BOOST_FILESYSTEM_SOURCE)
target_compile_options(patch_boost_filesystem PRIVATE -w)  # third-party code, built as it is
target_link_libraries(patch_boost_filesystem PUBLIC Boost::headers)
add_library(Boost::filesystem ALIAS patch_boost_filesystem)
add_library(Boost::system ALIAS Boost::headers)
add_library(Boost::date_time ALIAS Boost::headers)

find_library(ZLIB_LIBRARY NAMES libz.a REQUIRED)  # static: the programs import system DLLs only
find_package(ZLIB REQUIRED)

if(PATCH_BUILD_TESTS)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest "${PROJECT_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
    target_compile_options(gtest PRIVATE -w)
    target_compile_options(gtest_main PRIVATE -w)
endif()

# Windows 10 and later; wide-character API; windows.h without its min/max macros.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 UNICODE _UNICODE NOMINMAX
                        WIN32_LEAN_AND_MEAN _FILE_OFFSET_BITS=64)
# Linked statically, so that copying the two programs is enough: they import system DLLs only.
add_link_options(-static -static-libgcc -static-libstdc++)
