# 32-bit Windows: the shipped deliverables.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KORVALE_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# 32-bit Windows promises a function only 4-byte stack alignment (Visual Basic, Delphi, NSIS and
# older MSVC code give no more), while GCC assumes 16 by default: every function that needs
# more realigns its own stack. tests/static/check_pe.py --stack-alignment holds the binaries to it.
set(CMAKE_C_FLAGS_INIT "-mincoming-stack-boundary=2")
set(CMAKE_CXX_FLAGS_INIT "-mincoming-stack-boundary=2")
