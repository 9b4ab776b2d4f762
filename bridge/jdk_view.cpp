// Keeps the JDK's copy of the environment in step through JNI, which no module boundary stops.
#include "jdk_view.h"

#include <atomic>
#include <cstdint>

namespace {

// Where the followed copy is and how to change it: global references and the IDs that go with
// them. Written when following starts or stops and read by assignments, all under the environment
// lock; only the flag is read without it.
struct FollowedView {
    jclass owner;              // the class whose statics hold the JDK's maps
    jfieldID environment;      // its HashMap
    jfieldID caseInsensitive;  // its TreeMap, on the Windows shape; else null
    jclass variable;           // the Unix shape's key and value classes; else null
    jmethodID newVariable;
    jclass value;
    jmethodID newValue;
    jclass hashMap;
    jmethodID newHashMap;  // HashMap(int initialCapacity)
    jfieldID table;
    jfieldID size;
    jfieldID threshold;
    jclass treeMap;
    jmethodID newTreeMap;  // TreeMap(Comparator)
    jmethodID comparator;
    jmethodID floorKey;
    jfieldID root;
    jfieldID treeSize;
    jmethodID compare;  // Comparator.compare
    jmethodID put;      // Map's, for both maps
    jmethodID remove;
    jmethodID putAll;
};
FollowedView followedView;
std::atomic<bool> jdkViewFollowed(false);

// The least table length of a followed map, set when following starts and kept: a doubling is what
// an iterator must never meet. Below 64 HashMap doubles rather than make a full bucket a tree;
// 1024 keeps buckets short for the environments of thousands of names that are common enough.
constexpr jint kSmallestTable = 1024;

bool refused(JNIEnv* env) {
    return env->ExceptionCheck() == JNI_TRUE;
}

// The JDK's key or value for `units`: a String on the Windows shape; on the Unix shape an object
// of `type` made from that String and `bytes`, so that a child inherits exactly what is stored.
jobject jdkObject(JNIEnv* env, jclass type, jmethodID make, const jchar* units, size_t count, const char* bytes,
                  size_t byteCount) {
    jstring text = env->NewString(units, static_cast<jsize>(count));
    if (type == nullptr || text == nullptr) {
        return text;
    }
    jbyteArray stored = env->NewByteArray(static_cast<jsize>(byteCount));
    jobject made = nullptr;
    if (stored != nullptr) {
        env->SetByteArrayRegion(stored, 0, static_cast<jsize>(byteCount), reinterpret_cast<const jbyte*>(bytes));
        made = env->NewObject(type, make, text, stored);
        env->DeleteLocalRef(stored);
    }
    env->DeleteLocalRef(text);
    return made;
}

jobject keyOf(JNIEnv* env, const JdkVariable& variable) {
    const FollowedView& view = followedView;
    return jdkObject(env, view.variable, view.newVariable, variable.name, variable.nameUnits, variable.nameBytes,
                     variable.nameByteCount);
}

jobject valueOf(JNIEnv* env, const JdkVariable& variable) {
    const FollowedView& view = followedView;
    return jdkObject(env, view.value, view.newValue, variable.value, variable.valueUnits, variable.valueBytes,
                     variable.valueByteCount);
}

// A new HashMap holding `from`'s entries (none when null), its table exactly as long as `from`'s
// (or kSmallestTable, if shorter), and never to grow: every key then stays in the bucket it had,
// so an iterator that moves on into the new table meets each key it has not met once, and none
// twice. HashMap grows by its threshold alone; a full bucket becomes a tree instead.
jobject copyOfHashMap(JNIEnv* env, jobject from, bool withEntries) {
    const FollowedView& view = followedView;
    auto table = static_cast<jobjectArray>(env->GetObjectField(from, view.table));
    jint length = table == nullptr ? 0 : env->GetArrayLength(table);
    env->DeleteLocalRef(table);
    jobject copy = env->NewObject(view.hashMap, view.newHashMap, length < kSmallestTable ? kSmallestTable : length);
    if (copy != nullptr) {
        // The constructor keeps the length asked for in the threshold until the first put makes the table.
        env->DeleteLocalRef(env->CallObjectMethod(copy, view.put, nullptr, nullptr));
        if (!refused(env)) {
            env->DeleteLocalRef(env->CallObjectMethod(copy, view.remove, nullptr));
        }
        if (!refused(env)) {
            env->SetIntField(copy, view.threshold, INT32_MAX);
        }
    }
    if (copy != nullptr && withEntries && !refused(env)) {
        env->CallVoidMethod(copy, view.putAll, from);
    }
    return copy;
}

// A new TreeMap in `from`'s order, holding its entries when asked.
jobject copyOfTreeMap(JNIEnv* env, jobject from, jobject entries) {
    const FollowedView& view = followedView;
    jobject order = env->CallObjectMethod(from, view.comparator);
    jobject copy = refused(env) ? nullptr : env->NewObject(view.treeMap, view.newTreeMap, order);
    env->DeleteLocalRef(order);
    if (copy != nullptr && entries != nullptr) {
        env->CallVoidMethod(copy, view.putAll, entries);
    }
    return copy;
}

// Makes the JDK's map show `copy`'s entries. Its own table and nodes are never changed, so a reader
// holding them still sees every entry; the release fence publishes the copy's nodes, written by
// this thread, before the table that reaches them. The size goes first: an iterator of a map whose
// size reads 0 looks at no table.
void adoptHashMap(JNIEnv* env, jobject to, jobject copy) {
    const FollowedView& view = followedView;
    jint threshold = env->GetIntField(copy, view.threshold);
    jint size = env->GetIntField(copy, view.size);
    jobject table = env->GetObjectField(copy, view.table);
    std::atomic_thread_fence(std::memory_order_release);
    env->SetIntField(to, view.threshold, threshold);
    env->SetIntField(to, view.size, size);
    env->SetObjectField(to, view.table, table);
    env->DeleteLocalRef(table);
}

// The same for a TreeMap: an iterator walks the old nodes, which stay as they were.
void adoptTreeMap(JNIEnv* env, jobject to, jobject copy) {
    const FollowedView& view = followedView;
    jint size = env->GetIntField(copy, view.treeSize);
    jobject root = env->GetObjectField(copy, view.root);
    std::atomic_thread_fence(std::memory_order_release);
    env->SetIntField(to, view.treeSize, size);
    env->SetObjectField(to, view.root, root);
    env->DeleteLocalRef(root);
}

// On the Windows shape the HashMap matches names exactly and the TreeMap without regard to case:
// the HashMap's entry of the name, in whatever case it was set, goes too.
void removeFromBoth(JNIEnv* env, jobject hash, jobject tree, jobject key) {
    const FollowedView& view = followedView;
    jobject order = env->CallObjectMethod(tree, view.comparator);
    jobject existing = refused(env) ? nullptr : env->CallObjectMethod(tree, view.floorKey, key);
    bool named = !refused(env) && existing != nullptr && env->CallIntMethod(order, view.compare, existing, key) == 0;
    if (named && !refused(env)) {
        env->DeleteLocalRef(env->CallObjectMethod(hash, view.remove, existing));
        if (!refused(env)) {
            env->DeleteLocalRef(env->CallObjectMethod(tree, view.remove, key));
        }
    }
    env->DeleteLocalRef(existing);
    env->DeleteLocalRef(order);
}

// Every map the JDK reads, from the statics of the followed class.
struct JdkMaps {
    jobject hash;
    jobject tree;  // null on the Unix shape
};

JdkMaps jdkMaps(JNIEnv* env) {
    const FollowedView& view = followedView;
    JdkMaps maps = {env->GetStaticObjectField(view.owner, view.environment), nullptr};
    if (view.caseInsensitive != nullptr) {
        maps.tree = env->GetStaticObjectField(view.owner, view.caseInsensitive);
    }
    return maps;
}

void deleteMaps(JNIEnv* env, const JdkMaps& maps) {
    env->DeleteLocalRef(maps.hash);
    env->DeleteLocalRef(maps.tree);
}

// Adopts the copies into the JDK's maps, unless the JVM refused a step on the way.
bool adoptBoth(JNIEnv* env, const JdkMaps& maps, const JdkMaps& copies) {
    bool made = !refused(env) && copies.hash != nullptr && (maps.tree == nullptr || copies.tree != nullptr);
    if (made) {
        adoptHashMap(env, maps.hash, copies.hash);
        if (maps.tree != nullptr) {
            adoptTreeMap(env, maps.tree, copies.tree);
        }
    }
    return made;
}

// Fills `view` with everything following needs; null when all is found, else what is missing (a
// NoSuchFieldError or NoSuchMethodError then pending). Each step runs only once the one before it
// succeeded, as no JNI call may follow a pending error.
const char* lookUp(JNIEnv* env, jobject environment, jobject caseInsensitive, jclass variable, jclass value,
                   FollowedView* view) {
    jclass field = env->FindClass("java/lang/reflect/Field");
    jmethodID declaringClass = field == nullptr ? nullptr : env->GetMethodID(field, "getDeclaringClass", "()Ljava/lang/Class;");
    if (declaringClass == nullptr) {
        return "java.lang.reflect.Field.getDeclaringClass";
    }
    view->owner = static_cast<jclass>(env->CallObjectMethod(environment, declaringClass));
    if (refused(env) || view->owner == nullptr || (view->environment = env->FromReflectedField(environment)) == nullptr) {
        return "the field of the environment";
    }
    if (caseInsensitive != nullptr && (view->caseInsensitive = env->FromReflectedField(caseInsensitive)) == nullptr) {
        return "the field of the case-insensitive environment";
    }
    const char* const kMadeFromBytes = "(Ljava/lang/String;[B)V";
    view->variable = variable;
    view->value = value;
    if (variable != nullptr && (view->newVariable = env->GetMethodID(variable, "<init>", kMadeFromBytes)) == nullptr) {
        return "a constructor (String, byte[]) of the variable class";
    }
    if (value != nullptr && (view->newValue = env->GetMethodID(value, "<init>", kMadeFromBytes)) == nullptr) {
        return "a constructor (String, byte[]) of the value class";
    }
    jclass map = nullptr;
    jclass order = nullptr;
    if ((view->hashMap = env->FindClass("java/util/HashMap")) == nullptr ||
        (view->treeMap = env->FindClass("java/util/TreeMap")) == nullptr || (map = env->FindClass("java/util/Map")) == nullptr ||
        (order = env->FindClass("java/util/Comparator")) == nullptr) {
        return "java.util's maps";
    }
    if ((view->newHashMap = env->GetMethodID(view->hashMap, "<init>", "(I)V")) == nullptr ||
        (view->table = env->GetFieldID(view->hashMap, "table", "[Ljava/util/HashMap$Node;")) == nullptr ||
        (view->size = env->GetFieldID(view->hashMap, "size", "I")) == nullptr ||
        (view->threshold = env->GetFieldID(view->hashMap, "threshold", "I")) == nullptr) {
        return "java.util.HashMap's constructor (int) and fields table, size and threshold";
    }
    if ((view->newTreeMap = env->GetMethodID(view->treeMap, "<init>", "(Ljava/util/Comparator;)V")) == nullptr ||
        (view->comparator = env->GetMethodID(view->treeMap, "comparator", "()Ljava/util/Comparator;")) == nullptr ||
        (view->floorKey = env->GetMethodID(view->treeMap, "floorKey", "(Ljava/lang/Object;)Ljava/lang/Object;")) == nullptr ||
        (view->root = env->GetFieldID(view->treeMap, "root", "Ljava/util/TreeMap$Entry;")) == nullptr ||
        (view->treeSize = env->GetFieldID(view->treeMap, "size", "I")) == nullptr) {
        return "java.util.TreeMap's constructor (Comparator), methods and fields root and size";
    }
    if ((view->compare = env->GetMethodID(order, "compare", "(Ljava/lang/Object;Ljava/lang/Object;)I")) == nullptr ||
        (view->put = env->GetMethodID(map, "put", "(Ljava/lang/Object;Ljava/lang/Object;)Ljava/lang/Object;")) == nullptr ||
        (view->remove = env->GetMethodID(map, "remove", "(Ljava/lang/Object;)Ljava/lang/Object;")) == nullptr ||
        (view->putAll = env->GetMethodID(map, "putAll", "(Ljava/util/Map;)V")) == nullptr) {
        return "java.util.Map's and Comparator's methods";
    }
    return nullptr;
}

constexpr size_t kClassesKept = 5;

void classesOf(FollowedView* view, jclass* classes[kClassesKept]) {
    classes[0] = &view->owner;
    classes[1] = &view->variable;
    classes[2] = &view->value;
    classes[3] = &view->hashMap;
    classes[4] = &view->treeMap;
}

void releaseGlobals(JNIEnv* env, FollowedView* view) {
    jclass* classes[kClassesKept];
    classesOf(view, classes);
    for (jclass* held : classes) {
        if (*held != nullptr) {
            env->DeleteGlobalRef(*held);
        }
    }
    *view = FollowedView();
}

// A global reference for each class the view keeps, in place of the local one; false when the JVM
// has no room.
bool holdGlobals(JNIEnv* env, FollowedView* view) {
    jclass* classes[kClassesKept];
    classesOf(view, classes);
    bool held = true;
    for (jclass* kept : classes) {
        jclass local = *kept;
        *kept = local == nullptr ? nullptr : static_cast<jclass>(env->NewGlobalRef(local));
        held = held && (local == nullptr || *kept != nullptr);
    }
    return held;
}

}  // namespace

