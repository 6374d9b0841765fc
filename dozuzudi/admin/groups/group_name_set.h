// A hash set of IHashable pointers: chains of nodes in a fixed number of
// buckets, an item's bucket being its Hash modulo the bucket count. Insert
// does not look for duplicates: callers ask Contains first.
//
// Ownership: Clear destroys the items; the destructor frees only the nodes
// and the buckets (items still in the set then stay the caller's).
#pragma once

#include "admin/groups/hashable.h"

class GroupNameSet {
 public:
  explicit GroupNameSet(int nBuckets);
  ~GroupNameSet();
  GroupNameSet(const GroupNameSet&) = delete;
  GroupNameSet& operator=(const GroupNameSet&) = delete;

  // Puts the item at the head of its bucket's chain; false when no node
  // can be had.
  bool Insert(IHashable* pItem);
  // True when an item of the probe's bucket Equals the probe (the probe's
  // Equals is asked).
  bool Contains(const IHashable* pProbe) const;
  // Destroys every item and empties the set.
  void Clear();

 private:
  struct Node {
    IHashable* pItem;
    Node* pNext;
  };
  Node** Bucket(const IHashable* pItem) const;

  int m_nBuckets;
  Node** m_rgpBuckets;
};
