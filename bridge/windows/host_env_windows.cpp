// The process environment on Windows: the C runtime's own UTF-16 functions, under one lock, with
// every assignment passed on to each other C runtime loaded in the process.
#include "host_env.h"
#include "assignment.h"
#include "held_entries.h"
#include "jdk_view.h"
#include "serving_copy.h"
#include "other_runtimes.h"
#include "string_array.h"
#include "wide_string.h"
#include "zknative7_alloc.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

static_assert(sizeof(wchar_t) == sizeof(jchar), "the runtime's wide strings are UTF-16");

namespace {

// Whether a lookup has run, after which the runtime's UTF-16 environment exists.
std::atomic<bool> wideEnvironmentBuilt(false);

// Windows keeps names and values in counted strings of at most 32,766 units. Past that, Wine's
// runtime stores a truncated value and reports success; Windows fails only after the runtime's
// own copy has changed. Neither may happen to a caller's data.
constexpr size_t kMaxUnits = 32766;

// Readers share the lock, but the runtime builds its UTF-16 environment at the first read, which
// must therefore run alone. True when this read holds the lock alone.
bool lockForReading() {
    bool alone = !wideEnvironmentBuilt.load(std::memory_order_acquire);
    if (alone) {
        shared().lock();
    } else {
        shared().lockShared();
    }
    return alone;
}

// Under the lock held alone: readers may share it from now on.
void markWideEnvironmentBuilt() {
    if (!wideEnvironmentBuilt.load(std::memory_order_relaxed)) {
        _wgetenv(L"PATH");  // not every read that held the lock alone made the runtime build it
        wideEnvironmentBuilt.store(true, std::memory_order_release);
    }
}

void unlockAfterReading(bool alone) {
    if (alone) {
        markWideEnvironmentBuilt();
        shared().unlock();
    } else {
        shared().unlockShared();
    }
}

jstring wideString(JNIEnv* env, const wchar_t* text) {
    size_t units = wcslen(text);
    return units <= INT_MAX ? env->NewString(reinterpret_cast<const jchar*>(text), static_cast<jsize>(units)) : nullptr;
}

jobject entryString(JNIEnv* env, jclass /*stringClass*/, const void* entries, size_t index) {
    return wideString(env, static_cast<const wchar_t* const*>(entries)[index]);
}

// Units before the entry's first '='; zero when it has no name (no '=', or the hidden "=C:=C:\\..."
// entries, which start with one).
size_t nameUnitsOf(const wchar_t* entry) {
    const wchar_t* equals = wcschr(entry, L'=');
    return equals == nullptr ? 0 : static_cast<size_t>(equals - entry);
}

// Orders entries by name as _wgetenv matches names, without regard to case, then by place.
int compareByName(const wchar_t* a, size_t aUnits, const wchar_t* b, size_t bUnits) {
    int order = _wcsnicmp(a, b, aUnits < bUnits ? aUnits : bUnits);
    return order != 0 ? order : aUnits < bUnits ? -1 : aUnits > bUnits ? 1 : 0;
}

// Fills `listed` with table's entries that have a name, each name once: its first entry, the one
// _wgetenv finds, in table order. `byName` is room for `count` places. Returns how many it listed.
size_t variablesOf(const wchar_t* const* table, size_t count, size_t* byName, const wchar_t** listed) {
    size_t named = 0;
    for (size_t i = 0; i < count; ++i) {
        if (nameUnitsOf(table[i]) > 0) {
            byName[named++] = i;
        }
    }
    std::sort(byName, byName + named, [table](size_t a, size_t b) {
        int order = compareByName(table[a], nameUnitsOf(table[a]), table[b], nameUnitsOf(table[b]));
        return order != 0 ? order < 0 : a < b;
    });
    // A later entry of a name already seen is left out; the first of each name stays, marked by a
    // null in `listed` until the table-order pass below.
    for (size_t i = 0; i < count; ++i) {
        listed[i] = nullptr;
    }
    for (size_t i = 0; i < named; ++i) {
        bool repeat = i > 0 && compareByName(table[byName[i - 1]], nameUnitsOf(table[byName[i - 1]]), table[byName[i]],
                                             nameUnitsOf(table[byName[i]])) == 0;
        if (!repeat) {
            listed[byName[i]] = table[byName[i]];
        }
    }
    size_t kept = 0;
    for (size_t i = 0; i < count; ++i) {
        if (listed[i] != nullptr) {
            listed[kept++] = listed[i];
        }
    }
    return kept;
}

// The runtime's entries that have a name, each name once (as variablesOf keeps them), in a new
// array from sMalloc; null when the heap is exhausted. Under the lock, held alone by the first read.
const wchar_t** listedEntries(size_t* count) {
    if (!wideEnvironmentBuilt.load(std::memory_order_acquire)) {
        _wgetenv(L"PATH");  // makes the runtime build its UTF-16 table
    }
    const wchar_t* const* table = _wenviron;
    size_t entries = 0;
    while (table != nullptr && table[entries] != nullptr) {
        ++entries;
    }
    auto* listed = static_cast<const wchar_t**>(sMalloc((entries + 1) * sizeof(wchar_t*)));
    auto* byName = static_cast<size_t*>(sMalloc((entries + 1) * sizeof(size_t)));
    if (listed != nullptr && byName != nullptr) {
        *count = variablesOf(table, entries, byName, listed);
    } else {
        sFree(listed);
        listed = nullptr;
    }
    sFree(byName);
    return listed;
}

// The name of the entry whose value _wgetenv returned, as the runtime spells it: put back under
// the spelling asked for, the runtime would respell the variable. `asked` when none is found.
const void* storedNameOf(const wchar_t* value, size_t nameUnits, const void* asked) {
    auto at = reinterpret_cast<uintptr_t>(value);
    for (const wchar_t* const* entry = _wenviron; value != nullptr && entry != nullptr && *entry != nullptr; ++entry) {
        if (at - reinterpret_cast<uintptr_t>(*entry) == (nameUnits + 1) * sizeof(wchar_t)) {
            return *entry;
        }
    }
    return asked;
}

// The JDK's copy starts from every variable listed now.
jstring followListedVariables(JNIEnv* env, jobject environment, jobject caseInsensitive, jclass variable, jclass value) {
    size_t count = 0;
    const wchar_t** listed = listedEntries(&count);
    auto* variables = static_cast<JdkVariable*>(listed == nullptr ? nullptr : sMalloc(count * sizeof(JdkVariable) + 1));
    jstring failed = nullptr;
    if (variables == nullptr) {
        failed = env->NewStringUTF("no room to copy the environment");
    } else {
        for (size_t i = 0; i < count; ++i) {
            const auto* entry = reinterpret_cast<const jchar*>(listed[i]);
            size_t nameUnits = nameUnitsOf(listed[i]);
            variables[i] = JdkVariable{entry, nameUnits, entry + nameUnits + 1, wcslen(listed[i] + nameUnits + 1),
                                       nullptr, 0, nullptr, 0};
        }
        failed = shared().followJdkView(env, environment, caseInsensitive, variable, value, variables, count);
    }
    sFree(variables);
    sFree(listed);
    return failed;
}

}  // namespace

