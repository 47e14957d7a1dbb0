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

// A kind of handle: its type, its value for none and its closer.
template <class T, T (*None_)(), auto Closer> struct HandleTraits {
    typedef T Type;
    static T None() { return None_(); }
    static void Close(T h) { Closer(h); }
};
template <class T> T NoneIsNull() { return nullptr; }
inline HANDLE NoneIsInvalid() { return INVALID_HANDLE_VALUE; }

template <class T> struct ComTraits {
    typedef T* Type;
    static T* None() { return nullptr; }
    static void Close(T* p) { p->Release(); }
};

typedef CHandle<HandleTraits<HANDLE, NoneIsInvalid, ::CloseHandle>> CFileHandle;  // files and devices (CreateFile)
typedef CHandle<HandleTraits<HANDLE, NoneIsNull<HANDLE>, ::CloseHandle>> CKernelHandle;  // processes, threads, events
typedef CHandle<HandleTraits<HANDLE, NoneIsInvalid, ::FindClose>> CFindHandle;
typedef CHandle<HandleTraits<HKEY, NoneIsNull<HKEY>, ::RegCloseKey>> CRegKey;
typedef CHandle<HandleTraits<SC_HANDLE, NoneIsNull<SC_HANDLE>, ::CloseServiceHandle>> CServiceHandle;
template <class T> using CComPtr = CHandle<ComTraits<T>>;
