// The process environment as the natives see it: UTF-16 names and values, whatever the host stores.
// Each build links exactly one implementation. Assignments take turns under the process's one
// environment lock; lookups and listings never read what an assignment frees (on Windows they hold
// the lock too, on POSIX hosts nothing they can reach is ever freed).
#ifndef ZKNATIVE7_HOST_ENV_H
#define ZKNATIVE7_HOST_ENV_H

#include <jni.h>

#include <cstddef>

// The value of the variable the Java string `name` (`length` > 0 units) names, up to its first
// U+0000, as a new Java string; null when it names none (an '=' in it, or nothing before the
// U+0000), is not set, or the heap or the JVM refuses a step. Each host takes the name's units
// the way its environment needs them.
jstring hostGetenv(JNIEnv* env, jstring name, jsize length);

// Applies a NUL-terminated "NAME=VALUE" with the Windows runtime's meaning: sets or replaces NAME;
// an empty VALUE removes it; no '=' or an empty NAME is refused. True when applied; then the JDK's
// copy follows, when it is followed, or stops following with an IllegalStateException pending
// that says so (its cause what the JVM refused).
bool hostPutenv(JNIEnv* env, const jchar* assignment);

// Every variable as "NAME=VALUE", each once (the first of its name, as lookups find it), in a new
// String[]; entries without a name (no '=', or the hidden "=C:" ones on Windows) are left out. Null, with the JVM's error pending when it raised one,
// when the JVM or the heap refuses any step.
jobjectArray hostEnviron(JNIEnv* env);

// Every variable as the host holds it, each once as hostEnviron lists them, in a new byte[][] (see
// newHeldArray in held_entries.h). Null, with the JVM's error pending when it raised one, when the
// JVM or the heap refuses any step.
jobjectArray hostHeldEntries(JNIEnv* env);

// The variable `name` (`length` > 0 units) names, as the host holds it: a new byte[][] of its name
// and value, empty when it names none or is not set; null when a step fails.
jobjectArray hostHeldVariable(JNIEnv* env, jstring name, jsize length);

// Gives the variable `name` (NUL-terminated, `nameBytes` bytes as the host holds names) exactly the
// value `value` (NUL-terminated, `valueBytes` bytes), an empty one included where the host can
// hold it (POSIX; Windows' runtime removes it); removes it when `value` is null. False, with
// nothing changed, for a name that is empty or holds '=' or NUL, a value that holds NUL, or a
// refusal; the JDK's copy follows as after hostPutenv.
bool hostPutHeld(JNIEnv* env, const char* name, size_t nameBytes, const char* value, size_t valueBytes);

// Has each variable once in what a child started now inherits, and no other entry more often than
// it was there (POSIX hosts repeat an entry in the holes of removed ones; Windows keeps each once).
// False when the heap is exhausted.
bool hostCompact(JNIEnv* env);

// Starts following the JDK's copy of the environment, first bringing it to every variable as
// hostEnviron lists them, or stops (see followJdkView in jdk_view.h), in turn with assignments.
jstring hostFollowJdk(JNIEnv* env, jobject environment, jobject caseInsensitive, jclass variable, jclass value);

#endif
