#include "admin/groups/group_name_set.h"

#include "platform/base/heap.h"

GroupNameSet::GroupNameSet(int nBuckets) : m_nBuckets(nBuckets > 0 ? nBuckets : 0), m_rgpBuckets(nullptr) {
  m_rgpBuckets = static_cast<Node**>(
      HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, static_cast<SIZE_T>(m_nBuckets) * sizeof(Node*)));
  // Without buckets nothing can be inserted.
  if (m_rgpBuckets == nullptr) m_nBuckets = 0;
}

GroupNameSet::~GroupNameSet() {
  for (int i = 0; i < m_nBuckets; ++i) {
    for (Node* pNode = m_rgpBuckets[i]; pNode != nullptr;) {
      Node* pNext = pNode->pNext;
      HeapFree(GetProcessHeap(), 0, pNode);
      pNode = pNext;
    }
  }
  HeapFree(GetProcessHeap(), 0, m_rgpBuckets);
}

GroupNameSet::Node** GroupNameSet::Bucket(const IHashable* pItem) const {
  return &m_rgpBuckets[pItem->Hash() % static_cast<DWORD>(m_nBuckets)];
}

bool GroupNameSet::Insert(IHashable* pItem) {
  if (m_nBuckets == 0) return false;
  auto* pNode = static_cast<Node*>(HeapAlloc(GetProcessHeap(), 0, sizeof(Node)));
  if (pNode == nullptr) return false;
  Node** ppHead = Bucket(pItem);
  pNode->pItem = pItem;
  pNode->pNext = *ppHead;
  *ppHead = pNode;
  return true;
}

bool GroupNameSet::Contains(const IHashable* pProbe) const {
  if (m_nBuckets == 0) return false;
  for (Node* pNode = *Bucket(pProbe); pNode != nullptr; pNode = pNode->pNext)
    if (pProbe->Equals(*pNode->pItem)) return true;
  return false;
}

void GroupNameSet::Clear() {
  for (int i = 0; i < m_nBuckets; ++i) {
    for (Node* pNode = m_rgpBuckets[i]; pNode != nullptr;) {
      Node* pNext = pNode->pNext;
      delete pNode->pItem;
      HeapFree(GetProcessHeap(), 0, pNode);
      pNode = pNext;
    }
    m_rgpBuckets[i] = nullptr;
  }
}
