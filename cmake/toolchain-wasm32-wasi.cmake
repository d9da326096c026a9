# WebAssembly for the page in browsers: clang with WASI's C library and LLVM's C++ library for
# wasm32 (Debian's wasi-libc, libc++-14-dev-wasm32, libc++abi-14-dev-wasm32 and
# libclang-rt-14-dev-wasm32). The module calls nothing of WASI's: it imports nothing.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET wasm32-wasi)
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)
# That C++ library is built without exceptions.
set(CMAKE_CXX_FLAGS_INIT -fno-exceptions)
# A test program cannot run here, and its link would want an entry point.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
