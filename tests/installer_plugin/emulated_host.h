// An emulated NSIS host and platform for the plug-in's native tests: a heap that tracks its
// blocks, named sections shared by every LockApp built on the same FakePlatform (as processes
// share them), and the host's side of the string stack.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform.h"

namespace korvale::pelwick::testing {

using Text = std::basic_string<pelwick_char>;

// ASCII test text in the host's width, and back.
inline Text text(std::string_view ascii) { return Text(ascii.begin(), ascii.end()); }
inline std::string narrow(const pelwick_char* host) {
  std::string result;
  for (; *host; ++host) result += static_cast<char>(*host);
  return result;
}

class FakePlatform : public Platform {
 public:
  ~FakePlatform() override {
    for (void* block : blocks) std::free(block);
  }

  void* globalAlloc(std::size_t bytes) noexcept override {
    allocationSizes.push_back(bytes);
    if (refusedAllocations > 0) {
      --refusedAllocations;
      return nullptr;
    }
    void* block = std::calloc(1, bytes);
    blocks.insert(block);
    return block;
  }
  void globalFree(void* block) noexcept override {
    EXPECT_EQ(blocks.erase(block), 1u) << "freed a block the heap did not hand out";
    std::free(block);
  }

  Section createSection(const pelwick_char* name) noexcept override {
    sectionNames.push_back(narrow(name));
    if (refuseSections) return nullptr;
    int32_t& counter = counters[narrow(name)];
    openSections.push_back(&counter);
    return &openSections.back();
  }
  void closeSection(Section section) noexcept override {
    const auto before = openSections.size();
    openSections.remove_if([section](int32_t*& open) { return &open == section; });
    EXPECT_EQ(openSections.size() + 1, before) << "closed a section that is not open";
  }
  int32_t* mapView(Section section) noexcept override {
    if (refuseViews) return nullptr;
    int32_t* counter = *static_cast<int32_t**>(section);
    views.insert(counter);
    return counter;
  }
  void unmapView(int32_t* view) noexcept override {
    auto it = views.find(view);
    ASSERT_NE(it, views.end()) << "unmapped a view that is not mapped";
    views.erase(it);
  }
  int32_t compareExchange(int32_t* target, int32_t desired, int32_t expected) noexcept override {
    if (beforeExchange) beforeExchange(*target);
    const int32_t before = *target;
    if (before == expected) *target = desired;
    return before;
  }
  unsigned driveType(const pelwick_char* path) noexcept override {
    drivePaths.push_back(narrow(path));
    return driveAnswer;
  }
  void writeError(const char* message) noexcept override { errors += message; }

  // Whether anything reached the platform besides the heap.
  bool askedNothing() const { return sectionNames.empty() && drivePaths.empty(); }

  // The heap.
  std::set<void*> blocks;
  std::vector<std::size_t> allocationSizes;
  int refusedAllocations = 0;  // the next so many allocations are refused

  // The sections: one counter per name. A handle is its own entry in openSections, which
  // points at the counter.
  std::map<std::string, int32_t> counters;
  std::list<int32_t*> openSections;
  std::multiset<int32_t*> views;
  std::vector<std::string> sectionNames;
  bool refuseSections = false;
  bool refuseViews = false;
  // Runs before every compare-exchange, as another process would, on the shared word.
  std::function<void(int32_t& counter)> beforeExchange;

  std::vector<std::string> drivePaths;
  unsigned driveAnswer = 3;
  std::string errors;
};

// The host's side of the stack and the user variables, with entries from the fake heap.
class EmulatedHost {
 public:
  explicit EmulatedHost(FakePlatform& platform, int size = 1024)
      : heap(platform),
        stringSize(size),
        variables(static_cast<std::size_t>(stringSize) * 25, pelwick_char{'#'}) {}
  ~EmulatedHost() {
    while (top) pop();
  }

  void push(std::string_view ascii) {
    auto* entry = static_cast<pelwick_stack_t*>(heap.globalAlloc(
        sizeof(pelwick_stack_t) + static_cast<std::size_t>(stringSize) * sizeof(pelwick_char)));
    for (std::size_t i = 0; i < ascii.size(); ++i) entry->text[i] = ascii[i];
    entry->next = top;
    top = entry;
  }
  std::optional<std::string> pop() {
    if (!top) return std::nullopt;
    pelwick_stack_t* entry = top;
    std::string result = narrow(entry->text);
    top = entry->next;
    heap.globalFree(entry);
    return result;
  }
  // The stack from the top down, without popping.
  std::vector<std::string> contents() const {
    std::vector<std::string> result;
    for (pelwick_stack_t* entry = top; entry; entry = entry->next) {
      result.push_back(narrow(entry->text));
    }
    return result;
  }

  FakePlatform& heap;
  int stringSize;
  std::vector<pelwick_char> variables;
  pelwick_stack_t* top = nullptr;
};

}  // namespace korvale::pelwick::testing
