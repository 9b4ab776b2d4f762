// The process environment on POSIX hosts: UTF-16 names and values kept as WTF-8 bytes.
#include "host_env.h"
#include "ascii_string.h"
#include "assignment.h"
#include "environ_publication.h"
#include "held_entries.h"
#include "jdk_view.h"
#include "serving_copy.h"
#include "stack_buffers.h"
#include "string_array.h"
#include "wide_string.h"
#include "wtf8.h"
#include "zknative7_alloc.h"

#include <cstdint>
#include <cstring>

namespace {

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

jobject entryString(JNIEnv* env, jclass stringClass, const void* entries, size_t index) {
    const char* entry = static_cast<const char* const*>(entries)[index];
    return javaStringOf(env, entry, std::strlen(entry), stringClass, nullptr);
}

}  // namespace

jstring hostGetenv(JNIEnv* env, jstring nameString, jsize length) {
    // The name's units straight onto the stack, in one copy the JVM makes (widening a Latin-1
    // String as it goes): no heap block and no release, but for a name too long for the stack.
    size_t units = static_cast<size_t>(length);
    jchar nameStack[kNameStackUnits];
    // The heap block keeps room for a terminator, so that a failure names the size it always did.
    jchar* name = units <= kNameStackUnits ? nameStack
                  : units < SIZE_MAX / sizeof(jchar) ? static_cast<jchar*>(sMalloc((units + 1) * sizeof(jchar)))
                                                     : nullptr;
    if (name == nullptr) {
        return nullptr;
    }
    // The region is the whole string as the JVM measured it, so the copy has nothing to throw.
    env->GetStringRegion(nameString, 0, length, name);
    size_t nameUnits = variableNameUnits(name, units);
    jstring value = nullptr;
    if (nameUnits > 0) {
        // A name that fits the stack in units fits it in bytes too.
        char bytesStack[kStackBytes];
        size_t capacity = encodedCapacity(nameUnits, 1);
        char* encoded = capacity == 0 ? nullptr : static_cast<char*>(scratch(bytesStack, capacity));
        const char* stored =
            encoded == nullptr ? nullptr : shared().publishedValue(encoded, wtf8Encode(name, nameUnits, encoded));
        if (encoded != nullptr) {
            releaseScratch(encoded, bytesStack);
        }
        value = stored == nullptr ? nullptr : javaStringOf(env, stored, std::strlen(stored), nullptr, nameString);
    }
    if (name != nameStack) {
        sFree(name);
    }
    return value;
}

namespace {

// The JDK's copy starts from every variable published now: each entry's bytes, decoded.
jstring followPublishedVariables(JNIEnv* env, jobject environment, jobject caseInsensitive, jclass variable, jclass value) {
    size_t count = 0;
    const char** entries = shared().publishedVariables(&count);
    size_t bytes = 0;
    for (size_t i = 0; entries != nullptr && i < count; ++i) {
        bytes += std::strlen(entries[i]);
    }
    // Decoding never yields more units than it reads bytes.
    auto* units = static_cast<jchar*>(entries == nullptr ? nullptr : sMalloc(bytes * sizeof(jchar) + sizeof(jchar)));
    auto* variables = static_cast<JdkVariable*>(units == nullptr ? nullptr : sMalloc(count * sizeof(JdkVariable) + 1));
    jstring failed = nullptr;
    if (variables == nullptr) {
        failed = env->NewStringUTF("no room to copy the environment");
    } else {
        jchar* next = units;
        for (size_t i = 0; i < count; ++i) {
            const char* entry = entries[i];
            size_t nameBytes = static_cast<size_t>(std::strchr(entry, '=') - entry);
            const char* valueBytes = entry + nameBytes + 1;
            size_t valueByteCount = std::strlen(valueBytes);
            JdkVariable& listed = variables[i];
            listed.name = next;
            listed.nameUnits = wtf8Decode(entry, nameBytes, next);
            next += listed.nameUnits;
            listed.value = next;
            listed.valueUnits = wtf8Decode(valueBytes, valueByteCount, next);
            next += listed.valueUnits;
            listed.nameBytes = entry;
            listed.nameByteCount = nameBytes;
            listed.valueBytes = valueBytes;
            listed.valueByteCount = valueByteCount;
        }
        failed = shared().followJdkView(env, environment, caseInsensitive, variable, value, variables, count);
    }
    sFree(variables);
    sFree(units);
    sFree(entries);
    return failed;
}

}  // namespace

jstring hostFollowJdk(JNIEnv* env, jobject environment, jobject caseInsensitive, jclass variable, jclass value) {
    shared().lock();
    jstring failed = environment == nullptr ? shared().followJdkView(env, nullptr, nullptr, nullptr, nullptr, nullptr, 0)
                                            : followPublishedVariables(env, environment, caseInsensitive, variable, value);
    shared().unlock();
    return failed;
}

jobjectArray hostEnviron(JNIEnv* env) {
    size_t count = 0;
    const char** entries = shared().publishedVariables(&count);
    if (entries == nullptr) {
        return nullptr;
    }
    jobjectArray listed = newStringArray(env, count, entryString, entries);
    sFree(entries);
    return listed;
}

