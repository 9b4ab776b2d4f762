/* The library as a JVM on Alpine meets it: loaded through musl's own loader from two folders, its
   natives called through a small JNI function table. C, linked against musl (there is no musl C++
   runtime or JVM to install here).
   usage: zknative7_musl_test LIBRARY */
#define _GNU_SOURCE
#include "natives.h"
#include "zknative7_alloc.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <spawn.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

/* One loaded copy of the library: every export of the list, bound by name. */
#define ALLOCATOR_SLOT(name) __typeof__(&name) name;
typedef struct {
    char folder[64];
    char path[160];
    void* handle;
    NativeTable natives;
    ZKNATIVE7_EACH_ALLOCATOR(ALLOCATOR_SLOT)
} Copy;
#undef ALLOCATOR_SLOT

static int failures;

static void fail(const char* test, const char* what) {
    printf("FAIL %s: %s\n", test, what);
    fflush(stdout);
    ++failures;
}

static long long nowMillis(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

/* --- The JNI function table: strings, and the String[] of a listing. --- */

typedef struct {
    jsize length;
    jchar units[];
} FakeString;

static atomic_int charsHeld;
static atomic_int unexpectedCalls;

static FakeString* newFakeString(const jchar* units, size_t length) {
    FakeString* made = malloc(sizeof(FakeString) + (length + 1) * sizeof(jchar));
    made->length = (jsize)length;
    memcpy(made->units, units, length * sizeof(jchar));
    return made;
}

static jsize JNICALL fakeGetStringLength(JNIEnv* env, jstring string) {
    (void)env;
    return ((FakeString*)string)->length;
}

static const jchar* JNICALL fakeGetStringChars(JNIEnv* env, jstring string, jboolean* isCopy) {
    (void)env;
    if (isCopy != NULL) {
        *isCopy = JNI_FALSE;
    }
    atomic_fetch_add(&charsHeld, 1);
    return ((FakeString*)string)->units;
}

/* Out of bounds is the caller's fault here; a real VM would throw StringIndexOutOfBoundsException. */
static void JNICALL fakeGetStringRegion(JNIEnv* env, jstring string, jsize start, jsize length, jchar* units) {
    (void)env;
    const FakeString* from = (const FakeString*)string;
    if (start < 0 || length < 0 || start > from->length - length) {
        atomic_fetch_add(&unexpectedCalls, 1);
        return;
    }
    memcpy(units, from->units + start, (size_t)length * sizeof(jchar));
}

static void JNICALL fakeReleaseStringChars(JNIEnv* env, jstring string, const jchar* chars) {
    (void)env;
    (void)string;
    (void)chars;
    atomic_fetch_sub(&charsHeld, 1);
}

static jstring JNICALL fakeNewString(JNIEnv* env, const jchar* units, jsize length) {
    (void)env;
    return (jstring)newFakeString(units, (size_t)length);
}

/* The natives hand NewStringUTF only ASCII, which modified UTF-8 spells as plain bytes. */
static jstring JNICALL fakeNewStringUTF(JNIEnv* env, const char* bytes) {
    (void)env;
    size_t length = strlen(bytes);
    FakeString* made = malloc(sizeof(FakeString) + (length + 1) * sizeof(jchar));
    made->length = (jsize)length;
    for (size_t i = 0; i < length; ++i) {
        if ((unsigned char)bytes[i] >= 0x80) {
            atomic_fetch_add(&unexpectedCalls, 1);
        }
        made->units[i] = (unsigned char)bytes[i];
    }
    return (jstring)made;
}

typedef struct {
    jsize length;
    jobject elements[];
} FakeArray;

static char stringClass;

static jclass JNICALL fakeFindClass(JNIEnv* env, const char* name) {
    (void)env;
    if (strcmp(name, "java/lang/String") != 0) {
        atomic_fetch_add(&unexpectedCalls, 1);
        return NULL;
    }
    return (jclass)&stringClass;
}

static jobjectArray JNICALL fakeNewObjectArray(JNIEnv* env, jsize length, jclass cls, jobject initial) {
    (void)env;
    if (cls != (jclass)&stringClass || initial != NULL || length < 0) {
        atomic_fetch_add(&unexpectedCalls, 1);
        return NULL;
    }
    FakeArray* made = calloc(1, sizeof(FakeArray) + (size_t)length * sizeof(jobject));
    made->length = length;
    return (jobjectArray)made;
}

static void JNICALL fakeSetObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index, jobject value) {
    (void)env;
    FakeArray* made = (FakeArray*)array;
    if (index < 0 || index >= made->length) {
        atomic_fetch_add(&unexpectedCalls, 1);
        return;
    }
    made->elements[index] = value;
}

