// The DLL as a Windows JVM meets it: loaded by name, natives found by the names the JVM looks up,
// called against the real msvcrt environment, from many threads at once.
#include "fake_jni.h"
#include "stress.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

typedef void*(__cdecl* SMalloc)(size_t);
typedef void(__cdecl* SFree)(void*);
typedef char*(__cdecl* SStrdup)(const char*);

// 32-bit HotSpot looks for _name@12 first; GNU ld's default name@12 is never tried.
#if defined(_WIN64)
const char* const kGetenv0 = "Java_quorvalen_zelka_NativeTools_getenv0";
const char* const kPutenv0 = "Java_quorvalen_zelka_NativeTools_putenv0";
#else
const char* const kGetenv0 = "_Java_quorvalen_zelka_NativeTools_getenv0@12";
const char* const kPutenv0 = "_Java_quorvalen_zelka_NativeTools_putenv0@12";
#endif

struct Library {
    HMODULE module = nullptr;
    Getenv0 getenv0 = nullptr;
    Putenv0 putenv0 = nullptr;
    SMalloc sMalloc = nullptr;
    SFree sFree = nullptr;
    SStrdup sStrdup = nullptr;
};

const Library& library() {
    static Library loaded = [] {
        Library lib;
        lib.module = LoadLibraryW(L"zknative7.dll");
        if (lib.module != nullptr) {
            lib.getenv0 = reinterpret_cast<Getenv0>(reinterpret_cast<void*>(GetProcAddress(lib.module, kGetenv0)));
            lib.putenv0 = reinterpret_cast<Putenv0>(reinterpret_cast<void*>(GetProcAddress(lib.module, kPutenv0)));
            lib.sMalloc = reinterpret_cast<SMalloc>(reinterpret_cast<void*>(GetProcAddress(lib.module, "sMalloc")));
            lib.sFree = reinterpret_cast<SFree>(reinterpret_cast<void*>(GetProcAddress(lib.module, "sFree")));
            lib.sStrdup = reinterpret_cast<SStrdup>(reinterpret_cast<void*>(GetProcAddress(lib.module, "sStrdup")));
        }
        return lib;
    }();
    return loaded;
}

const std::u16string kUnset = u"(unset)";

// A fault ends the run at once with a message, instead of waiting in Wine's debugger.
LONG WINAPI exitOnFault(EXCEPTION_POINTERS* fault) {
    std::fprintf(stderr, "fault: exception 0x%08lx at %p\n", fault->ExceptionRecord->ExceptionCode,
                 fault->ExceptionRecord->ExceptionAddress);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}
const bool faultsEndTheRun = (SetUnhandledExceptionFilter(exitOnFault), true);

std::u16string get(FakeJni& fake, const std::u16string& name) {
    jstring value = library().getenv0(&fake.env, nullptr, fake.string(name));
    return value == nullptr ? kUnset : FakeJni::unitsOf(value);
}

bool put(FakeJni& fake, const std::u16string& assignment) {
    return library().putenv0(&fake.env, nullptr, fake.string(assignment)) == JNI_TRUE;
}

// What the runtime itself holds, read around the library.
std::u16string runtimeValue(const std::u16string& name) {
    const wchar_t* value = _wgetenv(reinterpret_cast<const wchar_t*>(name.c_str()));
    return value == nullptr ? kUnset : std::u16string(reinterpret_cast<const char16_t*>(value));
}

TEST(Loader, FindsEveryExportByTheNameItsCallerUses) {
    const Library& lib = library();
    ASSERT_NE(lib.module, nullptr) << "LoadLibraryW failed: " << GetLastError();
    EXPECT_NE(lib.getenv0, nullptr);
    EXPECT_NE(lib.putenv0, nullptr);
    EXPECT_NE(lib.sMalloc, nullptr);
    EXPECT_NE(lib.sFree, nullptr);
    EXPECT_NE(lib.sStrdup, nullptr);
}

TEST(Loader, UnicodeRoundTripsThroughTheRealRuntime) {
    ASSERT_NE(library().putenv0, nullptr);
    const std::u16string values[] = {
        u"\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440",
        u"\u4e16\u754c\u4f60\u597d",
        u"\U0001F600",
        std::u16string{0xD800, u'x', 0xDC00},
        std::u16string{0xDC00, 0xD800},
        u"a=b",
    };
    const std::u16string name = u"ZK7W_\u0418\u041c\u042f";
    for (const std::u16string& value : values) {
        FakeJni fake;
        ASSERT_TRUE(put(fake, name + u"=" + value));
        EXPECT_EQ(get(fake, name), value);
        EXPECT_EQ(runtimeValue(name), value);
        EXPECT_EQ(fake.charsHeld, 0);
    }
    FakeJni fake;
    EXPECT_TRUE(put(fake, name + u"="));
    EXPECT_EQ(get(fake, name), kUnset);
    EXPECT_EQ(runtimeValue(name), kUnset);
}

