// Shared set-up for the plan-step tests: a world with one performing character, plans entered and run, event lines
// and posted messages recorded.
#pragma once

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "parts_fixture.h"
#include "utility/log.h"
#include "utility/message.h"
#include "world/actors/actors.h"
#include "world/parts/items.h"
#include "world/wld.h"

// The player-facing event lines seen while RecordPerformEvent is the messageHook.
inline std::vector<std::string>& PerformEvents() {
  static std::vector<std::string> events;
  return events;
}

inline void RecordPerformEvent(const char* format, ...) {
  char line[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof(line), format, args);
  va_end(args);
  PerformEvents().push_back(line);
}

// Each test fills world and nr in its own SetUp; the helpers act on character nr.
class PerformTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (m_hooked) messageHook = nullptr;
  }

  // A bare level planet whose posts go to outbox.
  void SetUpBare() {
    world = BareWorld();
    ASSERT_TRUE(world);
    world->m_outbox = &outbox;
  }
  // The same with one character, "Doer", on the tile, its events recorded.
  void SetUpDoer(int tile) {
    ASSERT_NO_FATAL_FAILURE(SetUpBare());
    nr = world->actors.Add("Doer", tile);
    ASSERT_EQ(nr, 0);
    RecordEvents();
  }

  Actors& A() { return world->actors; }
  Items& I() { return world->items; }
  Globe& G() { return world->globe; }

  // Starts recording event lines afresh; the hook is taken out again after the test.
  void RecordEvents() {
    PerformEvents().clear();
    messageHook = RecordPerformEvent;
    m_hooked = true;
  }
  bool HasEvent(const std::string& text) {
    for (const std::string& e : PerformEvents())
      if (e == text) return true;
    return false;
  }
  // Puts an item in the character's hands.
  int Carry(const char* item, uint64_t status = IS_TOOL) {
    const int slot = I().Add(item, A().m_loca[nr], status);
    I().m_carr[slot] = nr;
    return slot;
  }
  // A plan of the given steps, entered at its first step as the planning service does.
  void GivePlan(std::initializer_list<const char*> steps) {
    int i = 0;
    for (const char* s : steps) A().m_planActions[nr][i++] = s;
    A().m_planSize[nr] = i;
    A().m_planActive[nr] = 1;
    A().m_planStage[nr] = -1;
    A().NextPlanStep(nr);
  }
  // Performs the current step until the stage moves or the plan is given up; the number of calls made, or -1 when
  // the bound runs out.
  int PerformUntilMoved(float dt, int limit) {
    const int stage = A().m_planStage[nr];
    for (int i = 1; i <= limit; ++i) {
      A().Perform(nr, dt);
      if (A().m_planStage[nr] != stage || !A().m_planActive[nr]) return i;
    }
    return -1;
  }
  bool Abandoned() { return A().m_planActive[nr] == 0 && A().m_planSize[nr] == 0; }
  // The messages posted to the outbox so far, oldest first.
  std::vector<std::string> Posts() {
    std::vector<std::string> out;
    Packet p = outbox;
    char buf[1024];
    p.m_readPos = 0;
    while (p.m_readPos < p.m_size) {
      p.Read(buf, sizeof(buf), 0);
      out.push_back(buf);
    }
    return out;
  }
  int CountPosts(const std::string& text) {
    int n = 0;
    for (const std::string& s : Posts()) n += s == text;
    return n;
  }

  std::unique_ptr<Wld> world;
  Packet outbox;
  int nr = -1;

 private:
  bool m_hooked = false;
};