/* Local references cost nothing here; what the arrays hold is freed with them. */
static void JNICALL fakeDeleteLocalRef(JNIEnv* env, jobject ref) {
    (void)env;
    (void)ref;
}

/* Every other slot: a call the natives should never make here. */
static void* JNICALL fakeUnexpected(void) {
    atomic_fetch_add(&unexpectedCalls, 1);
    return NULL;
}

static struct JNINativeInterface_ fakeFunctions;
static JNIEnv fakeEnv;

static void setUpJni(void) {
    void** slots = (void**)&fakeFunctions;
    for (size_t i = 0; i < sizeof fakeFunctions / sizeof(void*); ++i) {
        slots[i] = (void*)fakeUnexpected;
    }
    fakeFunctions.GetStringLength = fakeGetStringLength;
    fakeFunctions.GetStringChars = fakeGetStringChars;
    fakeFunctions.GetStringRegion = fakeGetStringRegion;
    fakeFunctions.ReleaseStringChars = fakeReleaseStringChars;
    fakeFunctions.NewString = fakeNewString;
    fakeFunctions.NewStringUTF = fakeNewStringUTF;
    fakeFunctions.FindClass = fakeFindClass;
    fakeFunctions.NewObjectArray = fakeNewObjectArray;
    fakeFunctions.SetObjectArrayElement = fakeSetObjectArrayElement;
    fakeFunctions.DeleteLocalRef = fakeDeleteLocalRef;
    fakeEnv = &fakeFunctions;
}

/* --- Text: test strings are written as WTF-8, which is exactly what the library must store. --- */

/* The UTF-16 units of WTF-8 `bytes` (well-formed, so no checks): a lone surrogate's 3-byte form
   gives that surrogate, a 4-byte sequence a pair. */
static size_t unitsOf(const char* bytes, jchar* units) {
    const unsigned char* next = (const unsigned char*)bytes;
    size_t count = 0;
    while (*next != 0) {
        uint32_t point;
        if (*next < 0x80) {
            point = *next++;
        } else if (*next < 0xE0) {
            point = (uint32_t)(*next++ & 0x1F) << 6;
            point |= *next++ & 0x3Fu;
        } else if (*next < 0xF0) {
            point = (uint32_t)(*next++ & 0x0F) << 12;
            point |= (uint32_t)(*next++ & 0x3F) << 6;
            point |= *next++ & 0x3Fu;
        } else {
            point = (uint32_t)(*next++ & 0x07) << 18;
            point |= (uint32_t)(*next++ & 0x3F) << 12;
            point |= (uint32_t)(*next++ & 0x3F) << 6;
            point |= *next++ & 0x3Fu;
        }
        if (point >= 0x10000) {
            units[count++] = (jchar)(0xD800 | ((point - 0x10000) >> 10));
            units[count++] = (jchar)(0xDC00 | ((point - 0x10000) & 0x3FF));
        } else {
            units[count++] = (jchar)point;
        }
    }
    return count;
}

static jstring javaString(const char* wtf8) {
    jchar units[4096];
    return (jstring)newFakeString(units, unitsOf(wtf8, units));
}

static int put(const Copy* copy, const char* assignment) {
    jstring string = javaString(assignment);
    int applied = copy->natives.putenv0(&fakeEnv, NULL, string) == JNI_TRUE;
    free(string);
    return applied;
}

