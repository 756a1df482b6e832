// A sequence of non-negative weights with prefix sums, kept in an implicit
// treap: insert, erase, replace a range and prefix / search queries all cost
// O(log n) (plus the size of the replaced range). The rich edit keeps the
// byte length of every text block here, so that converting between editor
// positions and byte offsets never walks the whole document.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace wendul {

class SumTree {
 public:
  SumTree();

  int64_t Size() const;
  int64_t Total() const;

  // Replaces the whole sequence; O(n).
  void Assign(const std::vector<int64_t>& weights);
  // Replaces `count` elements starting at `first` by `weights`.
  void Replace(int64_t first, int64_t count, const std::vector<int64_t>& weights);
  void Set(int64_t index, int64_t weight);
  int64_t At(int64_t index) const;

  // Sum of the first `count` elements.
  int64_t Prefix(int64_t count) const;
  // The element that holds `offset`: the largest index i with Prefix(i) <=
  // offset (the last element when offset >= Total()). *within receives
  // offset - Prefix(i). Returns -1 on an empty sequence.
  int64_t Find(int64_t offset, int64_t* within) const;

 private:
  struct Node {
    int64_t weight = 0;
    int64_t sum = 0;
    int64_t count = 0;
    uint32_t priority = 0;
    int32_t left = 0;
    int32_t right = 0;
  };

  int32_t NewNode(int64_t weight);
  void FreeTree(int32_t t);
  void Pull(int32_t t);
  void Split(int32_t t, int64_t k, int32_t* a, int32_t* b);
  int32_t Merge(int32_t a, int32_t b);
  int32_t Build(const std::vector<int64_t>& w, std::size_t lo, std::size_t hi);
  void SiftDown(int32_t t);
  uint32_t NextPriority();

  std::vector<Node> nodes_;      // nodes_[0] is the empty tree
  std::vector<int32_t> free_;
  int32_t root_ = 0;
  uint32_t seed_ = 0x9E3779B9u;
};

}  // namespace wendul
