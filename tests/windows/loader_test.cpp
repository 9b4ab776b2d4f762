// The DLL as a Windows JVM meets it: loaded by name, natives found by the names the JVM looks up,
// called against the real msvcrt environment, from many threads at once.
#include "fake_jni.h"
#include "natives.h"
#include "stress.h"
#include "zknative7_alloc.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// Every export of the list, bound by the name its caller looks up: for a native the one a Windows
// JVM tries first (32-bit HotSpot: _name@N; GNU ld's default name@N is never tried).
struct Library : NativeTable {
    HMODULE module = nullptr;
#define ZKNATIVE7_ALLOCATOR_SLOT(name) decltype(&::name) name = nullptr;
    ZKNATIVE7_EACH_ALLOCATOR(ZKNATIVE7_ALLOCATOR_SLOT)
#undef ZKNATIVE7_ALLOCATOR_SLOT
    Library() : NativeTable() {}
};

void* exportOf(HMODULE module, const char* symbol) {
    return module == nullptr ? nullptr : reinterpret_cast<void*>(GetProcAddress(module, symbol));
}

Library bind(HMODULE module) {
    Library lib;
    lib.module = module;
#define ZKNATIVE7_BIND_NATIVE(method, symbol) lib.method = reinterpret_cast<decltype(lib.method)>(exportOf(module, symbol));
    ZKNATIVE7_EACH_NATIVE(ZKNATIVE7_BIND_NATIVE)
#undef ZKNATIVE7_BIND_NATIVE
#define ZKNATIVE7_BIND_ALLOCATOR(name) lib.name = reinterpret_cast<decltype(lib.name)>(exportOf(module, #name));
    ZKNATIVE7_EACH_ALLOCATOR(ZKNATIVE7_BIND_ALLOCATOR)
#undef ZKNATIVE7_BIND_ALLOCATOR
    return lib;
}

#define ZKNATIVE7_COUNT_NATIVE(method, symbol) +1
constexpr size_t kNatives = 0 ZKNATIVE7_EACH_NATIVE(ZKNATIVE7_COUNT_NATIVE);
#undef ZKNATIVE7_COUNT_NATIVE

// A library's natives in the list's order.
std::vector<void*> nativesOf(const Library& lib) {
    std::vector<void*> natives;
#define ZKNATIVE7_ADDRESS_OF(method, symbol) natives.push_back(reinterpret_cast<void*>(lib.method));
    ZKNATIVE7_EACH_NATIVE(ZKNATIVE7_ADDRESS_OF)
#undef ZKNATIVE7_ADDRESS_OF
    return natives;
}

const Library& library() {
    static Library loaded = bind(LoadLibraryW(L"zknative7.dll"));
    return loaded;
}

// The test's own folder, where the build puts the DLL, ending in a backslash.
std::wstring testFolder() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

// Another module of the same DLL: copied into a folder of its own and loaded by full path, as a
// second class loader's System.load would.
Library loadCopy(const std::wstring& folderName) {
    library();  // first: once a copy is loaded, loading by base name gives that copy
    std::wstring folder = testFolder() + folderName;
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring dll = folder + L"\\zknative7.dll";
    if (!CopyFileW((testFolder() + L"zknative7.dll").c_str(), dll.c_str(), FALSE)) {
        return Library();
    }
    return bind(LoadLibraryW(dll.c_str()));
}

const Library& copyA() {
    static Library loaded = loadCopy(L"copy-a");
    return loaded;
}

