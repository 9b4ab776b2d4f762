// Copies a Java string into a NUL-terminated UTF-16 block from sMalloc.
#include "wide_string.h"

#include "zknative7_alloc.h"

#include <cstdint>
#include <cstring>

jchar* jstringToWide(JNIEnv* env, jstring jstr) {
    if (jstr == nullptr) {
        return nullptr;
    }
    return jstringOfLengthToWide(env, jstr, env->GetStringLength(jstr));
}

jchar* jstringOfLengthToWide(JNIEnv* env, jstring jstr, jsize length) {
    const jchar* chars = env->GetStringChars(jstr, nullptr);
    if (chars == nullptr) {
        return nullptr;
    }
    jchar* wide = nullptr;
    // A negative or huge length must not become a short block that the copy then overruns.
    if (length >= 0 && static_cast<uint64_t>(length) <= (SIZE_MAX - sizeof(jchar)) / sizeof(jchar)) {
        size_t units = static_cast<size_t>(length);
        wide = static_cast<jchar*>(sMalloc(units * sizeof(jchar) + sizeof(jchar)));
        if (wide != nullptr) {
            std::memcpy(wide, chars, units * sizeof(jchar));
            wide[units] = 0;
        }
    }
    env->ReleaseStringChars(jstr, chars);
    return wide;
}

void freeWide(JNIEnv* /*env*/, jchar* wide) {
    if (wide != nullptr) {
        sFree(wide);
    }
}

size_t wideLength(const jchar* wide) {
    size_t units = 0;
    while (wide[units] != 0) {
        ++units;
    }
    return units;
}
