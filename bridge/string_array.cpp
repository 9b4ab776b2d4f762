// Fills a new String[] one element at a time.
#include "string_array.h"

#include <cstdint>

jobjectArray newStringArray(JNIEnv* env, size_t count, ElementString element, const void* items) {
    if (count > INT32_MAX) {
        return nullptr;
    }
    jclass stringClass = env->FindClass("java/lang/String");
    if (stringClass == nullptr) {
        return nullptr;
    }
    jobjectArray array = env->NewObjectArray(static_cast<jsize>(count), stringClass, nullptr);
    for (size_t i = 0; array != nullptr && i < count; ++i) {
        jstring made = element(env, stringClass, items, i);
        if (made == nullptr) {
            env->DeleteLocalRef(array);
            array = nullptr;
            break;
        }
        env->SetObjectArrayElement(array, static_cast<jsize>(i), made);
        env->DeleteLocalRef(made);
    }
    env->DeleteLocalRef(stringClass);
    return array;
}
