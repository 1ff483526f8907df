# Shared part of the two toolchain files; expects TL_TRIPLET.
set(CMAKE_C_COMPILER ${TL_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TL_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TL_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TL_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# ctest runs every test executable through Wine, by a runner that keeps
# ctest's pipe away from the processes Wine starts.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-test.sh)
