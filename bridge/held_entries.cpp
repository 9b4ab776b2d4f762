// Byte arrays to and from Java for the entries as the host holds them.
#include "held_entries.h"
#include "string_array.h"
#include "zknative7_alloc.h"

#include <cstdint>

namespace {

// Element `index` of the byte[][]: variable index / 2's name, or its value.
jobject heldElement(JNIEnv* env, jclass /*bytesClass*/, const void* items, size_t index) {
    const HeldVariable& variable = static_cast<const HeldVariable*>(items)[index / 2];
    const void* bytes = index % 2 == 0 ? variable.name : variable.value;
    size_t count = index % 2 == 0 ? variable.nameBytes : variable.valueBytes;
    if (count > INT32_MAX) {
        return nullptr;
    }
    jbyteArray made = env->NewByteArray(static_cast<jsize>(count));
    if (made != nullptr) {
        env->SetByteArrayRegion(made, 0, static_cast<jsize>(count), static_cast<const jbyte*>(bytes));
    }
    return made;
}

}  // namespace

jobjectArray newHeldArray(JNIEnv* env, const HeldVariable* variables, size_t count) {
    return count > INT32_MAX / 2 ? nullptr : newObjectArray(env, "[B", 2 * count, heldElement, variables);
}

char* heldBytesOf(JNIEnv* env, jbyteArray array, size_t* bytes) {
    if (array == nullptr) {
        return nullptr;
    }
    jsize length = env->GetArrayLength(array);
    auto* copy = static_cast<char*>(length < 0 ? nullptr : sMalloc(static_cast<size_t>(length) + 1));
    if (copy != nullptr) {
        env->GetByteArrayRegion(array, 0, length, reinterpret_cast<jbyte*>(copy));
        copy[length] = '\0';
        *bytes = static_cast<size_t>(length);
    }
    return copy;
}