namespace {

// Publishes `entry` ("NAME=VALUE\0", `nameBytes` then the rest) or, with `removal`, removes NAME,
// under the serving copy's lock; the followed JDK copy gets the same change, in the units given,
// and when it cannot, the caller is told by an IllegalStateException.
bool publish(JNIEnv* env, const char* entry, size_t nameBytes, size_t entryBytes, bool removal, const jchar* name,
             size_t nameUnits, const jchar* value, size_t valueUnits) {
    const ServingContract& serving = shared();
    serving.lock();
    bool applied = removal ? serving.publishRemoval(entry, nameBytes) : serving.publishAssignment(entry, entryBytes, nameBytes);
    bool followed = true;
    if (applied && serving.jdkViewFollowed()) {
        const char* valueBytes = entry + nameBytes + 1;
        JdkVariable changed = {name,  nameUnits, removal ? nullptr : value, valueUnits, entry, nameBytes,
                               valueBytes, removal ? 0 : entryBytes - nameBytes - 1};
        followed = serving.followAssignment(env, &changed);
    }
    serving.unlock();
    if (!followed) {
        reportFollowingLost(env);
    }
    return applied;
}

HeldVariable heldOf(const char* entry) {
    size_t nameBytes = static_cast<size_t>(std::strchr(entry, '=') - entry);
    return HeldVariable{entry, nameBytes, entry + nameBytes + 1, std::strlen(entry + nameBytes + 1)};
}

}  // namespace

bool hostPutenv(JNIEnv* env, const jchar* assignment) {
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
    bool applied = publish(env, encoded, nameBytes, entryBytes, valueUnits == 0, assignment, nameUnits,
                           assignment + nameUnits + 1, valueUnits);
    releaseScratch(encoded, stack);
    return applied;
}

jobjectArray hostHeldEntries(JNIEnv* env) {
    size_t count = 0;
    const char** entries = shared().publishedVariables(&count);
    auto* held = static_cast<HeldVariable*>(entries == nullptr ? nullptr : sMalloc(count * sizeof(HeldVariable) + 1));
    jobjectArray made = nullptr;
    if (held != nullptr) {
        for (size_t i = 0; i < count; ++i) {
            held[i] = heldOf(entries[i]);
        }
        made = newHeldArray(env, held, count);
    }
    sFree(held);
    sFree(entries);
    return made;
}

jobjectArray hostHeldVariable(JNIEnv* env, jstring nameString, jsize length) {
    size_t units = static_cast<size_t>(length);
    auto* name = static_cast<jchar*>(units < SIZE_MAX / sizeof(jchar) ? sMalloc(units * sizeof(jchar)) : nullptr);
    size_t capacity = encodedCapacity(units, 1);
    char* encoded = name == nullptr || capacity == 0 ? nullptr : static_cast<char*>(sMalloc(capacity));
    jobjectArray made = nullptr;
    if (encoded != nullptr) {
        env->GetStringRegion(nameString, 0, length, name);
        size_t nameUnits = variableNameUnits(name, units);
        size_t nameBytes = wtf8Encode(name, nameUnits, encoded);
        const char* value = nameUnits == 0 ? nullptr : shared().publishedValue(encoded, nameBytes);
        HeldVariable held = {encoded, nameBytes, value, value == nullptr ? 0 : std::strlen(value)};
        made = newHeldArray(env, &held, value == nullptr ? 0 : 1);
    }
    sFree(encoded);
    sFree(name);
    return made;
}

bool hostPutHeld(JNIEnv* env, const char* name, size_t nameBytes, const char* value, size_t valueBytes) {
    if (nameBytes == 0 || std::memchr(name, '=', nameBytes) != nullptr || std::strlen(name) != nameBytes ||
        (value != nullptr && std::strlen(value) != valueBytes)) {
        return false;
    }
    size_t entryBytes = nameBytes + 1 + (value == nullptr ? 0 : valueBytes);
    // The entry, then room to decode its bytes for the JDK's copy: never more units than bytes.
    auto* entry = static_cast<char*>(entryBytes < SIZE_MAX / 4 ? sMalloc(entryBytes + 1) : nullptr);
    auto* units = static_cast<jchar*>(entry == nullptr ? nullptr : sMalloc(entryBytes * sizeof(jchar) + 1));
    bool applied = false;
    if (units != nullptr) {
        std::memcpy(entry, name, nameBytes);
        entry[nameBytes] = '=';
        std::memcpy(entry + nameBytes + 1, value == nullptr ? "" : value, entryBytes - nameBytes - 1);
        entry[entryBytes] = '\0';
        size_t nameUnits = wtf8Decode(name, nameBytes, units);
        size_t valueUnits = value == nullptr ? 0 : wtf8Decode(value, valueBytes, units + nameUnits);
        applied = publish(env, entry, nameBytes, entryBytes, value == nullptr, units, nameUnits, units + nameUnits, valueUnits);
    }
    sFree(units);
    sFree(entry);
    return applied;
}

bool hostCompact(JNIEnv* /*env*/) {
    const ServingContract& serving = shared();
    serving.lock();
    bool compacted = serving.publishCompacted();
    serving.unlock();
    return compacted;
}
