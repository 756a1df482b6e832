#include "controls/sumtree.h"

namespace wendul {

SumTree::SumTree() { nodes_.emplace_back(); }

int64_t SumTree::Size() const { return nodes_[root_].count; }
int64_t SumTree::Total() const { return nodes_[root_].sum; }

uint32_t SumTree::NextPriority() {
  // xorshift32: cheap and good enough to keep the treap balanced.
  seed_ ^= seed_ << 13;
  seed_ ^= seed_ >> 17;
  seed_ ^= seed_ << 5;
  return seed_;
}

int32_t SumTree::NewNode(int64_t weight) {
  int32_t t;
  if (!free_.empty()) {
    t = free_.back();
    free_.pop_back();
  } else {
    t = static_cast<int32_t>(nodes_.size());
    nodes_.emplace_back();
  }
  Node& n = nodes_[t];
  n.weight = n.sum = weight;
  n.count = 1;
  n.priority = NextPriority();
  n.left = n.right = 0;
  return t;
}

void SumTree::FreeTree(int32_t t) {
  std::vector<int32_t> stack;
  if (t) stack.push_back(t);
  while (!stack.empty()) {
    int32_t x = stack.back();
    stack.pop_back();
    if (nodes_[x].left) stack.push_back(nodes_[x].left);
    if (nodes_[x].right) stack.push_back(nodes_[x].right);
    free_.push_back(x);
  }
}

void SumTree::Pull(int32_t t) {
  Node& n = nodes_[t];
  const Node& l = nodes_[n.left];
  const Node& r = nodes_[n.right];
  n.count = l.count + r.count + 1;
  n.sum = l.sum + r.sum + n.weight;
}

// a receives the first k elements of t, b the rest.
void SumTree::Split(int32_t t, int64_t k, int32_t* a, int32_t* b) {
  if (!t) {
    *a = *b = 0;
    return;
  }
  int64_t leftCount = nodes_[nodes_[t].left].count;
  if (k <= leftCount) {
    int32_t l, r;
    Split(nodes_[t].left, k, &l, &r);
    nodes_[t].left = r;
    Pull(t);
    *a = l;
    *b = t;
  } else {
    int32_t l, r;
    Split(nodes_[t].right, k - leftCount - 1, &l, &r);
    nodes_[t].right = l;
    Pull(t);
    *a = t;
    *b = r;
  }
}

int32_t SumTree::Merge(int32_t a, int32_t b) {
  if (!a) return b;
  if (!b) return a;
  if (nodes_[a].priority > nodes_[b].priority) {
    int32_t r = Merge(nodes_[a].right, b);
    nodes_[a].right = r;
    Pull(a);
    return a;
  }
  int32_t l = Merge(a, nodes_[b].left);
  nodes_[b].left = l;
  Pull(b);
  return b;
}

void SumTree::SiftDown(int32_t t) {
  for (;;) {
    int32_t best = t;
    int32_t l = nodes_[t].left, r = nodes_[t].right;
    if (l && nodes_[l].priority > nodes_[best].priority) best = l;
    if (r && nodes_[r].priority > nodes_[best].priority) best = r;
    if (best == t) return;
    std::swap(nodes_[t].priority, nodes_[best].priority);
    t = best;
  }
}

// A balanced tree over w[lo, hi); the priorities are then made a heap so
// that later merges keep the expected depth logarithmic.
int32_t SumTree::Build(const std::vector<int64_t>& w, std::size_t lo, std::size_t hi) {
  if (lo >= hi) return 0;
  std::size_t mid = lo + (hi - lo) / 2;
  int32_t t = NewNode(w[mid]);
  int32_t l = Build(w, lo, mid);
  int32_t r = Build(w, mid + 1, hi);
  nodes_[t].left = l;
  nodes_[t].right = r;
  Pull(t);
  SiftDown(t);
  return t;
}

void SumTree::Assign(const std::vector<int64_t>& weights) {
  nodes_.resize(1);
  free_.clear();
  nodes_.reserve(weights.size() + 1);
  root_ = Build(weights, 0, weights.size());
}

void SumTree::Replace(int64_t first, int64_t count, const std::vector<int64_t>& weights) {
  if (count == 1 && weights.size() == 1) {
    Set(first, weights[0]);
    return;
  }
  int32_t a, rest, mid, c;
  Split(root_, first, &a, &rest);
  Split(rest, count, &mid, &c);
  FreeTree(mid);
  int32_t built = Build(weights, 0, weights.size());
  root_ = Merge(Merge(a, built), c);
}

void SumTree::Set(int64_t index, int64_t weight) {
  int64_t delta = weight - At(index);
  int32_t t = root_;
  while (t) {
    Node& n = nodes_[t];
    n.sum += delta;
    int64_t leftCount = nodes_[n.left].count;
    if (index < leftCount) {
      t = n.left;
    } else if (index == leftCount) {
      n.weight = weight;
      return;
    } else {
      index -= leftCount + 1;
      t = n.right;
    }
  }
}

int64_t SumTree::At(int64_t index) const {
  int32_t t = root_;
  while (t) {
    const Node& n = nodes_[t];
    int64_t leftCount = nodes_[n.left].count;
    if (index < leftCount) {
      t = n.left;
    } else if (index == leftCount) {
      return n.weight;
    } else {
      index -= leftCount + 1;
      t = n.right;
    }
  }
  return 0;
}

int64_t SumTree::Prefix(int64_t count) const {
  int64_t acc = 0;
  int32_t t = root_;
  while (t && count > 0) {
    const Node& n = nodes_[t];
    const Node& l = nodes_[n.left];
    if (count <= l.count) {
      t = n.left;
    } else {
      acc += l.sum + n.weight;
      count -= l.count + 1;
      t = n.right;
    }
  }
  return acc;
}

int64_t SumTree::Find(int64_t offset, int64_t* within) const {
  if (!root_) {
    *within = offset;
    return -1;
  }
  if (offset >= Total()) {
    int64_t last = Size() - 1;
    *within = offset - Prefix(last);
    return last;
  }
  if (offset < 0) offset = 0;
  int64_t index = 0;
  int32_t t = root_;
  while (t) {
    const Node& n = nodes_[t];
    const Node& l = nodes_[n.left];
    if (offset < l.sum) {
      t = n.left;
    } else if (offset < l.sum + n.weight) {
      *within = offset - l.sum;
      return index + l.count;
    } else {
      offset -= l.sum + n.weight;
      index += l.count + 1;
      t = n.right;
    }
  }
  *within = 0;  // only reached with zero weights at the end
  return Size() - 1;
}

}  // namespace wendul
