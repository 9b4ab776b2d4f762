/* Allocation through zknative7's C runtime, for native code that shares buffers with the library. */
#ifndef ZKNATIVE7_ALLOC_H
#define ZKNATIVE7_ALLOC_H

#include <stddef.h>

#if defined(_WIN32)
/* Windows exports come from the module-definition file; __cdecl keeps callers built with /Gz right. */
#  define ZKNATIVE7_API
#  define ZKNATIVE7_CALL __cdecl
#else
#  define ZKNATIVE7_API __attribute__((visibility("default")))
#  define ZKNATIVE7_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A new block of at least nbytes bytes, or NULL. A failure for a non-zero size is reported on
   standard error as "Malloc for N bytes failed" and "About to crash". Never aborts. */
ZKNATIVE7_API void* ZKNATIVE7_CALL sMalloc(size_t nbytes);

/* Releases a block from sMalloc or sStrdup; NULL is ignored. */
ZKNATIVE7_API void ZKNATIVE7_CALL sFree(void* block);

/* A new NUL-terminated copy of text, byte for byte, or NULL when text is NULL or the heap is
   exhausted (reported as by sMalloc). */
ZKNATIVE7_API char* ZKNATIVE7_CALL sStrdup(const char* text);

#ifdef __cplusplus
}
#endif

#endif