bool isJdkViewFollowed() {
    return jdkViewFollowed.load(std::memory_order_acquire);
}

jstring followJdkView(JNIEnv* env, jobject environment, jobject caseInsensitive, jclass variable, jclass value,
                      const JdkVariable* variables, size_t count) {
    jdkViewFollowed.store(false, std::memory_order_release);
    releaseGlobals(env, &followedView);
    if (environment == nullptr) {
        return nullptr;
    }
    FollowedView view = FollowedView();
    if (const char* missing = lookUp(env, environment, caseInsensitive, variable, value, &view)) {
        if (refused(env)) {
            env->ExceptionClear();  // said instead, by what was missing
        }
        return env->NewStringUTF(missing);  // the view holds local references alone, gone with the call
    }
    if (!holdGlobals(env, &view)) {
        releaseGlobals(env, &view);
        return refused(env) ? nullptr : env->NewStringUTF("room for global references");
    }
    followedView = view;
    JdkMaps maps = jdkMaps(env);
    bool shaped = maps.hash != nullptr && env->IsInstanceOf(maps.hash, view.hashMap) &&
                  (view.caseInsensitive == nullptr || (maps.tree != nullptr && env->IsInstanceOf(maps.tree, view.treeMap)));
    if (!shaped) {
        deleteMaps(env, maps);
        releaseGlobals(env, &followedView);
        return env->NewStringUTF("a HashMap in the environment's field, and a TreeMap in the case-insensitive one");
    }
    JdkMaps copies = {copyOfHashMap(env, maps.hash, false), nullptr};
    for (size_t i = 0; i < count && copies.hash != nullptr && !refused(env); ++i) {
        jobject key = keyOf(env, variables[i]);
        jobject held = key == nullptr ? nullptr : valueOf(env, variables[i]);
        if (held != nullptr) {
            env->DeleteLocalRef(env->CallObjectMethod(copies.hash, view.put, key, held));
        }
        env->DeleteLocalRef(key);
        env->DeleteLocalRef(held);
    }
    if (maps.tree != nullptr && !refused(env)) {
        copies.tree = copyOfTreeMap(env, maps.tree, copies.hash);
    }
    bool adopted = adoptBoth(env, maps, copies);
    deleteMaps(env, copies);
    deleteMaps(env, maps);
    if (!adopted) {
        releaseGlobals(env, &followedView);
        return refused(env) ? nullptr : env->NewStringUTF("room for a copy of the environment");
    }
    jdkViewFollowed.store(true, std::memory_order_release);
    return nullptr;
}