const Library& copyB() {
    static Library loaded = loadCopy(L"copy-b");
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

std::u16string get(FakeJni& fake, const Library& lib, const std::u16string& name) {
    jstring value = lib.getenv0(&fake.env, nullptr, fake.string(name));
    return value == nullptr ? kUnset : FakeJni::unitsOf(value);
}

bool put(FakeJni& fake, const Library& lib, const std::u16string& assignment) {
    return lib.putenv0(&fake.env, nullptr, fake.string(assignment)) == JNI_TRUE;
}

std::u16string get(FakeJni& fake, const std::u16string& name) {
    return get(fake, library(), name);
}

bool put(FakeJni& fake, const std::u16string& assignment) {
    return put(fake, library(), assignment);
}

// What the runtime itself holds, read around the library.
std::u16string runtimeValue(const std::u16string& name) {
    const wchar_t* value = _wgetenv(reinterpret_cast<const wchar_t*>(name.c_str()));
    return value == nullptr ? kUnset : std::u16string(reinterpret_cast<const char16_t*>(value));
}

TEST(Loader, FindsEveryExportByTheNameItsCallerUses) {
    const Library& lib = library();
    ASSERT_NE(lib.module, nullptr) << "LoadLibraryW failed: " << GetLastError();
    std::vector<std::string> missing;
#define ZKNATIVE7_FIND_NATIVE(method, symbol) \
    if (exportOf(lib.module, symbol) == nullptr) missing.push_back(symbol);
    ZKNATIVE7_EACH_NATIVE(ZKNATIVE7_FIND_NATIVE)
#undef ZKNATIVE7_FIND_NATIVE
#define ZKNATIVE7_FIND_ALLOCATOR(name) \
    if (exportOf(lib.module, #name) == nullptr) missing.push_back(#name);
    ZKNATIVE7_EACH_ALLOCATOR(ZKNATIVE7_FIND_ALLOCATOR)
#undef ZKNATIVE7_FIND_ALLOCATOR
    EXPECT_EQ(missing, std::vector<std::string>());
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

// The C runtimes a JVM process may hold beside msvcrt (the JVM's own is ucrtbase), each loaded by
// the test and read once, as a JVM's start-up reads its own: from then on each keeps its own copy.
typedef wchar_t*(__cdecl* Wgetenv)(const wchar_t*);
typedef char*(__cdecl* Getenv)(const char*);

struct Runtime {
    const wchar_t* name;
    Wgetenv wgetenv;
    Getenv getenv;
};

Runtime loadRuntime(const wchar_t* name) {
    HMODULE module = LoadLibraryW(name);
    Runtime runtime{name, nullptr, nullptr};
    if (module != nullptr) {
        runtime.wgetenv = reinterpret_cast<Wgetenv>(reinterpret_cast<void*>(GetProcAddress(module, "_wgetenv")));
        runtime.getenv = reinterpret_cast<Getenv>(reinterpret_cast<void*>(GetProcAddress(module, "getenv")));
    }
    if (runtime.wgetenv != nullptr) {
        runtime.wgetenv(L"PATH");
    }
    if (runtime.getenv != nullptr) {
        runtime.getenv("PATH");
    }
    return runtime;
}

const std::vector<Runtime>& otherRuntimes() {
    static const std::vector<Runtime> loaded = [] {
        std::vector<Runtime> runtimes;
        for (const wchar_t* name : {L"ucrtbase.dll", L"msvcr120.dll", L"msvcr100.dll", L"msvcr90.dll", L"msvcr80.dll",
                                    L"msvcr71.dll", L"msvcr70.dll"}) {
            runtimes.push_back(loadRuntime(name));
        }
        return runtimes;
    }();
    return loaded;
}

std::string narrowName(const wchar_t* name) {
    std::string narrow;
    for (; *name != 0; ++name) {
        narrow.push_back(static_cast<char>(*name));
    }
    return narrow;
}

// What one runtime's wide and narrow tables hold for `name`, against what msvcrt holds: the wide
// value exactly, the narrow one where it is ASCII.
void expectRuntimeHolds(const Runtime& runtime, const std::u16string& name, const std::u16string& expected,
                        const std::string& step) {
    std::string what = narrowName(runtime.name) + ", " + step;
    ASSERT_NE(runtime.wgetenv, nullptr) << what;
    const wchar_t* wide = runtime.wgetenv(reinterpret_cast<const wchar_t*>(name.c_str()));
    std::u16string seen = wide == nullptr ? kUnset : std::u16string(reinterpret_cast<const char16_t*>(wide));
    EXPECT_TRUE(seen == expected) << what << ": " << seen.size() << " units";
    bool ascii = true;
    for (char16_t unit : expected) {
        ascii = ascii && unit < 0x80;
    }
    if (ascii && runtime.getenv != nullptr) {
        const char* narrow = runtime.getenv(std::string(name.begin(), name.end()).c_str());
        EXPECT_EQ(narrow == nullptr ? std::string("(unset)") : std::string(narrow), std::string(expected.begin(), expected.end()))
            << what;
    }
}

// Through either copy of the library: an inherited variable replaced by each kind of value, a new
// one added, both removed; every runtime's copy follows, as msvcrt's does.
TEST(EveryRuntime, SeesEveryAssignmentThroughEitherCopy) {
    ASSERT_EQ(runtimeValue(u"ZK7W_INHERITED"), u"inherited") << "the test runs with ZK7W_INHERITED=inherited";
    const std::vector<Runtime>& runtimes = otherRuntimes();
    const std::u16string values[] = {
        u"plain",
        u"\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440",
        u"\U0001F600 \u4e16\u754c",
        std::u16string{u'x', 0xD800, u'y', 0xDC00},
    };
    struct Through {
        const char* what;
        const Library& copy;
    } throughs[] = {{"copy a", copyA()}, {"copy b", copyB()}};
    for (const Through& through : throughs) {
        ASSERT_NE(through.copy.putenv0, nullptr) << through.what;
        const std::u16string added = u"ZK7W_ADDED_" + std::u16string(1, static_cast<char16_t>(through.what[5]));
        std::vector<std::pair<std::u16string, std::u16string>> steps;
        for (const std::u16string& value : values) {
            steps.emplace_back(u"ZK7W_INHERITED", value);
            steps.emplace_back(added, value);
        }
        steps.emplace_back(u"ZK7W_INHERITED", u"");
        steps.emplace_back(added, u"");
        steps.emplace_back(u"ZK7W_INHERITED", u"inherited");
        for (const auto& step : steps) {
            FakeJni fake;
            ASSERT_TRUE(put(fake, through.copy, step.first + u"=" + step.second));
            const std::u16string expected = step.second.empty() ? kUnset : step.second;
            std::string what = std::string(through.what) + ", " + std::string(step.first.begin(), step.first.end()) +
                               " (" + std::to_string(step.second.size()) + " units)";
            EXPECT_TRUE(runtimeValue(step.first) == expected) << "msvcrt, " << what;
            for (const Runtime& runtime : runtimes) {
                expectRuntimeHolds(runtime, step.first, expected, what);
            }
        }
    }
}

// A runtime loaded after a change builds its copy from the OS block, which already holds it, and
// follows the changes after that like the others.
TEST(EveryRuntime, ARuntimeLoadedLaterSeesTheChangesMadeBefore) {
    FakeJni fake;
    const std::u16string value = u"\u0437\u043d\u0430\u0447\u0435\u043d\u0438\u0435 \U0001F600";
    ASSERT_TRUE(put(fake, library(), u"ZK7W_LATE=" + value));
    ASSERT_EQ(GetModuleHandleW(L"msvcr110.dll"), nullptr) << "msvcr110.dll must be loaded here first";
    Runtime late = loadRuntime(L"msvcr110.dll");
    expectRuntimeHolds(late, u"ZK7W_LATE", value, "loaded after the change");
    ASSERT_TRUE(put(fake, library(), u"ZK7W_LATE=after"));
    expectRuntimeHolds(late, u"ZK7W_LATE", u"after", "replaced after its load");
    ASSERT_TRUE(put(fake, library(), u"ZK7W_LATE="));
    expectRuntimeHolds(late, u"ZK7W_LATE", kUnset, "removed after its load");
}

TEST(EveryRuntime, OneThatRefusesTheValueLosesTheVariableInsteadOfKeepingItsOldOne) {
    Runtime refusing = loadRuntime((testFolder() + L"refusing\\ucrtbased.dll").c_str());
    refusing.name = L"the refusing ucrtbased.dll";
    Runtime real = loadRuntime(L"msvcr120.dll");
    FakeJni fake;
    ASSERT_TRUE(put(fake, u"ZK7W_REFUSED=kept"));
    expectRuntimeHolds(refusing, u"ZK7W_REFUSED", u"kept", "before");
    const std::u16string refused = u"refused \u041f";
    EXPECT_TRUE(put(fake, u"ZK7W_REFUSED=" + refused));  // msvcrt's verdict
    EXPECT_TRUE(runtimeValue(u"ZK7W_REFUSED") == refused);
    expectRuntimeHolds(real, u"ZK7W_REFUSED", refused, "another runtime");
    expectRuntimeHolds(refusing, u"ZK7W_REFUSED", kUnset, "the runtime that refused");
    wchar_t os[64] = {0};
    EXPECT_EQ(GetEnvironmentVariableW(L"ZK7W_REFUSED", os, 64), refused.size());
    EXPECT_TRUE(std::u16string(reinterpret_cast<const char16_t*>(os)) == refused) << "the OS block";
    EXPECT_TRUE(put(fake, u"ZK7W_REFUSED="));
}

// The listing as msvcrt's own table holds it, through any copy: every entry exactly, but the hidden
// ones whose name is empty.
std::vector<std::u16string> listedThrough(FakeJni& fake, const Library& lib) {
    jobjectArray listed = lib.environ0(&fake.env, nullptr);
    EXPECT_NE(listed, nullptr);
    return listed == nullptr ? std::vector<std::u16string>() : FakeJni::elementsOf(listed);
}

TEST(Loader, ListsMsvcrtsTableExactlyButTheHiddenEntries) {
    ASSERT_NE(library().environ0, nullptr);
    FakeJni fake;
    const std::u16string value = u"\u041f\u0440\u0438\u0432\u0435\u0442 \U0001F600 " + std::u16string{0xDC00};
    ASSERT_TRUE(put(fake, u"ZK7W_LISTED=" + value));
    ASSERT_TRUE(put(fake, u"ZK7W_UNLISTED=soon"));
    ASSERT_TRUE(put(fake, u"ZK7W_UNLISTED="));
    std::vector<std::u16string> table;
    size_t hidden = 0;
    for (wchar_t** entry = _wenviron; entry != nullptr && *entry != nullptr; ++entry) {
        std::u16string text(reinterpret_cast<const char16_t*>(*entry));
        if (text[0] == u'=') {
            ++hidden;
        } else {
            table.push_back(text);
        }
    }
    std::printf("msvcrt's table: %u entries, %u of them hidden\n", static_cast<unsigned>(table.size() + hidden),
                static_cast<unsigned>(hidden));
    std::vector<std::u16string> listed = listedThrough(fake, library());
    EXPECT_TRUE(listed == table);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), u"ZK7W_LISTED=" + value), 1);
    for (const std::u16string& entry : listed) {
        EXPECT_NE(entry.substr(0, 14), u"ZK7W_UNLISTED=");
    }
    EXPECT_EQ(fake.stringRefs, 0);
    EXPECT_EQ(fake.localRefs, 1);
    EXPECT_TRUE(put(fake, u"ZK7W_LISTED="));
}

// Units as Windows holds them, little-endian, one byte a char.
std::string heldOf(const std::u16string& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
}

TEST(Loader, PutsEntriesBackAsHeldAndRefusesWhatWouldApplySomethingElse) {
    const Library& lib = library();
    FakeJni fake;
    const std::u16string value = u"held 😀 " + std::u16string{0xDC00};
    ASSERT_TRUE(put(fake, u"ZK7W_HELD=" + value));
    jobjectArray variable = lib.heldVariable0(&fake.env, nullptr, fake.string(u"zk7w_held"));
    ASSERT_NE(variable, nullptr);
    std::vector<std::string> held = FakeJni::byteElementsOf(variable);
    ASSERT_EQ(held.size(), 2u);
    EXPECT_EQ(held[0], heldOf(u"ZK7W_HELD")) << "the name as stored, not as asked";
    EXPECT_EQ(held[1], heldOf(value));
    jobjectArray entries = lib.heldEntries0(&fake.env, nullptr);
    ASSERT_NE(entries, nullptr);
    std::vector<std::string> all = FakeJni::byteElementsOf(entries);
    EXPECT_EQ(std::count(all.begin(), all.end(), heldOf(u"ZK7W_HELD")), 1);
    // name, value (null: removed), whether applied, what the runtime holds then
    struct Case {
        std::string name;
        const std::string* value;
        bool applied;
        std::u16string after;
    };
    const std::string odd = "x";
    const std::string withZero = heldOf(std::u16string(u"a\0b", 3));
    const std::string heldValue = heldOf(value);
    const Case cases[] = {
        {heldOf(u"ZK7W_HELD"), nullptr, true, kUnset},
        {heldOf(u"ZK7W_HELD"), &heldValue, true, value},
        {heldOf(u"ZK7W_HELD=X"), &heldValue, false, value},
        {heldOf(u"ZK7W_HELD"), &odd, false, value},
        {heldOf(u"ZK7W_HELD"), &withZero, false, value},
        {"", &heldValue, false, value},
    };
    for (const Case& c : cases) {
        jbyteArray name = fake.bytes(c.name);
        jbyteArray bytes = c.value == nullptr ? nullptr : fake.bytes(*c.value);
        EXPECT_EQ(lib.putHeld0(&fake.env, nullptr, name, bytes) == JNI_TRUE, c.applied) << "case " << (&c - cases);
        EXPECT_EQ(runtimeValue(u"ZK7W_HELD"), c.after);
    }
    EXPECT_EQ(heldOf(get(fake, u"ZK7W_HELD")), heldValue);
    EXPECT_EQ(fake.badCalls, 0);
    EXPECT_TRUE(put(fake, u"ZK7W_HELD="));
}

// A process whose block holds a name three times (in two cases), an entry without a name and one
// without '=': started from this program with that block, it writes what msvcrt's table holds,
// what the library lists and what it looks up, one line each, units in hex.
const char16_t kBlockChildOutput[] = u"ZK7W_BLOCK_OUTPUT";

std::string hexOf(const std::u16string& text) {
    std::string hex;
    char unit[8];
    for (char16_t c : text) {
        std::snprintf(unit, sizeof unit, "%04x", static_cast<unsigned>(c));
        hex += unit;
    }
    return hex;
}

TEST(BlockChild, DISABLED_WritesItsTableListingAndLookup) {
    const wchar_t* output = _wgetenv(reinterpret_cast<const wchar_t*>(kBlockChildOutput));
    ASSERT_NE(output, nullptr);
    FILE* out = _wfopen(output, L"wb");
    ASSERT_NE(out, nullptr);
    FakeJni fake;
    std::fprintf(out, "lookup %s\n", hexOf(get(fake, u"ZK7W_DUP")).c_str());
    for (wchar_t** entry = _wenviron; entry != nullptr && *entry != nullptr; ++entry) {
        std::fprintf(out, "table %s\n", hexOf(reinterpret_cast<const char16_t*>(*entry)).c_str());
    }
    for (const std::u16string& entry : listedThrough(fake, library())) {
        std::fprintf(out, "listed %s\n", hexOf(entry).c_str());
    }
    std::fclose(out);
}

TEST(Loader, ListsEachNamedVariableOnceTheFirstItsLookupFinds) {
    ASSERT_NE(library().environ0, nullptr);
    std::wstring output = testFolder() + L"zk7w_block.txt";
    DeleteFileW(output.c_str());
    // What Wine needs to start a program, then the entries under test.
    std::vector<std::u16string> block;
    for (const char16_t* kept : {u"SystemRoot", u"PATH", u"WINEPREFIX", u"WINEDEBUG", u"WINEDLLOVERRIDES"}) {
        std::u16string value = runtimeValue(kept);
        if (value != kUnset) {
            block.push_back(std::u16string(kept) + u"=" + value);
        }
    }
    block.push_back(std::u16string(kBlockChildOutput) + u"=" + reinterpret_cast<const char16_t*>(output.c_str()));
    const std::u16string entries[] = {u"ZK7W_DUP=first", u"ZK7W_ONE=one", u"zk7w_dup=second", u"=nameless",
                                      u"JUNK_WITHOUT_EQUALS", u"ZK7W_DUP=third"};
    block.insert(block.end(), std::begin(entries), std::end(entries));
    std::u16string text;
    for (const std::u16string& entry : block) {
        text += entry + u'\0';
    }
    text += u'\0';
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) +
                           L"\" --gtest_also_run_disabled_tests --gtest_filter=BlockChild.DISABLED_WritesItsTableListingAndLookup";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                               &text[0], nullptr, &startup, &child))
        << GetLastError();
    ASSERT_EQ(WaitForSingleObject(child.hProcess, 60000), WAIT_OBJECT_0);
    DWORD status = 1;
    GetExitCodeProcess(child.hProcess, &status);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    ASSERT_EQ(status, 0u);

    std::vector<std::string> table;
    std::vector<std::string> listed;
    std::string lookup;
    FILE* in = _wfopen(output.c_str(), L"rb");
    ASSERT_NE(in, nullptr);
    char line[4096];
    while (std::fgets(line, sizeof line, in) != nullptr) {
        std::string text(line);
        text.erase(text.find_last_not_of("\r\n") + 1);
        std::string kind = text.substr(0, text.find(' '));
        std::string hex = text.substr(kind.size() + 1);
        if (kind == "table") {
            table.push_back(hex);
        } else if (kind == "listed") {
            listed.push_back(hex);
        } else if (kind == "lookup") {
            lookup = hex;
        }
    }
    std::fclose(in);
    DeleteFileW(output.c_str());
    // The block reached msvcrt's table as it was made (Wine leaves out "=nameless" itself), so what
    // is missing below is left out by the listing.
    for (const std::u16string& entry : {u"ZK7W_DUP=first", u"zk7w_dup=second", u"ZK7W_DUP=third", u"JUNK_WITHOUT_EQUALS"}) {
        EXPECT_EQ(std::count(table.begin(), table.end(), hexOf(entry)), 1) << hexOf(entry);
    }
    EXPECT_EQ(lookup, hexOf(u"first"));
    // The table's entries in order, but those without a name and every later one of a name (the
    // names here are ASCII, so upper-casing each unit matches them as the runtime does).
    std::vector<std::string> expected;
    std::vector<std::u16string> seen;
    for (const std::string& hex : table) {
        std::u16string entry;
        for (size_t i = 0; i + 4 <= hex.size(); i += 4) {
            entry.push_back(static_cast<char16_t>(std::stoul(hex.substr(i, 4), nullptr, 16)));
        }
        size_t equals = entry.find(u'=');
        if (equals == std::u16string::npos || equals == 0) {
            continue;
        }
        std::u16string name = entry.substr(0, equals);
        std::transform(name.begin(), name.end(), name.begin(), [](char16_t c) { return c >= u'a' && c <= u'z' ? c - 32 : c; });
        if (std::find(seen.begin(), seen.end(), name) == seen.end()) {
            seen.push_back(name);
            expected.push_back(hex);
        }
    }
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), hexOf(u"ZK7W_DUP=first")), 1);
}

