# Shared part of the mingw-w64 toolchains. The -posix compilers carry std::mutex, which
# GoogleTest needs; static runtimes keep every binary free of non-system DLLs.
set(CMAKE_C_COMPILER ${KORVALE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVALE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVALE_MINGW_PREFIX}-windres)
set(CMAKE_DLLTOOL ${KORVALE_MINGW_PREFIX}-dlltool)
set(KORVALE_OBJDUMP ${KORVALE_MINGW_PREFIX}-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/${KORVALE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# No link time in the headers or the export table: two links of the same objects give the same
# bytes (the release sets the header's time stamp after stripping, see release/finish_pe.py).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
