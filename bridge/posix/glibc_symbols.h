// Binds the few glibc symbols with newer versions to the ones every glibc since 2.17 has, so the
// library built here still loads on older systems. Included ahead of every source of the library's
// core on Linux (not of its tests, nor of a checking build, which never leave this machine).
#ifndef ZKNATIVE7_GLIBC_SYMBOLS_H
#define ZKNATIVE7_GLIBC_SYMBOLS_H

// dlopen and dlsym moved into libc in 2.34 under new versions; the old ones live in libdl there.
#if defined(__x86_64__)
__asm__(".symver memcpy,memcpy@GLIBC_2.2.5");  // 2.14's memcpy is the same call
__asm__(".symver dlopen,dlopen@GLIBC_2.2.5");
__asm__(".symver dlsym,dlsym@GLIBC_2.2.5");
#elif defined(__i386__)
__asm__(".symver dlopen,dlopen@GLIBC_2.1");
__asm__(".symver dlsym,dlsym@GLIBC_2.0");
#elif defined(__aarch64__) || defined(__powerpc64__)
__asm__(".symver dlopen,dlopen@GLIBC_2.17");
__asm__(".symver dlsym,dlsym@GLIBC_2.17");
#elif defined(__arm__)
__asm__(".symver dlopen,dlopen@GLIBC_2.4");
__asm__(".symver dlsym,dlsym@GLIBC_2.4");
#elif defined(__s390x__)
__asm__(".symver dlopen,dlopen@GLIBC_2.2");
__asm__(".symver dlsym,dlsym@GLIBC_2.2");
#else
#error "no oldest glibc versions of dlopen and dlsym for this architecture"
#endif

#endif
