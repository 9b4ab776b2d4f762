// Stands in for a C runtime that refuses an assignment msvcrt accepts, which no runtime under Wine
// does: a DLL named as the debug UCRT (which Wine lacks) whose _wputenv refuses every value holding
// "refused", keeping a copy of the environment of its own as runtimes do.
#include <map>
#include <string>

namespace {

std::map<std::wstring, std::wstring>& variables() {
    static std::map<std::wstring, std::wstring> held;
    return held;
}

}  // namespace

extern "C" int __cdecl refusingWputenv(const wchar_t* assignment) {
    std::wstring text(assignment);
    size_t equals = text.find(L'=');
    if (equals == std::wstring::npos || equals == 0) {
        return -1;
    }
    std::wstring name = text.substr(0, equals);
    std::wstring value = text.substr(equals + 1);
    if (value.find(L"refused") != std::wstring::npos) {
        return -1;
    }
    if (value.empty()) {
        variables().erase(name);
    } else {
        variables()[name] = value;
    }
    return 0;
}

extern "C" const wchar_t* __cdecl refusingWgetenv(const wchar_t* name) {
    auto found = variables().find(name);
    return found == variables().end() ? nullptr : found->second.c_str();
}