TEST(Loader, ConcurrentGetsAndPutsSeeOnlyWholeValues) {
    ASSERT_NE(library().putenv0, nullptr);
    StressReport report = runStress(library().getenv0, library().putenv0, 8, kStressRounds, kStressBoundMillis);
    std::printf("%s\n", describe(report).c_str());
    EXPECT_EQ(report.stalled, "");
    EXPECT_EQ(report.faults, 0) << report.firstFault;
}

TEST(TwoCopies, AreTwoModulesThatShareOneEnvironment) {
    const Library& a = copyA();
    const Library& b = copyB();
    ASSERT_NE(a.putenv0, nullptr) << "copy-a: " << GetLastError();
    ASSERT_NE(b.putenv0, nullptr) << "copy-b: " << GetLastError();
    ASSERT_NE(library().putenv0, nullptr);
    EXPECT_NE(a.module, b.module);
    EXPECT_NE(a.module, library().module);
    EXPECT_NE(b.module, library().module);
    struct Crossing {
        const char* what;
        const Library& writer;
        const Library& reader;
    };
    const Crossing crossings[] = {{"a to b", a, b}, {"b to a", b, a}, {"a to first", a, library()},
                                  {"first to b", library(), b}};
    const std::u16string values[] = {u"short", std::u16string(600, u'\u4e2d'),
                                     std::u16string{u'\u041f', 0xD800, u'='}, u""};
    for (const Crossing& c : crossings) {
        for (const std::u16string& value : values) {
            FakeJni fake;
            EXPECT_TRUE(put(fake, c.writer, u"ZK7W_CROSS=" + value)) << c.what;
            const std::u16string& expected = value.empty() ? kUnset : value;
            EXPECT_TRUE(get(fake, c.reader, u"ZK7W_CROSS") == expected) << c.what << ", " << value.size();
            EXPECT_TRUE(runtimeValue(u"ZK7W_CROSS") == expected) << c.what << ", " << value.size();
            EXPECT_TRUE(listedThrough(fake, c.reader) == listedThrough(fake, c.writer)) << c.what;
        }
    }
}

