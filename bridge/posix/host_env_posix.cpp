// The process environment on POSIX hosts: UTF-16 names and values kept as WTF-8 bytes.
#include "host_env.h"
#include "ascii_string.h"
#include "assignment.h"
#include "environ_publication.h"
#include "string_array.h"
#include "wide_string.h"
#include "wtf8.h"
#include "zknative7_alloc.h"

#include <cstdint>
#include <cstring>
#include <pthread.h>

namespace {

// Orders this library's assignments, which read, then change, the published environment; lookups
// need no lock, as nothing they read is ever freed. Every copy of the library in the process calls
// the first one's natives, so this is the process's one lock. A plain pthread mutex: std::mutex
// would bring in libstdc++'s exceptions, which the library neither links nor lets reach the JVM.
pthread_mutex_t environmentLock = PTHREAD_MUTEX_INITIALIZER;

// Short names and values are transcoded on the stack; only longer ones touch the heap.
constexpr size_t kStackBytes = 512;

// `stackBuffer` when `bytes` fit in it, else a heap block; null when the heap is exhausted.
void* scratch(void* stackBuffer, size_t bytes) {
    return bytes <= kStackBytes ? stackBuffer : sMalloc(bytes);
}

void releaseScratch(void* buffer, void* stackBuffer) {
    if (buffer != stackBuffer) {
        sFree(buffer);
    }
}

// Room for the WTF-8 form of `units` units plus `terminators` NULs; zero when that would overflow.
size_t encodedCapacity(size_t units, size_t terminators) {
    if (units > (SIZE_MAX - terminators) / kWtf8MaxBytesPerUnit) {
        return 0;
    }
    return units * kWtf8MaxBytesPerUnit + terminators;
}

// The Java string of stored bytes[0, bytes), NUL-terminated there: ASCII as it stands, anything else
// decoded from WTF-8. A long ASCII value needs String's class: `stringClass`, or else that of
// `anyString`.
jstring javaStringOf(JNIEnv* env, const char* stored, size_t bytes, jclass stringClass, jstring anyString) {
    if (isAscii(stored, bytes)) {
        if (bytes < kAsciiThroughArrayBytes) {
            return env->NewStringUTF(stored);
        }
        jclass found = stringClass != nullptr ? stringClass : env->GetObjectClass(anyString);
        jstring made = found == nullptr || bytes > INT32_MAX ? nullptr
                                                            : newStringFromAscii(env, found, stored, static_cast<jsize>(bytes));
        if (found != stringClass) {
            env->DeleteLocalRef(found);
        }
        return made;
    }
    // Decoding never yields more units than it reads bytes.
    jchar valueStack[kStackBytes / sizeof(jchar)];
    jchar* value = bytes <= SIZE_MAX / sizeof(jchar) ? static_cast<jchar*>(scratch(valueStack, bytes * sizeof(jchar))) : nullptr;
    if (value == nullptr) {
        return nullptr;
    }
    size_t valueUnits = wtf8Decode(stored, bytes, value);
    jstring result = valueUnits <= INT32_MAX ? env->NewString(value, static_cast<jsize>(valueUnits)) : nullptr;
    releaseScratch(value, valueStack);
    return result;
}

jstring entryString(JNIEnv* env, jclass stringClass, const void* entries, size_t index) {
    const char* entry = static_cast<const char* const*>(entries)[index];
    return javaStringOf(env, entry, std::strlen(entry), stringClass, nullptr);
}

}  // namespace

jstring hostGetenv(JNIEnv* env, jstring nameString, const jchar* name, size_t nameUnits) {
    size_t nameCapacity = encodedCapacity(nameUnits, 1);
    char nameStack[kStackBytes];
    char* encodedName = nameCapacity == 0 ? nullptr : static_cast<char*>(scratch(nameStack, nameCapacity));
    if (encodedName == nullptr) {
        return nullptr;
    }
    const char* stored = publishedValue(encodedName, wtf8Encode(name, nameUnits, encodedName));
    releaseScratch(encodedName, nameStack);
    return stored == nullptr ? nullptr : javaStringOf(env, stored, std::strlen(stored), nullptr, nameString);
}

jobjectArray hostEnviron(JNIEnv* env) {
    size_t count = 0;
    const char** entries = publishedVariables(&count);
    if (entries == nullptr) {
        return nullptr;
    }
    jobjectArray listed = newStringArray(env, count, entryString, entries);
    sFree(entries);
    return listed;
}

bool hostPutenv(const jchar* assignment) {
    size_t units = wideLength(assignment);
    size_t nameUnits = assignmentNameUnits(assignment, units);
    if (nameUnits == 0) {
        return false;  // an empty name, or no '=': refused, as the Windows runtime does
    }
    size_t valueUnits = units - nameUnits - 1;

    // "NAME=VALUE\0", the form the environment keeps.
    size_t capacity = encodedCapacity(units, 1);
    char stack[kStackBytes];
    char* encoded = capacity == 0 ? nullptr : static_cast<char*>(scratch(stack, capacity));
    if (encoded == nullptr) {
        return false;
    }
    size_t nameBytes = wtf8Encode(assignment, nameUnits, encoded);
    encoded[nameBytes] = '=';
    size_t entryBytes = nameBytes + 1 + wtf8Encode(assignment + nameUnits + 1, valueUnits, encoded + nameBytes + 1);
    encoded[entryBytes] = '\0';

    pthread_mutex_lock(&environmentLock);
    bool applied = valueUnits == 0 ? publishRemoval(encoded, nameBytes) : publishAssignment(encoded, entryBytes, nameBytes);
    pthread_mutex_unlock(&environmentLock);
    releaseScratch(encoded, stack);
    return applied;
}