jstring hostGetenv(JNIEnv* env, jstring name, jsize length) {
    // The runtime's wide functions take a NUL-terminated copy of the name.
    jchar* wideName = jstringOfLengthToWide(env, name, length);
    jstring result = nullptr;
    if (wideName != nullptr && variableNameUnits(wideName, static_cast<size_t>(length)) > 0) {
        bool alone = lockForReading();
        const wchar_t* value = _wgetenv(reinterpret_cast<const wchar_t*>(wideName));
        result = value == nullptr ? nullptr : wideString(env, value);
        unlockAfterReading(alone);
    }
    freeWide(env, wideName);
    return result;
}

jobjectArray hostEnviron(JNIEnv* env) {
    bool alone = lockForReading();
    size_t count = 0;
    // The table's strings are the runtime's, freed by the next assignment: copied under the lock.
    const wchar_t** listed = listedEntries(&count);
    jobjectArray made = listed == nullptr ? nullptr : newStringArray(env, count, entryString, listed);
    sFree(listed);
    unlockAfterReading(alone);
    return made;
}

jstring hostFollowJdk(JNIEnv* env, jobject environment, jobject caseInsensitive, jclass variable, jclass value) {
    shared().lock();
    jstring failed = environment == nullptr ? shared().followJdkView(env, nullptr, nullptr, nullptr, nullptr, nullptr, 0)
                                            : followListedVariables(env, environment, caseInsensitive, variable, value);
    markWideEnvironmentBuilt();
    shared().unlock();
    return failed;
}