// Without one lock for both copies, a read through one copy copies a string that an assignment
// through the other has just freed.
TEST(TwoCopies, WritersThroughOneAndReadersThroughTheOtherSeeOnlyWholeValues) {
    ASSERT_NE(copyA().putenv0, nullptr);
    ASSERT_NE(copyB().getenv0, nullptr);
    ASSERT_NE(copyA().module, copyB().module);
    StressReport report = runStress(copyB().getenv0, copyA().putenv0, 8, kStressRounds, kStressBoundMillis);
    std::printf("%s\n", describe(report).c_str());
    EXPECT_EQ(report.stalled, "");
    EXPECT_EQ(report.torn, 0);
    EXPECT_EQ(report.faults, 0) << report.firstFault;
}

// What the serving copy publishes in this process's mapping, which any process in the session could
// have made first: the three natives where copies before the serving contract look for them, then
// the function that gives the contract.
constexpr size_t kPublished = 4;
struct PublishedNatives {
    void* volatile natives[kPublished];
};

std::vector<void*> publishedBy(const Library& lib) {
    return {reinterpret_cast<void*>(lib.getenv0), reinterpret_cast<void*>(lib.putenv0),
            reinterpret_cast<void*>(lib.environ0), exportOf(lib.module, "zknative7_serving_contract")};
}

