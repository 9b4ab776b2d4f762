// A JNIEnv whose string functions run on plain test data, for what no real JVM will do on request:
// withhold characters, fail NewString, report impossible lengths.
#ifndef ZKNATIVE7_FAKE_JNI_H
#define ZKNATIVE7_FAKE_JNI_H

#include <jni.h>

#include <deque>
#include <string>
#include <vector>

struct FakeString {
    std::u16string units;
    jsize reportedLength;  // what GetStringLength says, normally units.size()
};

// The JNIEnv must stay the first member: the fake functions find the rest from the env pointer.
struct FakeJni {
    JNIEnv env;
    JNINativeInterface_ functions;

    bool withholdChars = false;     // GetStringChars gives null
    bool refuseNewString = false;   // NewString and NewStringUTF give null
    int utfStringsMade = 0;         // NewStringUTF calls
    int jniCalls = 0;
    int charsHeld = 0;              // GetStringChars not yet released
    int badReleases = 0;         // ReleaseStringChars of a pointer not lent
    std::deque<FakeString> strings;  // stable addresses: a jstring points into it
    std::vector<const jchar*> lent;  // pointers GetStringChars handed out and not yet returned

    FakeJni();
    FakeJni(const FakeJni&) = delete;
    FakeJni& operator=(const FakeJni&) = delete;

    jstring string(const std::u16string& units);
    jstring stringWithLength(const std::u16string& units, jsize reportedLength);
    static std::u16string unitsOf(jstring made);
};

#endif
