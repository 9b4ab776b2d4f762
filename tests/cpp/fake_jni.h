// A JNIEnv whose string functions run on plain test data, for what no real JVM will do on request:
// withhold characters, fail NewString, any step of making a String from a byte array or of making
// a String[], report impossible lengths; and for the Windows DLL, which no JVM here can load, the
// byte arrays of the entries as held.
#ifndef ZKNATIVE7_FAKE_JNI_H
#define ZKNATIVE7_FAKE_JNI_H

#include <jni.h>

#include <deque>
#include <string>
#include <vector>

struct FakeByteArray {
    std::string bytes;
    bool live;  // not yet deleted
};

struct FakeString {
    std::u16string units;
    jsize reportedLength;  // what GetStringLength says, normally units.size()
    bool made;             // by NewString, NewStringUTF or NewObjectA, so the caller's local reference
    bool deleted;
};

struct FakeObjectArray {
    std::vector<jobject> elements;
    bool live;
    bool ofBytes;  // a byte[][] rather than a String[]
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
    int regionsCopied = 0;          // GetStringRegion calls
    int badReleases = 0;         // ReleaseStringChars of a pointer not lent
    bool refuseMethod = false;      // GetMethodID gives null, as when the method is missing
    bool refuseByteArray = false;   // NewByteArray gives null, as when the heap is full
    bool refuseNewObject = false;   // NewObjectA gives null, as when the constructor throws
    bool refuseFindClass = false;   // FindClass gives null, as when the class cannot be loaded
    bool refuseObjectArray = false;  // NewObjectArray gives null, as when the heap is full
    int stringsBeforeRefusal = -1;  // NewString and NewStringUTF make this many, then give null
    int stringRefs = 0;             // strings made and not yet deleted as local references
    bool exceptionPending = false;  // set by every refusal above; only the test clears it
    int callsWithExceptionPending = 0;  // calls JNI forbids while an exception is pending
    int objectsMade = 0;            // strings NewObjectA made from byte arrays
    int localRefs = 0;              // classes and arrays handed out and not deleted
    int badCalls = 0;               // calls with arguments a JVM would reject or crash on
    std::deque<FakeString> strings;  // stable addresses: a jstring points into it
    std::deque<FakeByteArray> byteArrays;  // likewise for a jbyteArray
    std::deque<FakeObjectArray> objectArrays;  // and for a jobjectArray
    char stringClass = 0;           // its address is String's jclass
    char byteArrayClass = 0;        // and byte[]'s
    char latin1Constructor = 0;     // its address is the jmethodID of String(byte[], int, int, int)
    std::vector<const jchar*> lent;  // pointers GetStringChars handed out and not yet returned

    FakeJni();
    FakeJni(const FakeJni&) = delete;
    FakeJni& operator=(const FakeJni&) = delete;

    jstring string(const std::u16string& units);
    jstring stringWithLength(const std::u16string& units, jsize reportedLength);
    static std::u16string unitsOf(jstring made);
    static std::vector<std::u16string> elementsOf(jobjectArray made);
    // A byte[] the caller passes in, and the elements of a byte[][] a native made.
    jbyteArray bytes(const std::string& content);
    static std::vector<std::string> byteElementsOf(jobjectArray made);
};

#endif
