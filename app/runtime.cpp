// The exe is built without exceptions. These replace the pieces of the C++ runtime that would
// throw, so that the unwinder, the exception classes and the thread library they need are not
// linked in: a failed allocation or a string grown past its limit ends the program at once.
// Replacing the global allocation functions is standard C++; the std::__throw_* helpers are
// the hooks that libstdc++'s own templates call.

#include <windows.h>

#include <cstdlib>
#include <new>

namespace {

[[noreturn]] void Fatal(const wchar_t* what) {
    FatalAppExitW(0, what);
    std::abort();
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* memory = std::malloc(size ? size : 1)) return memory;
    Fatal(L"Brasselt ran out of memory.");
}

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace std {
void __throw_bad_alloc() { Fatal(L"Brasselt ran out of memory."); }
void __throw_bad_array_new_length() { Fatal(L"Brasselt ran out of memory."); }
void __throw_length_error(const char*) { Fatal(L"Brasselt met a string that is too long."); }
void __throw_logic_error(const char*) { Fatal(L"Brasselt met an internal error."); }
void __throw_out_of_range_fmt(const char*, ...) { Fatal(L"Brasselt met an internal error."); }
}  // namespace std
