#pragma once
// The GDI+ flat interface and owners for its objects.
#include <windows.h>
// objidl.h after windows.h: it needs its types, and WIN32_LEAN_AND_MEAN leaves it out.
#include <objidl.h>

#include <algorithm>
#include <memory>

// gdiplus.h uses min/max, which NOMINMAX takes away.
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

namespace kn::gdip {

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

struct PenDeleter {
  void operator()(GpPen* p) const { GdipDeletePen(p); }
};
struct BrushDeleter {
  void operator()(GpBrush* p) const { GdipDeleteBrush(p); }
};
struct FamilyDeleter {
  void operator()(GpFontFamily* p) const { GdipDeleteFontFamily(p); }
};
struct FormatDeleter {
  void operator()(GpStringFormat* p) const { GdipDeleteStringFormat(p); }
};
struct PathDeleter {
  void operator()(GpPath* p) const { GdipDeletePath(p); }
};
struct GraphicsDeleter {
  void operator()(GpGraphics* p) const { GdipDeleteGraphics(p); }
};
struct ImageDeleter {
  void operator()(GpBitmap* p) const { GdipDisposeImage(p); }
};

using Pen = std::unique_ptr<GpPen, PenDeleter>;
using Brush = std::unique_ptr<GpBrush, BrushDeleter>;
using Family = std::unique_ptr<GpFontFamily, FamilyDeleter>;
using Format = std::unique_ptr<GpStringFormat, FormatDeleter>;
using Path = std::unique_ptr<GpPath, PathDeleter>;
using Graphics = std::unique_ptr<GpGraphics, GraphicsDeleter>;
using Bitmap = std::unique_ptr<GpBitmap, ImageDeleter>;

}  // namespace kn::gdip
