// Pointer collections: CPtrList (doubly linked, nodes carved from blocks)
// and CPtrArray (growable array). They hold void pointers and own only
// their nodes and storage, never what the pointers point to.
#pragma once
#include <windows.h>

typedef struct __POSITION* POSITION;

class CPtrList {
public:
    explicit CPtrList(int nBlockSize = 10);
    ~CPtrList();
    CPtrList(const CPtrList&) = delete;
    CPtrList& operator=(const CPtrList&) = delete;

    int GetCount() const { return m_nCount; }
    POSITION GetHeadPosition() const { return reinterpret_cast<POSITION>(m_pNodeHead); }
    void*& GetNext(POSITION& rPosition) const;
    POSITION AddTail(void* newElement);
    void RemoveAll();

private:
    struct CNode {
        CNode* pNext;
        CNode* pPrev;
        void* data;
    };
    struct CPlex {
        CPlex* pNext;
    };
    CNode* NewNode(CNode* pPrev, CNode* pNext);

    CNode* m_pNodeHead = nullptr;
    CNode* m_pNodeTail = nullptr;
    int m_nCount = 0;
    CNode* m_pNodeFree = nullptr;
    CPlex* m_pBlocks = nullptr;
    int m_nBlockSize;
};

class CPtrArray {
public:
    CPtrArray() = default;
    ~CPtrArray();
    CPtrArray(const CPtrArray&) = delete;
    CPtrArray& operator=(const CPtrArray&) = delete;

    int GetSize() const { return m_nSize; }
    int GetUpperBound() const { return m_nSize - 1; }
    void* GetAt(int nIndex) const { return m_pData[nIndex]; }
    void* operator[](int nIndex) const { return m_pData[nIndex]; }
    int Add(void* p);
    void RemoveAt(int nIndex, int nCount = 1);
    void RemoveAll();

private:
    void SetSize(int nNewSize);

    void** m_pData = nullptr;
    int m_nSize = 0;
    int m_nMaxSize = 0;
};