bool followAssignment(JNIEnv* env, const JdkVariable& changed) {
    const FollowedView& view = followedView;
    JdkMaps maps = jdkMaps(env);
    jobject key = keyOf(env, changed);
    jobject held = changed.value == nullptr || key == nullptr ? nullptr : valueOf(env, changed);
    JdkMaps copies = {nullptr, nullptr};
    if (key != nullptr && (changed.value == nullptr || held != nullptr)) {
        copies.hash = copyOfHashMap(env, maps.hash, true);
        if (maps.tree != nullptr && !refused(env)) {
            copies.tree = copyOfTreeMap(env, maps.tree, maps.tree);
        }
    }
    // Removed first, so the new key, exactly as given, replaces one the JDK made its own way.
    if (copies.hash != nullptr && !refused(env)) {
        if (copies.tree != nullptr) {
            removeFromBoth(env, copies.hash, copies.tree, key);
        } else {
            env->DeleteLocalRef(env->CallObjectMethod(copies.hash, view.remove, key));
        }
        if (held != nullptr && !refused(env)) {
            env->DeleteLocalRef(env->CallObjectMethod(copies.hash, view.put, key, held));
            if (copies.tree != nullptr && !refused(env)) {
                env->DeleteLocalRef(env->CallObjectMethod(copies.tree, view.put, key, held));
            }
        }
    }
    bool adopted = key != nullptr && adoptBoth(env, maps, copies);
    env->DeleteLocalRef(key);
    env->DeleteLocalRef(held);
    deleteMaps(env, copies);
    deleteMaps(env, maps);
    if (!adopted) {
        // A copy that missed one change must not claim to follow: it stops, left as it was.
        jthrowable cause = env->ExceptionOccurred();
        env->ExceptionClear();
        jdkViewFollowed.store(false, std::memory_order_release);
        releaseGlobals(env, &followedView);
        if (cause != nullptr) {
            env->Throw(cause);
            env->DeleteLocalRef(cause);
        }
    }
    return adopted;
}

