// Fills a new array of objects one element at a time.
#include "string_array.h"

#include <cstdint>

jobjectArray newObjectArray(JNIEnv* env, const char* className, size_t count, Element element, const void* items) {
    if (count > INT32_MAX) {
        return nullptr;
    }
    jclass elementClass = env->FindClass(className);
    if (elementClass == nullptr) {
        return nullptr;
    }
    jobjectArray array = env->NewObjectArray(static_cast<jsize>(count), elementClass, nullptr);
    for (size_t i = 0; array != nullptr && i < count; ++i) {
        jobject made = element(env, elementClass, items, i);
        if (made == nullptr) {
            env->DeleteLocalRef(array);
            array = nullptr;
            break;
        }
        env->SetObjectArrayElement(array, static_cast<jsize>(i), made);
        env->DeleteLocalRef(made);
    }
    env->DeleteLocalRef(elementClass);
    return array;
}