/* 1 when getenv0 of `name` gives the units of `expected`, or null when `expected` is null. */
static int gets(const Copy* copy, const char* name, const char* expected) {
    jstring string = javaString(name);
    FakeString* value = (FakeString*)copy->natives.getenv0(&fakeEnv, NULL, string);
    free(string);
    int same;
    if (expected == NULL || value == NULL) {
        same = expected == NULL && value == NULL;
    } else {
        jchar units[4096];
        size_t count = unitsOf(expected, units);
        same = (size_t)value->length == count && memcmp(value->units, units, count * sizeof(jchar)) == 0;
    }
    free(value);
    return same;
}

/* 1 when musl's own getenv holds exactly `expected` (null: unset). */
static int muslHolds(const char* name, const char* expected) {
    const char* value = getenv(name);
    return expected == NULL ? value == NULL : value != NULL && strcmp(value, expected) == 0;
}

/* --- Loading. --- */

static int loadCopy(const char* library, Copy* copy) {
    strcpy(copy->folder, "/tmp/zk7m-XXXXXX");
    if (mkdtemp(copy->folder) == NULL) {
        return 0;
    }
    const char* fileName = strrchr(library, '/') == NULL ? library : strrchr(library, '/') + 1;
    snprintf(copy->path, sizeof copy->path, "%s/%s", copy->folder, fileName);
    int from = open(library, O_RDONLY);
    int to = open(copy->path, O_WRONLY | O_CREAT | O_EXCL, 0700);
    char block[65536];
    ssize_t n = 0;
    while (from >= 0 && to >= 0 && (n = read(from, block, sizeof block)) > 0) {
        if (write(to, block, (size_t)n) != n) {
            n = -1;
            break;
        }
    }
    close(from);
    close(to);
    if (n != 0) {
        return 0;
    }
    /* As HotSpot loads a library: lazily, by absolute path. */
    copy->handle = dlopen(copy->path, RTLD_LAZY);
    if (copy->handle == NULL) {
        printf("dlopen %s: %s\n", copy->path, dlerror());
        return 0;
    }
    int bound = 1;
#define BIND_NATIVE(method, symbol) \
    copy->natives.method = (__typeof__(copy->natives.method))dlsym(copy->handle, symbol); \
    bound = bound && copy->natives.method != NULL;
    ZKNATIVE7_EACH_NATIVE(BIND_NATIVE)
#undef BIND_NATIVE
#define BIND_ALLOCATOR(name) \
    copy->name = (__typeof__(copy->name))dlsym(copy->handle, #name); \
    bound = bound && copy->name != NULL;
    ZKNATIVE7_EACH_ALLOCATOR(BIND_ALLOCATOR)
#undef BIND_ALLOCATOR
    if (!bound) {
        printf("%s lacks an export of the list\n", copy->path);
    }
    return bound;
}

static void removeCopy(const Copy* copy) {
    unlink(copy->path);  /* a loaded library may be deleted */
    rmdir(copy->folder);
}

/* --- The tests. --- */

static const char* const kNames[] = {"ZK7M_ASCII", "ZK7M_\xd0\x98\xd0\x9c\xd0\xaf", "ZK7M_\xf0\x9f\x94\x91",
                                     "ZK7M_\xed\xa0\x80"};
static const char* const kValues[] = {
    "plain",
    "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82, \xd0\xbc\xd0\xb8\xd1\x80",  /* Cyrillic */
    "\xf0\x9f\x98\x80 \xf0\x90\x8d\x88",                                           /* supplementary */
    "x\xed\xa0\x80y\xed\xb0\x80",  /* an unpaired lead, then an unpaired trail */
    "a=b==c",
};

static void roundTrips(const Copy* copy) {
    const char* test = "round trips";
    char assignment[256];
    int checked = 0;
    for (size_t n = 0; n < sizeof kNames / sizeof *kNames; ++n) {
        for (size_t v = 0; v < sizeof kValues / sizeof *kValues; ++v) {
            snprintf(assignment, sizeof assignment, "%s=%s", kNames[n], kValues[v]);
            if (!put(copy, assignment) || !gets(copy, kNames[n], kValues[v])) {
                fail(test, assignment);
            } else if (!muslHolds(kNames[n], kValues[v])) {
                fail(test, "musl's getenv does not hold the WTF-8 bytes");
            }
            ++checked;
        }
        snprintf(assignment, sizeof assignment, "%s=", kNames[n]);
        if (!put(copy, assignment) || !gets(copy, kNames[n], NULL) || !muslHolds(kNames[n], NULL)) {
            fail(test, "a removal");
        }
    }
    const char* refused[] = {"", "NOEQ", "=x", "="};
    for (size_t r = 0; r < sizeof refused / sizeof *refused; ++r) {
        if (put(copy, refused[r])) {
            fail(test, "an assignment that is none was applied");
        }
    }
    if (atomic_load(&charsHeld) != 0 || atomic_load(&unexpectedCalls) != 0) {
        fail(test, "characters not released, or a JNI call the natives should not make");
    }
    printf("ok   %s: %d names and values, set, read back by getenv0 and musl's getenv, removed\n", test, checked);
}

/* Starts /bin/sh -c SCRIPT with the environment as published now; its exit status, or -1. */
static int runShell(const char* script, const char* argument) {
    const char* argv[] = {"/bin/sh", "-c", script, "sh", argument, NULL};
    pid_t child;
    if (posix_spawn(&child, "/bin/sh", NULL, NULL, (char**)argv, __atomic_load_n(&environ, __ATOMIC_ACQUIRE)) != 0) {
        return -1;
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

/* How often the listing holds the units of WTF-8 `entry`. */
static int timesListed(const FakeArray* listed, const char* entry) {
    jchar units[4096];
    size_t count = unitsOf(entry, units);
    int times = 0;
    for (jsize i = 0; i < listed->length; ++i) {
        const FakeString* element = (const FakeString*)listed->elements[i];
        times += (size_t)element->length == count && memcmp(element->units, units, count * sizeof(jchar)) == 0;
    }
    return times;
}

static void listing(const Copy* copy) {
    const char* test = "listing";
    put(copy, "ZK7M_LIST=\xd0\x9f\xd1\x80\xd0\xb8 \xed\xa0\x80");
    put(copy, "ZK7M_LIST_GONE=soon");
    put(copy, "ZK7M_LIST_GONE=");  /* leaves a hole that repeats another entry */
    setenv("ZK7M_MUSL", "set by musl", 1);
    FakeArray* listed = (FakeArray*)copy->natives.environ0(&fakeEnv, NULL);
    if (listed == NULL) {
        fail(test, "environ0 gave null");
        return;
    }
    size_t variables = 0;
    for (char** entry = environ; *entry != NULL; ++entry) {
        int earlier = 0;  /* each distinct entry once: holes repeat one */
        for (char** before = environ; before != entry; ++before) {
            earlier |= strcmp(*before, *entry) == 0;
        }
        variables += !earlier;
    }
    if (timesListed(listed, "ZK7M_LIST=\xd0\x9f\xd1\x80\xd0\xb8 \xed\xa0\x80") != 1 ||
        timesListed(listed, "ZK7M_MUSL=set by musl") != 1 || timesListed(listed, "ZK7M_LIST_GONE=soon") != 0 ||
        (size_t)listed->length != variables) {
        fail(test, "the listing is not environ's variables, each once");
    } else {
        printf("ok   %s: %d variables, each once, with what musl's setenv set and without what was removed\n", test,
               (int)listed->length);
    }
    for (jsize i = 0; i < listed->length; ++i) {
        free(listed->elements[i]);
    }
    free(listed);
    put(copy, "ZK7M_LIST=");
    unsetenv("ZK7M_MUSL");
}

static void children(const Copy* copy) {
    const char* test = "children";
    const char* value = kValues[1];
    if (!put(copy, "ZK7M_CHILD=\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82, \xd0\xbc\xd0\xb8\xd1\x80") ||
        !put(copy, "ZK7M_LONE=a\xed\xa0\x80z") || !put(copy, "ZK7M_GONE=soon") || !put(copy, "ZK7M_GONE=")) {
        fail(test, "an assignment was refused");
    }
    if (runShell("test \"$ZK7M_CHILD\" = \"$1\"", value) != 0) {
        fail(test, "a child does not inherit the Cyrillic value");
    }
    if (runShell("test \"$ZK7M_LONE\" = \"$1\"", "a\xed\xa0\x80z") != 0) {
        fail(test, "a child does not inherit the unpaired surrogate's bytes");
    }
    if (runShell("test -z \"${ZK7M_GONE+set}\"", "") != 0) {
        fail(test, "a child inherits a removed variable");
    }
    put(copy, "ZK7M_CHILD=");
    put(copy, "ZK7M_LONE=");
    printf("ok   %s: posix_spawn children inherit what was set, and not what was removed\n", test);
}

/* Readers that run while one thread changes the environment, each counting its progress. */
typedef struct {
    atomic_int done;
    atomic_long lookups;
    atomic_long walks;
    atomic_long children;
    atomic_long faults;
} Race;

static const char* const kUntouched[][2] = {
    {"ZK7M_KEEP_0", "kept 0"}, {"ZK7M_KEEP_1", "kept \xd0\xb6"}, {"ZK7M_KEEP_2", "kept \xf0\x9f\x98\x80"}};
enum { kUntouchedCount = sizeof kUntouched / sizeof *kUntouched };

static void* lookUp(void* argument) {
    Race* race = argument;
    while (!atomic_load(&race->done)) {
        for (int k = 0; k < kUntouchedCount; ++k) {
            if (!muslHolds(kUntouched[k][0], kUntouched[k][1])) {
                atomic_fetch_add(&race->faults, 1);
            }
            atomic_fetch_add(&race->lookups, 1);
        }
    }
    return NULL;
}

/* As execve copies envp: counts up to the null, then takes that many entries by index. */
static void* walk(void* argument) {
    Race* race = argument;
    while (!atomic_load(&race->done)) {
        char** entries = __atomic_load_n(&environ, __ATOMIC_ACQUIRE);
        size_t count = 0;
        while (__atomic_load_n(&entries[count], __ATOMIC_ACQUIRE) != NULL) {
            ++count;
        }
        int seen = 0;
        for (size_t i = 0; i < count; ++i) {
            const char* entry = __atomic_load_n(&entries[i], __ATOMIC_ACQUIRE);
            if (entry == NULL || strchr(entry, '=') == NULL) {
                atomic_fetch_add(&race->faults, 1);
                break;
            }
            for (int k = 0; k < kUntouchedCount; ++k) {
                size_t length = strlen(kUntouched[k][0]);
                seen += strncmp(entry, kUntouched[k][0], length) == 0 && entry[length] == '=' &&
                        strcmp(entry + length + 1, kUntouched[k][1]) == 0;
            }
        }
        if (seen < kUntouchedCount) {
            atomic_fetch_add(&race->faults, 1);
        }
        atomic_fetch_add(&race->walks, 1);
    }
    return NULL;
}

static void* spawnChildren(void* argument) {
    Race* race = argument;
    while (!atomic_load(&race->done)) {
        if (runShell("test \"$ZK7M_KEEP_0\" = 'kept 0' && test \"$ZK7M_KEEP_1\" = \"$1\"", kUntouched[1][1]) != 0) {
            atomic_fetch_add(&race->faults, 1);
        }
        atomic_fetch_add(&race->children, 1);
    }
    return NULL;
}

static void readersDuringChanges(const Copy* copy) {
    const char* test = "readers during changes";
    char assignment[128];
    for (int k = 0; k < kUntouchedCount; ++k) {
        snprintf(assignment, sizeof assignment, "%s=%s", kUntouched[k][0], kUntouched[k][1]);
        put(copy, assignment);
    }
    Race race = {0};
    pthread_t readers[3];
    long long start = nowMillis();
    pthread_create(&readers[0], NULL, lookUp, &race);
    pthread_create(&readers[1], NULL, walk, &race);
    pthread_create(&readers[2], NULL, spawnChildren, &race);
    const int names = 3000;
    long changes = 0;
    int refused = 0;
    const char* values[] = {"added", "replaced \xd0\xb6", ""};
    for (int pass = 0; pass < 3; ++pass) {
        for (int i = 0; i < names; ++i, ++changes) {
            snprintf(assignment, sizeof assignment, "ZK7M_R%d=%s", i, values[pass]);
            refused += !put(copy, assignment);
        }
    }
    /* Then one name set and removed, until every reader has made its least progress. */
    const char* stalled = NULL;
    for (long i = 0;; ++i, ++changes) {
        if (i >= 7 * names) {
            stalled = atomic_load(&race.lookups) < 2000 ? "the getenv thread"
                      : atomic_load(&race.walks) < 200   ? "the walking thread"
                      : atomic_load(&race.children) < 10 ? "the spawning thread"
                                                         : NULL;
            if (stalled == NULL || nowMillis() - start > 120000) {
                break;
            }
        }
        refused += !put(copy, i % 2 == 0 ? "ZK7M_ONE=flip" : "ZK7M_ONE=");
    }
    atomic_store(&race.done, 1);
    for (int r = 0; r < 3; ++r) {
        pthread_join(readers[r], NULL);
    }
    char what[512];
    snprintf(what, sizeof what, "%ld changes in %lld ms; %ld musl getenv lookups, %ld walks, %ld children; %ld faults, %d refused",
             changes, nowMillis() - start, atomic_load(&race.lookups), atomic_load(&race.walks),
             atomic_load(&race.children), atomic_load(&race.faults), refused);
    if (stalled != NULL) {
        char why[640];
        snprintf(why, sizeof why, "%s made too little progress: %s", stalled, what);
        fail(test, why);
    } else if (atomic_load(&race.faults) != 0 || refused != 0) {
        fail(test, what);
    } else {
        printf("ok   %s: %s\n", test, what);
    }
    for (int k = 0; k < kUntouchedCount; ++k) {
        snprintf(assignment, sizeof assignment, "%s=", kUntouched[k][0]);
        put(copy, assignment);
    }
}

/* Two threads adding names through two copies, each until both have added their least. */
typedef struct {
    const Copy* copy;
    char tag;
    atomic_long* added;
    const atomic_long* otherAdded;
    int refused;
} Adder;

enum { kAddedEach = 4000 };

static void* addNames(void* argument) {
    Adder* adder = argument;
    long long start = nowMillis();
    for (long i = 0; i < kAddedEach || (atomic_load(adder->otherAdded) < kAddedEach && nowMillis() - start < 120000);
         ++i) {
        char assignment[64];
        snprintf(assignment, sizeof assignment, "ZK7M_%c%ld=\xd0\xb6%c%ld", adder->tag, i, adder->tag, i);
        adder->refused += !put(adder->copy, assignment);
        atomic_fetch_add(adder->added, 1);
    }
    return NULL;
}

static void twoCopies(const Copy* first, const Copy* second) {
    const char* test = "two copies";
    Dl_info firstInfo;
    Dl_info secondInfo;
    if (first->handle == second->handle || !dladdr((void*)first->natives.getenv0, &firstInfo) ||
        !dladdr((void*)second->natives.getenv0, &secondInfo) || firstInfo.dli_fbase == secondInfo.dli_fbase) {
        fail(test, "the two folders' libraries are not two loaded copies");
        return;
    }
    atomic_long added[2] = {0, 0};
    Adder adders[2] = {{first, 'A', &added[0], &added[1], 0}, {second, 'B', &added[1], &added[0], 0}};
    pthread_t threads[2];
    long long start = nowMillis();
    for (int a = 0; a < 2; ++a) {
        pthread_create(&threads[a], NULL, addNames, &adders[a]);
    }
    for (int a = 0; a < 2; ++a) {
        pthread_join(threads[a], NULL);
    }
    long long millis = nowMillis() - start;
    long lost = 0;
    long stayed = 0;
    for (int a = 0; a < 2; ++a) {
        for (long i = 0; i < atomic_load(&added[a]); ++i) {
            char name[32];
            char value[32];
            snprintf(name, sizeof name, "ZK7M_%c%ld", adders[a].tag, i);
            snprintf(value, sizeof value, "\xd0\xb6%c%ld", adders[a].tag, i);
            lost += !gets(first, name, value) + !gets(second, name, value) + !muslHolds(name, value);
        }
    }
    for (int a = 0; a < 2; ++a) {
        for (long i = 0; i < atomic_load(&added[a]); ++i) {
            char name[32];
            char assignment[40];
            snprintf(name, sizeof name, "ZK7M_%c%ld", adders[a].tag, i);
            snprintf(assignment, sizeof assignment, "%s=", name);
            put(second, assignment);
            stayed += !gets(first, name, NULL) || !muslHolds(name, NULL);
        }
    }
    char what[512];
    snprintf(what, sizeof what, "%ld and %ld names added at once through copies in %s and %s in %lld ms; %ld reads lost, "
             "%ld removals not seen, %d refused", atomic_load(&added[0]), atomic_load(&added[1]), first->folder,
             second->folder, millis, lost, stayed, adders[0].refused + adders[1].refused);
    if (atomic_load(&added[0]) < kAddedEach || atomic_load(&added[1]) < kAddedEach || lost != 0 || stayed != 0 ||
        adders[0].refused + adders[1].refused != 0) {
        fail(test, what);
    } else {
        printf("ok   %s: %s\n", test, what);
    }
}

static void allocator(const Copy* copy) {
    const char* test = "allocator";
    char path[] = "/tmp/zk7m-stderr-XXXXXX";
    int file = mkstemp(path);
    fflush(stderr);
    int saved = dup(2);
    dup2(file, 2);
    void* none = copy->sMalloc(SIZE_MAX);
    void* empty = copy->sMalloc(0);
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    char written[256] = {0};
    ssize_t length = pread(file, written, sizeof written - 1, 0);
    close(file);
    unlink(path);
    char expected[128];
    snprintf(expected, sizeof expected, "Malloc for %zu bytes failed\nAbout to crash\n", (size_t)SIZE_MAX);
    if (none != NULL || length != (ssize_t)strlen(expected) || strcmp(written, expected) != 0) {
        fail(test, "a failed sMalloc does not return null and print its two lines exactly");
    }
    copy->sFree(empty);
    char* duplicate = copy->sStrdup("\xc3\xa9t\xc3\xa9");
    if (duplicate == NULL || strcmp(duplicate, "\xc3\xa9t\xc3\xa9") != 0 || copy->sStrdup(NULL) != NULL) {
        fail(test, "sStrdup");
    }
    copy->sFree(duplicate);
    copy->sFree(NULL);
    printf("ok   %s: \"Malloc for %zu bytes failed\" / \"About to crash\" byte for byte, sStrdup and sFree\n", test,
           (size_t)SIZE_MAX);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: zknative7_musl_test LIBRARY\n");
        return 2;
    }
    setUpJni();
    Copy first = {0};
    Copy second = {0};
    if (!loadCopy(argv[1], &first) || !loadCopy(argv[1], &second)) {
        fail("loading", "a copy did not load or lacks an export");
        return 1;
    }
    roundTrips(&first);
    listing(&second);
    children(&first);
    readersDuringChanges(&second);
    twoCopies(&first, &second);
    allocator(&first);
    removeCopy(&first);
    removeCopy(&second);
    printf("%s: %d failed\n", failures == 0 ? "passed" : "FAILED", failures);
    return failures == 0 ? 0 : 1;
}