std::wstring servingMappingName() {
    return L"Local\\zknative7-serving-" + std::to_wstring(GetCurrentProcessId());
}

enum Squat {
    kNothingPublished,
    kNoModule,
    kNotOurExports,
    kOneByteOff,
    kSwapped,
    kHalfAnotherCopy,
    kLastMissing,
    kItsOwn
};

// What a copy finds in the mapping instead of a serving copy's.
std::vector<void*> squatted(Squat squat, const Library& self, const void* heapBlock) {
    void* notOurs = reinterpret_cast<void*>(&exitOnFault);
    std::vector<void*> found = publishedBy(library());
    switch (squat) {
        case kNothingPublished: found.assign(kPublished, nullptr); break;
        case kNoModule: found.assign(kPublished, const_cast<void*>(heapBlock)); break;
        case kNotOurExports: found.assign(kPublished, notOurs); break;
        case kOneByteOff:
            for (void*& native : found) {
                native = static_cast<char*>(native) + 1;
            }
            break;
        case kSwapped: std::swap(found[0], found[1]); break;
        case kHalfAnotherCopy: found[1] = notOurs; break;
        case kLastMissing: found.back() = nullptr; break;  // as an earlier copy: shared through its natives
        case kItsOwn: found = publishedBy(self); break;
    }
    return found;
}

