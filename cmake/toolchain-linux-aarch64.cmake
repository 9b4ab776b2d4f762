# 64-bit ARM Linux (arm64 JVMs) with Debian's aarch64-linux-gnu cross compilers.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# libgcc's outline atomics come with a constructor that calls __getauxval, which musl lacks.
set(CMAKE_C_FLAGS_INIT -mno-outline-atomics)
set(CMAKE_CXX_FLAGS_INIT -mno-outline-atomics)
