// One owner for one handle of the system, for the programs' own code: the
// handle is closed once, when its owner goes or is given another one. It
// can be moved but not copied, since a copy would close it a second time.
// Each kind of handle brings its type, the value that means "none" (files
// and devices: INVALID_HANDLE_VALUE; most others: null) and its closer.
#pragma once
#include <windows.h>
#include <winsvc.h>

template <class Traits> class CHandle {
public:
    typedef typename Traits::Type Type;

    CHandle() : m_h(Traits::None()) {}
    explicit CHandle(Type h) : m_h(h) {}
    ~CHandle() { Reset(); }
    CHandle(CHandle&& other) noexcept : m_h(other.Detach()) {}
    CHandle& operator=(CHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Detach());
        return *this;
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;

    Type Get() const { return m_h; }
    Type operator->() const { return m_h; }
    explicit operator bool() const { return m_h != Traits::None(); }
    // For a call that hands the new handle back through a pointer; the one
    // held so far is closed first.
    Type* Out()
    {
        Reset();
        return &m_h;
    }
    Type Detach()
    {
        Type h = m_h;
        m_h = Traits::None();
        return h;
    }
    void Reset(Type h = Traits::None())
    {
        if (m_h != Traits::None())
            Traits::Close(m_h);
        m_h = h;
    }

private:
    Type m_h;
};

struct FileHandleTraits {  // files and devices (CreateFile)
    typedef HANDLE Type;
    static HANDLE None() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
struct KernelHandleTraits {  // processes, threads, events (null when none)
    typedef HANDLE Type;
    static HANDLE None() { return nullptr; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
struct FindHandleTraits {
    typedef HANDLE Type;
    static HANDLE None() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::FindClose(h); }
};
struct RegKeyTraits {
    typedef HKEY Type;
    static HKEY None() { return nullptr; }
    static void Close(HKEY h) { ::RegCloseKey(h); }
};
struct ServiceHandleTraits {
    typedef SC_HANDLE Type;
    static SC_HANDLE None() { return nullptr; }
    static void Close(SC_HANDLE h) { ::CloseServiceHandle(h); }
};
template <class T> struct ComTraits {
    typedef T* Type;
    static T* None() { return nullptr; }
    static void Close(T* p) { p->Release(); }
};

typedef CHandle<FileHandleTraits> CFileHandle;
typedef CHandle<KernelHandleTraits> CKernelHandle;
typedef CHandle<FindHandleTraits> CFindHandle;
typedef CHandle<RegKeyTraits> CRegKey;
typedef CHandle<ServiceHandleTraits> CServiceHandle;
template <class T> using CComPtr = CHandle<ComTraits<T>>;