void reportFollowingLost(JNIEnv* env) {
    jthrowable cause = env->ExceptionOccurred();
    env->ExceptionClear();
    jclass type = env->FindClass("java/lang/IllegalStateException");
    jmethodID make = type == nullptr ? nullptr : env->GetMethodID(type, "<init>", "(Ljava/lang/String;Ljava/lang/Throwable;)V");
    jstring message = make == nullptr ? nullptr : env->NewStringUTF(
        "the change was made, but the JDK's copy of the environment could not follow it, and follows no more");
    jobject lost = message == nullptr ? nullptr : env->NewObject(type, make, message, cause);
    if (lost != nullptr) {
        env->Throw(static_cast<jthrowable>(lost));
    } else if (cause != nullptr && !refused(env)) {
        env->Throw(cause);  // no room to say more than the JVM's own error
    }
    env->DeleteLocalRef(lost);
    env->DeleteLocalRef(message);
    env->DeleteLocalRef(type);
    env->DeleteLocalRef(cause);
}

bool ZKNATIVE7_CALL jdkViewFollowedEntry(void) {
    return isJdkViewFollowed();
}

bool ZKNATIVE7_CALL followAssignmentEntry(JNIEnv* env, const JdkVariable* changed) {
    return followAssignment(env, *changed);
}

jstring ZKNATIVE7_CALL followJdkViewEntry(JNIEnv* env, jobject environment, jobject caseInsensitive, jclass variable,
                                          jclass value, const JdkVariable* variables, size_t count) {
    return followJdkView(env, environment, caseInsensitive, variable, value, variables, count);
}