TEST(Loader, ValuesLongerThanWindowsKeepsAreRefusedNotCut) {
    ASSERT_NE(library().putenv0, nullptr);
    struct Long {
        size_t units;
        bool applied;
    };
    const Long cases[] = {{32766, true}, {32767, false}, {size_t{2} << 20, false}};
    for (const Long& c : cases) {
        FakeJni fake;
        ASSERT_TRUE(put(fake, u"ZK7W_BIG=before"));
        std::u16string value(c.units, u'\u4e2d');
        value[c.units / 2] = 0xD800;
        EXPECT_EQ(put(fake, u"ZK7W_BIG=" + value), c.applied) << c.units;
        std::u16string seen = get(fake, u"ZK7W_BIG");
        const std::u16string& expected = c.applied ? value : std::u16string(u"before");
        EXPECT_EQ(seen.size(), expected.size()) << c.units;
        EXPECT_TRUE(seen == expected) << c.units;
        EXPECT_TRUE(runtimeValue(u"ZK7W_BIG") == expected) << c.units;
    }
    FakeJni fake;
    EXPECT_TRUE(put(fake, u"ZK7W_BIG="));
}

TEST(Loader, RefusesWhatTheRuntimeRefuses) {
    ASSERT_NE(library().putenv0, nullptr);
    FakeJni fake;
    ASSERT_TRUE(put(fake, u"ZK7W_KEPT=kept"));
    for (const std::u16string& bad : {std::u16string(u""), std::u16string(u"NOEQ"), std::u16string(u"=x")}) {
        EXPECT_FALSE(put(fake, bad)) << std::string(bad.begin(), bad.end());
    }
    EXPECT_EQ(library().putenv0(&fake.env, nullptr, nullptr), JNI_FALSE);
    EXPECT_EQ(library().getenv0(&fake.env, nullptr, nullptr), nullptr);
    EXPECT_EQ(get(fake, u"ZK7W_KEPT=x"), kUnset);
    EXPECT_EQ(runtimeValue(u"ZK7W_KEPT"), u"kept");
    EXPECT_TRUE(put(fake, u"ZK7W_KEPT="));
}

// Runs `call` with the standard error stream going to a file, and returns the bytes written. The
// file is binary, so these are the bytes the library wrote, before any text-mode CR LF.
template <typename Call>
std::string stderrBytesOf(Call call) {
    const char* path = "zk7w_stderr.bin";
    std::fflush(stderr);
    int saved = _dup(2);
    int file = _open(path, _O_CREAT | _O_TRUNC | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    _dup2(file, 2);
    call();
    std::fflush(stderr);
    _dup2(saved, 2);
    _close(saved);
    _close(file);
    std::string bytes;
    if (FILE* in = std::fopen(path, "rb")) {
        for (int c; (c = std::fgetc(in)) != EOF;) {
            bytes.push_back(static_cast<char>(c));
        }
        std::fclose(in);
    }
    std::remove(path);
    return bytes;
}

TEST(Loader, AllocatorReportsFailureByteForByte) {
    const Library& lib = library();
    ASSERT_NE(lib.sMalloc, nullptr);
    void* block = reinterpret_cast<void*>(1);
    std::string written = stderrBytesOf([&] { block = lib.sMalloc(SIZE_MAX); });
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(written, "Malloc for " + std::to_string(SIZE_MAX) + " bytes failed\nAbout to crash\n");

    char* copy = lib.sStrdup("\xC3\xA9t\xC3\xA9");
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "\xC3\xA9t\xC3\xA9");
    lib.sFree(copy);
    EXPECT_EQ(lib.sStrdup(nullptr), nullptr);
}

TEST(Loader, ConcurrentGetsAndPutsSeeOnlyWholeValues) {
    ASSERT_NE(library().putenv0, nullptr);
    StressReport report = runStress(library().getenv0, library().putenv0, 8, 3000);
    std::printf("%s\n", describe(report).c_str());
    EXPECT_GT(report.operations, 0);
    EXPECT_EQ(report.faults, 0) << report.firstFault;
}

}  // namespace
