// The JDK's own copy of the environment (java.lang.ProcessEnvironment's maps, which System.getenv
// and ProcessBuilder read), kept in step with the real one while it is followed. The maps' objects
// are static finals the JIT folds, so they are never replaced: each change builds a new copy of a
// map and then stores the copy's table (a TreeMap's root) and size into the JDK's map, so that no
// reader ever meets a table that misses an entry nobody changed. Called under the environment lock.
#ifndef ZKNATIVE7_JDK_VIEW_H
#define ZKNATIVE7_JDK_VIEW_H

#include "zknative7_alloc.h"

#include <jni.h>

#include <cstddef>

// One variable as the JDK's copy holds it: its UTF-16 name and value and, on hosts that store
// bytes, those bytes (null where the host stores UTF-16). A null value is a removal. Copies of
// other versions hand it to each other (serving_contract.h): its layout is frozen.
struct JdkVariable {
    const jchar* name;
    size_t nameUnits;
    const jchar* value;
    size_t valueUnits;
    const char* nameBytes;
    size_t nameByteCount;
    const char* valueBytes;
    size_t valueByteCount;
};

// Whether a JDK copy is followed; needs no lock, for the assignments that check it first.
bool isJdkViewFollowed();

// Starts following the JDK copy that `environment` (a static field java.lang.reflect.Field)
// holds, first making it hold `variables` alone; or stops following when `environment` is null.
// `caseInsensitive` is the Windows shape's TreeMap field, or null for the Unix shape, whose keys and
// values are objects of the classes `variable` and `value`, each made from a String and its bytes.
// Null when done, else a new string that says what failed (the JVM's error left pending when it
// raised one); nothing is followed then.
jstring followJdkView(JNIEnv* env, jobject environment, jobject caseInsensitive, jclass variable, jclass value,
                      const JdkVariable* variables, size_t count);

// Passes one applied assignment on to the followed copy. False, with the JVM's error pending, when
// the JVM refused a step: the copy is then left as it was, and no longer followed.
bool followAssignment(JNIEnv* env, const JdkVariable& changed);

// The three above as entries of the serving contract, which copies of other versions call.
bool ZKNATIVE7_CALL jdkViewFollowedEntry(void);
bool ZKNATIVE7_CALL followAssignmentEntry(JNIEnv* env, const JdkVariable* changed);
jstring ZKNATIVE7_CALL followJdkViewEntry(JNIEnv* env, jobject environment, jobject caseInsensitive, jclass variable,
                                          jclass value, const JdkVariable* variables, size_t count);

// After followAssignment failed for a change that was made: an IllegalStateException saying so,
// its cause the JVM's error, in place of that error. Called without the environment lock.
void reportFollowingLost(JNIEnv* env);

#endif
