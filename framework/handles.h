#pragma once
// Move-only owners of Win32 resources: every early return closes what was
// opened. Each wrapper is as thin as the handle it owns.
#include <windows.h>

#include <utility>

namespace fw {

// Owns a handle value with a given invalid value and closer.
template <typename T, T Invalid, typename Closer>
class UniqueResource {
public:
    UniqueResource() noexcept = default;
    explicit UniqueResource(T value) noexcept : value_(value) {}
    ~UniqueResource() { reset(); }

    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    T get() const noexcept { return value_; }
    bool valid() const noexcept { return value_ != Invalid; }
    explicit operator bool() const noexcept { return valid(); }

    T release() noexcept { return std::exchange(value_, Invalid); }

    // Closing does not disturb the caller's last error: error codes are
    // captured after cleanup in several places.
    void reset(T value = Invalid) noexcept {
        if (value_ != Invalid) {
            DWORD saved = GetLastError();
            Closer()(value_);
            SetLastError(saved);
        }
        value_ = value;
    }

private:
    T value_ = Invalid;
};

struct CloseHandleCloser {
    void operator()(HANDLE h) const noexcept { CloseHandle(h); }
};
struct FindCloseCloser {
    void operator()(HANDLE h) const noexcept { FindClose(h); }
};
struct RegCloseKeyCloser {
    void operator()(HKEY k) const noexcept { RegCloseKey(k); }
};

// A file handle: invalid is INVALID_HANDLE_VALUE, as CreateFile returns.
class FileHandle : public UniqueResource<HANDLE, nullptr, CloseHandleCloser> {
public:
    FileHandle() noexcept = default;
    explicit FileHandle(HANDLE h) noexcept
        : UniqueResource(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
};

// A kernel object handle that is null on failure (threads, events, tokens).
using KernelHandle = UniqueResource<HANDLE, nullptr, CloseHandleCloser>;

class FindHandle : public UniqueResource<HANDLE, nullptr, FindCloseCloser> {
public:
    FindHandle() noexcept = default;
    explicit FindHandle(HANDLE h) noexcept
        : UniqueResource(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
};

using RegKey = UniqueResource<HKEY, nullptr, RegCloseKeyCloser>;

// A block from the process heap.
template <typename T>
class HeapBlock {
public:
    HeapBlock() noexcept = default;
    // Allocates count elements; check valid() afterwards.
    static HeapBlock allocate(size_t count) noexcept {
        return HeapBlock(static_cast<T*>(HeapAlloc(GetProcessHeap(), 0, count * sizeof(T))));
    }
    explicit HeapBlock(T* p) noexcept : p_(p) {}
    ~HeapBlock() { reset(); }
    HeapBlock(HeapBlock&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    HeapBlock& operator=(HeapBlock&& o) noexcept {
        if (this != &o) {
            reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;

    T* get() const noexcept { return p_; }
    bool valid() const noexcept { return p_ != nullptr; }
    explicit operator bool() const noexcept { return valid(); }

    void reset() noexcept {
        if (p_) {
            DWORD saved = GetLastError();
            HeapFree(GetProcessHeap(), 0, p_);
            SetLastError(saved);
            p_ = nullptr;
        }
    }

private:
    T* p_ = nullptr;
};

// Pages from VirtualAlloc, committed read/write and page-aligned (unbuffered
// I/O on Windows needs sector-aligned buffers).
class VirtualPages {
public:
    VirtualPages() noexcept = default;
    static VirtualPages allocate(size_t bytes) noexcept {
        return VirtualPages(VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    }
    explicit VirtualPages(void* p) noexcept : p_(p) {}
    ~VirtualPages() { reset(); }
    VirtualPages(VirtualPages&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    VirtualPages& operator=(VirtualPages&& o) noexcept {
        if (this != &o) {
            reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    VirtualPages(const VirtualPages&) = delete;
    VirtualPages& operator=(const VirtualPages&) = delete;

    void* get() const noexcept { return p_; }
    bool valid() const noexcept { return p_ != nullptr; }
    void* release() noexcept { return std::exchange(p_, nullptr); }

    void reset() noexcept {
        if (p_) {
            DWORD saved = GetLastError();
            VirtualFree(p_, 0, MEM_RELEASE);
            SetLastError(saved);
            p_ = nullptr;
        }
    }

private:
    void* p_ = nullptr;
};

}  // namespace fw