void publish(PublishedNatives* view, const std::vector<void*>& natives) {
    for (size_t i = 0; i < kPublished; ++i) {
        view->natives[i] = natives[i];
    }
}

// Calling through any of these would fault, recurse without end or corrupt the stack; the copy that
// finds one must serve itself instead, after at most a short wait.
TEST(TwoCopies, ACopyServesItselfWhenTheMappingNamesNoOtherCopy) {
    FakeJni first;
    ASSERT_NE(library().getenv0, nullptr);
    get(first, u"ZK7W_RESOLVED");  // the first copy resolves, so the mapping exists
    HANDLE mapping = OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, servingMappingName().c_str());
    ASSERT_NE(mapping, nullptr) << "no serving mapping: " << GetLastError();
    auto* view = static_cast<PublishedNatives*>(
        MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(PublishedNatives)));
    ASSERT_NE(view, nullptr);
    const std::vector<void*> serving(view->natives, view->natives + kPublished);
    HMODULE servingModule = nullptr;
    ASSERT_TRUE(GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        static_cast<LPCWSTR>(serving[0]), &servingModule));
    EXPECT_EQ(publishedBy(bind(servingModule)), serving);

    const struct {
        const wchar_t* folder;
        Squat squat;
    } cases[] = {{L"copy-nothing", kNothingPublished}, {L"copy-nomodule", kNoModule},
                 {L"copy-notours", kNotOurExports},    {L"copy-offbyone", kOneByteOff},
                 {L"copy-swapped", kSwapped},          {L"copy-half", kHalfAnotherCopy},
                 {L"copy-lastmissing", kLastMissing},  {L"copy-own", kItsOwn}};
    const std::vector<char> heapBlock(64, 0);
    for (const auto& c : cases) {
        const Library copy = loadCopy(c.folder);
        ASSERT_NE(copy.putenv0, nullptr) << c.squat << ": " << GetLastError();
        publish(view, squatted(c.squat, copy, heapBlock.data()));
        FakeJni fake;
        const std::u16string value = u"served " + std::u16string(1, static_cast<char16_t>(u'0' + c.squat));
        DWORD start = GetTickCount();
        EXPECT_TRUE(put(fake, copy, u"ZK7W_SQUAT=" + value)) << c.squat;
        DWORD waited = GetTickCount() - start;
        EXPECT_LT(waited, 10000u) << c.squat;
        EXPECT_TRUE(runtimeValue(u"ZK7W_SQUAT") == value) << c.squat;
        EXPECT_TRUE(get(fake, copy, u"ZK7W_SQUAT") == value) << c.squat;
        EXPECT_TRUE(put(fake, copy, u"ZK7W_SQUAT=")) << c.squat;
        publish(view, serving);
    }
    UnmapViewOfFile(view);
    CloseHandle(mapping);
}

}  // namespace
