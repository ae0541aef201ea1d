# The libraries of the Windows build (cross-built with mingw-w64, see cmake/mingw-w64-x86_64.cmake),
# under the names the Linux build's find_package/pkg_check_modules give them, so that every
# subsystem links the same way on both systems:
# - zlib: Debian's mingw-w64 package (libz-mingw-w64-dev);
# - libzip, libdeflate, ISA-L: built from Debian's source packages by scripts/win64-deps.sh into
#   QOB_WIN64_DEPS_PREFIX (the same versions the Linux build links, so both read and write
#   archives with the same code);
# - the archive's AES-256, HMAC-SHA1 and PBKDF2: Windows' own CNG (bcrypt.dll) instead of libcrypto;
# - libisofs (disc images): built from Debian's source package too, with the compat headers of
#   scripts/win64/isofs-compat; IMAPI2 (COM automation: ole32, oleaut32) writes to the recorders,
#   so there is no libburn.
set(QOB_WIN64_DEPS_PREFIX "" CACHE PATH "Where scripts/win64-deps.sh installed libzip, libdeflate and ISA-L")
if(NOT QOB_WIN64_DEPS_PREFIX OR NOT EXISTS ${QOB_WIN64_DEPS_PREFIX}/lib/libzip.a
   OR NOT EXISTS ${QOB_WIN64_DEPS_PREFIX}/lib/libisofs.a)
    message(FATAL_ERROR "Run scripts/win64-deps.sh <folder> and pass -DQOB_WIN64_DEPS_PREFIX=<folder>/prefix")
endif()

function(qob_win64_library name)
    add_library(${name} INTERFACE IMPORTED GLOBAL)
    set_target_properties(${name} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${QOB_WIN64_DEPS_PREFIX}/include
                                             INTERFACE_LINK_LIBRARIES "${ARGN}")
endfunction()

# Linked statically like everything else: no zlib1.dll beside the programs.
find_library(ZLIB_LIBRARY NAMES libz.a REQUIRED)
find_package(ZLIB REQUIRED)
find_package(Threads REQUIRED)
qob_win64_library(PkgConfig::LIBZIP ${QOB_WIN64_DEPS_PREFIX}/lib/libzip.a ZLIB::ZLIB bcrypt)
set_property(TARGET PkgConfig::LIBZIP APPEND PROPERTY INTERFACE_COMPILE_DEFINITIONS ZIP_STATIC)
qob_win64_library(Libdeflate::Libdeflate ${QOB_WIN64_DEPS_PREFIX}/lib/libdeflate.a)
qob_win64_library(PkgConfig::LIBISAL ${QOB_WIN64_DEPS_PREFIX}/lib/libisal.a)
qob_win64_library(OpenSSL::Crypto bcrypt)
qob_win64_library(PkgConfig::LIBISOFS ${QOB_WIN64_DEPS_PREFIX}/lib/libisofs.a Threads::Threads ole32 oleaut32 uuid shlwapi)
set_property(TARGET PkgConfig::LIBISOFS APPEND PROPERTY INTERFACE_COMPILE_DEFINITIONS LIBISOFS_WITHOUT_LIBBURN=1)
qob_win64_library(PkgConfig::LIBBURN)

# One .exe each, nothing to install beside it: the C and C++ runtimes and winpthread linked in.
add_link_options(-static -static-libgcc -static-libstdc++)
# Unicode Win32 API (the W functions) everywhere; Windows 7 and later.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

# The core's POSIX file calls (open, fsync, flock, pread…) on the Windows API: the header is put
# before every C++ source, and <sys/file.h>/<sys/statvfs.h> lead to it (src/platform/win32).
include_directories(BEFORE ${CMAKE_SOURCE_DIR}/src/platform/win32/include ${CMAKE_SOURCE_DIR}/src)
add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:SHELL:-include ${CMAKE_SOURCE_DIR}/src/platform/win32/PosixApi.h>")
# 64-bit file sizes and offsets (off_t, stat, lseek), and localtime_r/gmtime_r.
add_compile_definitions(_FILE_OFFSET_BITS=64 _POSIX_THREAD_SAFE_FUNCTIONS=200112L)
# Files opened by narrow name through the C runtime are binary, as on Linux.
if(EXISTS /usr/${QOB_MINGW_TRIPLE}/lib/binmode.o)
    add_link_options(/usr/${QOB_MINGW_TRIPLE}/lib/binmode.o)
endif()
