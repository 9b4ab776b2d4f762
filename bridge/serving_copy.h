// Which copy of the library serves this process. A JVM loads one copy per class loader that loads
// NativeTools; the first copy serves them all, so every assignment in the process takes turns
// under one lock, and every copy reads one published environment.
#ifndef ZKNATIVE7_SERVING_COPY_H
#define ZKNATIVE7_SERVING_COPY_H

#include <jni.h>

typedef jstring(JNICALL* Getenv0Native)(JNIEnv*, jclass, jstring);
typedef jboolean(JNICALL* Putenv0Native)(JNIEnv*, jclass, jstring);
typedef jobjectArray(JNICALL* Environ0Native)(JNIEnv*, jclass);

struct ServingNatives {
    Getenv0Native getenv0;
    Putenv0Native putenv0;
    Environ0Native environ0;
};

// The natives of the copy that serves the process, or null when that is this copy. Found once, on
// the first call; the serving copy is never unloaded, so the answer stays true.
const ServingNatives* otherServingCopy();

// Each host's way to find the serving copy: true, with `natives` filled in, when it is another copy.
bool findOtherServingCopy(ServingNatives* natives);

// Lets the thread that is finding the serving copy run.
void yieldToResolvingThread();

#endif
