#pragma once
// Fault injection at a module's import address table: see tests/README.md.
#include <windows.h>

#include <functional>
#include <type_traits>
#include <vector>

namespace fault {

class ImportPatch {
public:
    // Fails the test when the module does not import the function from dll.
    ImportPatch(HMODULE module, const char* dll, const char* function, const void* hook);
    // For a function the module imports by ordinal.
    ImportPatch(HMODULE module, const char* dll, WORD ordinal, const void* hook);
    // A hook with the function's own signature; `function` a name or an ordinal.
    template <typename Fn, typename Name, typename = std::enable_if_t<std::is_function_v<Fn>>>
    ImportPatch(HMODULE module, const char* dll, Name function, Fn* hook)
        : ImportPatch(module, dll, function, reinterpret_cast<const void*>(hook)) {}
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    // What the slots held before: the system's function or an earlier hook.
    void* previous() const { return originals_.empty() ? nullptr : originals_.front(); }

private:
    void Install(std::vector<void**> slots, const void* hook);

    std::vector<void**> slots_;
    std::vector<void*> originals_;
};

// The system's own function, for hooks in the patched module to pass calls on.
template <typename Fn>
Fn* Real(Fn*, const char* dll, const char* function) {
    return reinterpret_cast<Fn*>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(dll), function)));
}

// Fires on the N-th call after Arm(N), and on every later one when `sticky`.
class Trigger {
public:
    void Arm(long nth, bool sticky = false) {
        remaining_ = nth;
        sticky_ = sticky;
    }
    void Disarm() { remaining_ = 0; }
    bool Fire() {
        if (remaining_ <= 0 || --remaining_ != 0) return false;
        if (sticky_) remaining_ = 1;
        return true;
    }

private:
    volatile long remaining_ = 0;
    bool sticky_ = false;
};

// Counts the calls, shows each to `before` and passes it on, unless `trigger`
// fires: then it fails with `error` and `failure`. One per function type.
template <typename Fn>
class Hook;

template <typename R, typename... A>
class Hook<R (*)(A...)> {
public:
    // `function` is a name, or the WORD ordinal of a function imported by ordinal.
    template <typename Name>
    Hook(HMODULE module, const char* dll, Name function, R failure = R(), DWORD error = 0)
        : failure_(failure), error_(error), patch_(Activate(this, module), dll, function, &Call) {}
    ~Hook() { active_ = nullptr; }
    Hook(const Hook&) = delete;
    Hook& operator=(const Hook&) = delete;

    Trigger trigger;
    std::function<void(A...)> before;
    long calls = 0;

private:
    static HMODULE Activate(Hook* hook, HMODULE module) {
        active_ = hook;
        return module;
    }
    static R WINAPI Call(A... args) {
        Hook& self = *active_;
        ++self.calls;
        if (self.before) self.before(args...);
        if (self.trigger.Fire()) {
            SetLastError(self.error_);
            return self.failure_;
        }
        return reinterpret_cast<R (*)(A...)>(self.patch_.previous())(args...);
    }

    static inline Hook* active_ = nullptr;
    R failure_;
    DWORD error_;
    ImportPatch patch_;
};

}  // namespace fault
