#pragma once
// A drawing surface that records every call, for checking the graph's geometry.
#include <cstdint>
#include <string>
#include <vector>

#include "stats/line_graph.h"

namespace kn::test {

struct Op {
  enum Kind { kClear, kBackground, kLine, kRect, kText } kind;
  float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  uint32_t colour = 0;
  std::string text = {};  // kText only; (x1, y1) is its top left corner
};

class RecordingSurface : public DrawSurface {
 public:
  RecordingSurface(int32_t w, int32_t h, int style = 0) : w_(w), h_(h), style_(style) {}

  int32_t inner_width() const override { return w_; }
  int32_t inner_height() const override { return h_; }
  int border_style() const override { return style_; }
  uint32_t background() const override { return background_; }
  void set_background(uint32_t c) override {
    background_ = c;
    ops.push_back({Op::kBackground, 0, 0, 0, 0, c});
  }
  void clear() override {
    ops.clear();  // a clear wipes everything drawn before
    ops.push_back({Op::kClear, 0, 0, 0, 0, background_});
    ++clears;
  }
  void line(float x1, float y1, float x2, float y2, uint32_t c) override {
    ops.push_back({Op::kLine, x1, y1, x2, y2, c});
  }
  void rectangle(float x1, float y1, float x2, float y2, uint32_t c) override {
    ops.push_back({Op::kRect, x1, y1, x2, y2, c});
  }
  void text(float x, float y, const std::string& utf8, uint32_t c) override {
    ops.push_back({Op::kText, x, y, x, y, c, utf8});
  }

  std::vector<Op> of(Op::Kind k) const {
    std::vector<Op> r;
    for (const auto& op : ops)
      if (op.kind == k) r.push_back(op);
    return r;
  }
  std::vector<Op> lines() const { return of(Op::kLine); }
  std::vector<Op> rects() const { return of(Op::kRect); }
  std::vector<Op> texts() const { return of(Op::kText); }

  std::vector<Op> ops;
  int clears = 0;
  int32_t w_, h_;
  int style_;
  uint32_t background_ = 0xFFFFFF;
};

}  // namespace kn::test
