// The JNI natives of quorvalen.zelka.NativeTools: read one variable, apply one assignment.
#include "natives.h"

#include "host_env.h"
#include "wide_string.h"

namespace {

// The runtimes would match "A=B" against a variable A whose value starts with B, and an empty
// name (after a leading U+0000) against nothing useful: neither names a variable.
bool namesAVariable(const jchar* name) {
    if (name[0] == 0) {
        return false;
    }
    for (const jchar* unit = name; *unit != 0; ++unit) {
        if (*unit == u'=') {
            return false;
        }
    }
    return true;
}

}  // namespace

JNIEXPORT jstring JNICALL Java_quorvalen_zelka_NativeTools_getenv0(JNIEnv* env, jclass, jstring name) {
    // GetStringLength of null crashes the JVM.
    if (name == nullptr || env->GetStringLength(name) <= 0) {
        return nullptr;
    }
    jchar* wideName = jstringToWide(env, name);
    jstring value = nullptr;
    if (wideName != nullptr && namesAVariable(wideName)) {
        value = hostGetenv(env, wideName);
    }
    freeWide(env, wideName);
    return value;
}

JNIEXPORT jboolean JNICALL Java_quorvalen_zelka_NativeTools_putenv0(JNIEnv* env, jclass, jstring assignment) {
    jchar* wideAssignment = jstringToWide(env, assignment);
    if (wideAssignment == nullptr) {
        return JNI_FALSE;
    }
    bool applied = hostPutenv(wideAssignment);
    freeWide(env, wideAssignment);
    return applied ? JNI_TRUE : JNI_FALSE;
}