bool hostPutenv(JNIEnv* env, const jchar* assignment) {
    size_t units = wideLength(assignment);
    size_t nameUnits = assignmentNameUnits(assignment, units);
    // Without a name it is no assignment, which the runtime refuses itself.
    size_t valueUnits = nameUnits == 0 ? 0 : units - nameUnits - 1;
    if (nameUnits > kMaxUnits || valueUnits > kMaxUnits) {
        return false;
    }
    const ServingContract& serving = shared();
    serving.lock();
    bool applied = _wputenv(reinterpret_cast<const wchar_t*>(assignment)) == 0;
    bool followed = true;
    if (applied && nameUnits > 0) {
        putenvInOtherRuntimes(assignment, nameUnits);
        if (serving.jdkViewFollowed()) {
            JdkVariable changed = {assignment, nameUnits, valueUnits == 0 ? nullptr : assignment + nameUnits + 1,
                                   valueUnits, nullptr,   0,         nullptr,
                                   0};
            followed = serving.followAssignment(env, &changed);
        }
    }
    serving.unlock();
    if (!followed) {
        reportFollowingLost(env);
    }
    return applied;
}

jobjectArray hostHeldEntries(JNIEnv* env) {
    bool alone = lockForReading();
    size_t count = 0;
    const wchar_t** listed = listedEntries(&count);
    auto* held = static_cast<HeldVariable*>(listed == nullptr ? nullptr : sMalloc(count * sizeof(HeldVariable) + 1));
    jobjectArray made = nullptr;
    if (held != nullptr) {
        for (size_t i = 0; i < count; ++i) {
            size_t nameUnits = nameUnitsOf(listed[i]);
            held[i] = HeldVariable{listed[i], nameUnits * sizeof(wchar_t), listed[i] + nameUnits + 1,
                                   wcslen(listed[i] + nameUnits + 1) * sizeof(wchar_t)};
        }
        made = newHeldArray(env, held, count);
    }
    sFree(held);
    sFree(listed);
    unlockAfterReading(alone);
    return made;
}

jobjectArray hostHeldVariable(JNIEnv* env, jstring name, jsize length) {
    jchar* wideName = jstringOfLengthToWide(env, name, length);
    if (wideName == nullptr) {
        return nullptr;
    }
    size_t nameUnits = variableNameUnits(wideName, static_cast<size_t>(length));
    wideName[nameUnits] = 0;
    bool alone = lockForReading();
    const wchar_t* value = nameUnits == 0 ? nullptr : _wgetenv(reinterpret_cast<const wchar_t*>(wideName));
    HeldVariable held = {storedNameOf(value, nameUnits, wideName), nameUnits * sizeof(wchar_t), value,
                         value == nullptr ? 0 : wcslen(value) * sizeof(wchar_t)};
    jobjectArray made = newHeldArray(env, &held, value == nullptr ? 0 : 1);
    unlockAfterReading(alone);
    freeWide(env, wideName);
    return made;
}

bool hostPutHeld(JNIEnv* env, const char* name, size_t nameBytes, const char* value, size_t valueBytes) {
    size_t valueLength = value == nullptr ? 0 : valueBytes;
    if (nameBytes == 0 || nameBytes % sizeof(jchar) != 0 || valueLength % sizeof(jchar) != 0) {
        return false;
    }
    size_t nameUnits = nameBytes / sizeof(jchar);
    size_t valueUnits = valueLength / sizeof(jchar);
    auto* assignment = static_cast<jchar*>(nameUnits + valueUnits < kMaxUnits * 2 ? sMalloc((nameUnits + valueUnits + 2) * sizeof(jchar)) : nullptr);
    if (assignment == nullptr) {
        return false;
    }
    // Little-endian units, as Windows holds them.
    std::memcpy(assignment, name, nameBytes);
    assignment[nameUnits] = u'=';
    std::memcpy(assignment + nameUnits + 1, value == nullptr ? "" : value, valueLength);
    assignment[nameUnits + 1 + valueUnits] = 0;
    // A '=' or a zero unit in the name, or a zero unit in the value, would apply something else.
    bool exact = assignmentNameUnits(assignment, nameUnits + 1 + valueUnits) == nameUnits &&
                 wideLength(assignment) == nameUnits + 1 + valueUnits;
    bool applied = exact && hostPutenv(env, assignment);
    sFree(assignment);
    return applied;
}

bool hostCompact(JNIEnv* /*env*/) {
    return true;  // the runtime keeps each variable once
}
