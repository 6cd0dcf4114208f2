// Data folder: randomized against std::set with the tree's invariants checked
// after every step, and the named edge cases.
#include <gtest/gtest.h>
#include <pthread.h>

#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "data_folder_l3.h"

namespace {

int CompareInts(const void* stored, const void* key) {
  intptr_t a = reinterpret_cast<intptr_t>(stored), b = reinterpret_cast<intptr_t>(key);
  return a < b ? -1 : (a > b ? 1 : 0);
}

void* P(intptr_t v) { return reinterpret_cast<void*>(v); }

// Checks parent links, stored heights, balance and order; returns the height.
int CheckSubtree(const DFolderNode* n, const DFolderNode* parent, unsigned* nodes,
                 std::string* error) {
  if (n == nullptr) return 0;
  if (n->parent != parent && error->empty()) *error = "a child does not point back to its parent";
  ++*nodes;
  int h1 = CheckSubtree(n->first, n, nodes, error);
  int h2 = CheckSubtree(n->second, n, nodes, error);
  if ((h1 != n->first_height || h2 != n->second_height) && error->empty()) {
    *error = "stored heights " + std::to_string(n->first_height) + "/" +
             std::to_string(n->second_height) + " but subtrees are " + std::to_string(h1) + "/" +
             std::to_string(h2);
  }
  if ((h1 - h2 > 1 || h2 - h1 > 1) && error->empty()) {
    *error = "unbalanced node: heights " + std::to_string(h1) + "/" + std::to_string(h2);
  }
  if (n->first && CompareInts(n->first->item, n->item) <= 0 && error->empty()) {
    *error = "first child not greater";
  }
  if (n->second && CompareInts(n->second->item, n->item) >= 0 && error->empty()) {
    *error = "second child not smaller";
  }
  return (h1 > h2 ? h1 : h2) + 1;
}

std::vector<intptr_t> Listing(DFolder* f, unsigned skip = 0) {
  std::vector<void*> raw(f->count + 1);
  unsigned n = static_cast<unsigned>(raw.size());
  EXPECT_EQ(DFolderGetEntries_L3(f, raw.data(), skip, &n), 0u);
  std::vector<intptr_t> out;
  for (unsigned i = 0; i < n; ++i) out.push_back(reinterpret_cast<intptr_t>(raw[i]));
  return out;
}

void ExpectConsistent(DFolder* f, const std::set<intptr_t>& model, const std::string& step) {
  std::string error;
  unsigned nodes = 0;
  CheckSubtree(f->root, nullptr, &nodes, &error);
  ASSERT_TRUE(error.empty()) << step << ": " << error;
  ASSERT_EQ(nodes, f->count) << step << ": count differs from the nodes in the tree";
  ASSERT_EQ(f->count, model.size()) << step;
  std::vector<intptr_t> want(model.rbegin(), model.rend());
  ASSERT_EQ(Listing(f), want) << step << ": listing is not the model in descending order";
}

TEST(DataFolder, RandomizedAgainstStdSet) {
  DFolder* f = nullptr;
  ASSERT_EQ(DFolderInit_L3(&f, CompareInts, 0), 0u);
  std::set<intptr_t> model;
  std::mt19937 rng(20261208);
  std::uniform_int_distribution<int> key(1, 400);
  std::uniform_int_distribution<int> op(0, 9);
  for (int step = 0; step < 6000; ++step) {
    intptr_t k = key(rng);
    int o = op(rng);
    std::string what;
    if (o < 5) {
      what = "add " + std::to_string(k);
      uint32_t rc = DFolderAdd_L3(f, P(k));
      bool fresh = model.insert(k).second;
      ASSERT_EQ(rc, fresh ? 0u : ERR_DUPLICATE) << what;
    } else if (o < 8) {
      what = "del " + std::to_string(k);
      void* out = nullptr;
      uint32_t rc = DFolderDel_L3(f, P(k), &out);
      bool present = model.erase(k) > 0;
      ASSERT_EQ(rc, present ? 0u : ERR_NO_ENTRY) << what;
      if (present) {
        ASSERT_EQ(out, P(k)) << what;
      }
    } else if (o == 8) {
      what = "search " + std::to_string(k);
      void* out = nullptr;
      uint32_t rc = DFolderSearch_L3(f, P(k), &out);
      ASSERT_EQ(rc, model.count(k) ? 0u : ERR_NO_ENTRY) << what;
      if (rc == 0) {
        ASSERT_EQ(out, P(k)) << what;
      }
    } else {
      unsigned skip = static_cast<unsigned>(k % (model.size() + 2));
      what = "listing after skipping " + std::to_string(skip);
      std::vector<intptr_t> want(model.rbegin(), model.rend());
      want.erase(want.begin(), want.begin() + std::min<size_t>(skip, want.size()));
      ASSERT_EQ(Listing(f, skip), want) << what;
    }
    ExpectConsistent(f, model, "step " + std::to_string(step) + " (" + what + ")");
    if (HasFatalFailure()) break;
  }
  EXPECT_EQ(DFolderTerm_L3(f, nullptr), 0u);
}

TEST(DataFolder, AscendingInsertRotatesAndListsDescending) {
  DFolder* f = nullptr;
  ASSERT_EQ(DFolderInit_L3(&f, CompareInts, 7), 0u);
  EXPECT_EQ(f->option, 7u);
  for (intptr_t v : {1, 2, 3}) ASSERT_EQ(DFolderAdd_L3(f, P(v)), 0u);
  EXPECT_EQ(f->root->item, P(2)) << "one rotation makes the middle item the root";
  EXPECT_EQ(Listing(f), (std::vector<intptr_t>{3, 2, 1}));
  EXPECT_EQ(DFolderAdd_L3(f, P(2)), ERR_DUPLICATE);
  unsigned count = 0;
  ASSERT_EQ(DFolderGetEntryCount_L3(f, &count), 0u);
  EXPECT_EQ(count, 3u);
  // Skip equal to the count: nothing stored.
  void* arr[4];
  unsigned n = 4;
  ASSERT_EQ(DFolderGetEntries_L3(f, arr, 3, &n), 0u);
  EXPECT_EQ(n, 0u);
  n = 2;
  ASSERT_EQ(DFolderGetEntries_L3(f, arr, 0, &n), 0u);
  ASSERT_EQ(n, 2u);
  EXPECT_EQ(arr[0], P(3));
  EXPECT_EQ(arr[1], P(2));

  // Deleting the root of a three-node folder.
  std::set<intptr_t> model{1, 3};
  void* out = nullptr;
  ASSERT_EQ(DFolderDel_L3(f, P(2), &out), 0u);
  EXPECT_EQ(out, P(2));
  ExpectConsistent(f, model, "after deleting the root");
  // Deleting the only child of the root.
  intptr_t child =
      reinterpret_cast<intptr_t>(f->root->first ? f->root->first->item : f->root->second->item);
  ASSERT_EQ(DFolderDel_L3(f, P(child), nullptr), 0u);
  model.erase(child);
  ExpectConsistent(f, model, "after deleting the root's only child");
  EXPECT_EQ(DFolderDel_L3(f, P(99), nullptr), ERR_NO_ENTRY);
  EXPECT_EQ(DFolderTerm_L3(f, nullptr), 0u);
}

std::vector<intptr_t> g_released;
void RecordRelease(void* item) { g_released.push_back(reinterpret_cast<intptr_t>(item)); }

TEST(DataFolder, ClearTermAndBadHandles) {
  DFolder* f = nullptr;
  EXPECT_EQ(DFolderInit_L3(nullptr, CompareInts, 0), ERR_INVALID);
  EXPECT_EQ(DFolderInit_L3(&f, nullptr, 0), ERR_INVALID);
  ASSERT_EQ(DFolderInit_L3(&f, CompareInts, 0), 0u);
  for (intptr_t v = 1; v <= 50; ++v) ASSERT_EQ(DFolderAdd_L3(f, P(v)), 0u);
  g_released.clear();
  ASSERT_EQ(DFolderClear_L3(f, RecordRelease), 0u);
  EXPECT_EQ(g_released.size(), 50u) << "every item is released once";
  std::set<intptr_t> distinct(g_released.begin(), g_released.end());
  EXPECT_EQ(distinct.size(), 50u);
  EXPECT_EQ(f->count, 0u);
  EXPECT_EQ(f->root, nullptr);
  EXPECT_EQ(DFolderSearch_L3(f, P(3), nullptr), ERR_NO_ENTRY);
  ASSERT_EQ(DFolderAdd_L3(f, P(5)), 0u) << "a cleared folder stays usable";

  f->mark[0] = 'X';
  EXPECT_EQ(DFolderSearch_L3(f, P(5), nullptr), ERR_BAD_HANDLE);
  EXPECT_EQ(DFolderAdd_L3(f, P(6)), ERR_BAD_HANDLE);
  EXPECT_EQ(DFolderTerm_L3(f, nullptr), ERR_BAD_HANDLE);
  f->mark[0] = 'E';
  EXPECT_EQ(DFolderSearch_L3(nullptr, P(5), nullptr), ERR_INVALID);
  unsigned n = 0;
  EXPECT_EQ(DFolderGetEntryCount_L3(nullptr, &n), ERR_INVALID);
  g_released.clear();
  ASSERT_EQ(DFolderTerm_L3(f, RecordRelease), 0u);
  EXPECT_EQ(g_released, (std::vector<intptr_t>{5}));
}

struct ThreadArg {
  DFolder* f;
  intptr_t base;
};

void* AddDelete(void* p) {
  auto* a = static_cast<ThreadArg*>(p);
  for (intptr_t i = 0; i < 2000; ++i) {
    DFolderAdd_L3(a->f, P(a->base + i));
    if (i % 2) DFolderDel_L3(a->f, P(a->base + i), nullptr);
  }
  return nullptr;
}

TEST(DataFolder, ConcurrentThreadsKeepTheTreeConsistent) {
  DFolder* f = nullptr;
  ASSERT_EQ(DFolderInit_L3(&f, CompareInts, 0), 0u);
  pthread_t t[4];
  ThreadArg args[4];
  for (int i = 0; i < 4; ++i) {
    args[i] = {f, (i + 1) * 100000};
    ASSERT_EQ(pthread_create(&t[i], nullptr, AddDelete, &args[i]), 0);
  }
  for (auto& th : t) pthread_join(th, nullptr);
  std::set<intptr_t> model;
  for (int i = 0; i < 4; ++i)
    for (intptr_t k = 0; k < 2000; k += 2) model.insert((i + 1) * 100000 + k);
  ExpectConsistent(f, model, "after concurrent adds and deletes");
  DFolderTerm_L3(f, nullptr);
}

}  // namespace
