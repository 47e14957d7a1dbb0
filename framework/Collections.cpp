#include "Collections.h"

#include <stdlib.h>
#include <string.h>

CPtrList::CPtrList(int nBlockSize) : m_nBlockSize(nBlockSize > 0 ? nBlockSize : 10) {}

CPtrList::~CPtrList() { RemoveAll(); }

void*& CPtrList::GetNext(POSITION& rPosition) const
{
    CNode* pNode = reinterpret_cast<CNode*>(rPosition);
    rPosition = reinterpret_cast<POSITION>(pNode->pNext);
    return pNode->data;
}

CPtrList::CNode* CPtrList::NewNode(CNode* pPrev, CNode* pNext)
{
    if (!m_pNodeFree) {
        // One allocation per block of nodes; freed nodes go back to a free list.
        CPlex* pBlock = static_cast<CPlex*>(malloc(sizeof(CPlex) + m_nBlockSize * sizeof(CNode)));
        if (!pBlock)
            abort();
        pBlock->pNext = m_pBlocks;
        m_pBlocks = pBlock;
        CNode* pNode = reinterpret_cast<CNode*>(pBlock + 1) + m_nBlockSize - 1;
        for (int i = m_nBlockSize - 1; i >= 0; --i, --pNode) {
            pNode->pNext = m_pNodeFree;
            m_pNodeFree = pNode;
        }
    }
    CNode* pNode = m_pNodeFree;
    m_pNodeFree = m_pNodeFree->pNext;
    pNode->pPrev = pPrev;
    pNode->pNext = pNext;
    pNode->data = nullptr;
    m_nCount++;
    return pNode;
}

POSITION CPtrList::AddTail(void* newElement)
{
    CNode* pNode = NewNode(m_pNodeTail, nullptr);
    pNode->data = newElement;
    if (m_pNodeTail)
        m_pNodeTail->pNext = pNode;
    else
        m_pNodeHead = pNode;
    m_pNodeTail = pNode;
    return reinterpret_cast<POSITION>(pNode);
}

void CPtrList::RemoveAll()
{
    m_nCount = 0;
    m_pNodeHead = m_pNodeTail = m_pNodeFree = nullptr;
    while (m_pBlocks) {
        CPlex* pNext = m_pBlocks->pNext;
        free(m_pBlocks);
        m_pBlocks = pNext;
    }
}

CPtrArray::~CPtrArray() { free(m_pData); }

void CPtrArray::SetSize(int nNewSize)
{
    if (nNewSize > m_nMaxSize) {
        int nMax = m_nMaxSize ? m_nMaxSize : 4;
        while (nMax < nNewSize)
            nMax *= 2;
        void** p = static_cast<void**>(realloc(m_pData, nMax * sizeof(void*)));
        if (!p)
            abort();
        m_pData = p;
        m_nMaxSize = nMax;
    }
    if (nNewSize > m_nSize)
        memset(m_pData + m_nSize, 0, (nNewSize - m_nSize) * sizeof(void*));
    m_nSize = nNewSize < 0 ? 0 : nNewSize;
}

int CPtrArray::Add(void* p)
{
    SetSize(m_nSize + 1);
    m_pData[m_nSize - 1] = p;
    return m_nSize - 1;
}

void CPtrArray::RemoveAt(int nIndex, int nCount)
{
    int nMove = m_nSize - (nIndex + nCount);
    if (nMove > 0)
        memmove(m_pData + nIndex, m_pData + nIndex + nCount, nMove * sizeof(void*));
    m_nSize -= nCount;
}

void CPtrArray::RemoveAll()
{
    free(m_pData);
    m_pData = nullptr;
    m_nSize = m_nMaxSize = 0;
}
