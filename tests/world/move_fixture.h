// Worlds for the movement and performing tests: the 92-tile planet all land, a packet to catch messages, and counting
// them.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "planet_fixture.h"
#include "utility/message.h"
#include "world/actors/actors.h"
#include "world/wld.h"

// The smallest planet, every tile land at level 1, with tile transforms; messages go to `out`.
inline std::unique_ptr<Wld> LandPlanet(Packet* out) {
  UseTestFolders();
  const DumpShape shape = ReadDumpShape();
  EXPECT_EQ(shape.numTiles, 92);
  WriteTopology(shape, std::vector<int>(shape.numTiles, 1));
  auto world = std::make_unique<Wld>("Test");
  EXPECT_EQ(world->LoadTopology("custom.top"), 92);
  PlaceTiles(world->globe);
  world->m_outbox = out;
  return world;
}

// The messages in the packet, in order; the packet is emptied.
inline std::vector<std::string> TakeMessages(Packet& p) {
  std::vector<std::string> messages;
  char buffer[c_packetLimit + 1];
  p.m_readPos = 0;
  while (p.m_readPos < p.m_size) {
    p.Read(buffer, sizeof(buffer));
    messages.push_back(buffer);
  }
  p.Empty();
  return messages;
}

// The messages of a copy of the packet, in order; the packet itself is left as it was.
inline std::vector<std::string> PacketMessages(Packet p) { return TakeMessages(p); }

inline int CountOf(const std::vector<std::string>& messages, const std::string& text) {
  int n = 0;
  for (const std::string& m : messages) n += m == text;
  return n;
}

// A hexagon of the 92-tile planet (the first 12 tiles are the pentagons).
constexpr int c_hexTile = 20;
// One simulation step.
constexpr float c_dt = 1.0f / 240.0f;
