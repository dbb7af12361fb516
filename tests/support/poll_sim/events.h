#pragma once
// What can happen in a schedule, and how often. A schedule's log names each event as
// these tables do.
#include <cstddef>

#include "splitmix.h"

namespace kn::poll_sim {

enum class Event {
  // Around the program.
  Open,     // a parked fetch ends: an answer, a failure, or its worker seeing the cancel
  Clock,    // time passes; the poll-limit timer ticks if it runs
  Message,  // the next posted answer message arrives
  NewSong,  // a station's server moves on to its next song
  Program,  // the program asks the runner for one of the calls below
  // What the program asks of the runner, from its own loop or inside a callback.
  Tick,
  DoubleClick,
  AnswerMessage,
  Preview,
  Save,
  Close,
  Menu,
};

struct Weighted {
  Event event;
  int weight;
  const char* name;
};

// A program event draws again, from kCalls.
inline constexpr Weighted kEvents[] = {
    {Event::Open, 40, "open"},       {Event::Clock, 12, "clock"},     {Event::Message, 18, "message"},
    {Event::NewSong, 4, "new song"}, {Event::Program, 26, "program"},
};
// A drawn close mostly stands for another call, so most schedules go on after it.
inline constexpr Weighted kCalls[] = {
    {Event::Tick, 1, "tick"},
    {Event::DoubleClick, 1, "double-click"},
    {Event::AnswerMessage, 1, "answer message"},
    {Event::Preview, 1, "preview"},
    {Event::Save, 1, "save"},
    {Event::Close, 1, "close"},
    {Event::Menu, 1, "menu"},
};

// One draw over a table, in its order: the same numbers give the same events.
template <std::size_t N>
Event draw(SplitMix64& rng, const Weighted (&table)[N]) {
  int total = 0;
  for (const auto& w : table) total += w.weight;
  int pick = rng.below(total);
  for (const auto& w : table) {
    if (pick < w.weight) return w.event;
    pick -= w.weight;
  }
  return table[N - 1].event;
}

inline const char* name_of(Event e) {
  for (const auto& w : kEvents) {
    if (w.event == e) return w.name;
  }
  for (const auto& w : kCalls) {
    if (w.event == e) return w.name;
  }
  return "?";
}

}  // namespace kn::poll_sim
