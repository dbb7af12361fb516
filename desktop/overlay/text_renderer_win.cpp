#include "overlay/text_renderer_win.h"

#include <cstring>
#include <utility>
#include <vector>

#include "core/text_util.h"
#include "overlay/gdiplus_api_win.h"

namespace kn {

GdiplusSession::GdiplusSession() {
  Gdiplus::GdiplusStartupInput input;  // version 1, no callback, background thread on
  status_ = static_cast<int>(Gdiplus::GdiplusStartup(&token_, &input, nullptr));
}

GdiplusSession::~GdiplusSession() {
  if (status_ == 0) Gdiplus::GdiplusShutdown(token_);
}

Frame::Frame(HDC reference, int32_t width, int32_t height) {
  width = clamp_side(width);
  height = clamp_side(height);
  if (width == 0 || height == 0) return;
  dc_.reset(CreateCompatibleDC(reference));
  if (!dc_) return;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = height;  // bottom-up
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  bi.bmiHeader.biSizeImage = static_cast<DWORD>(4 * width * height);
  void* bits = nullptr;
  bitmap_ = selected_bitmap(dc_.get(), CreateDIBSection(dc_.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap_ || !bits) {
    release();
    return;
  }
  std::memset(bits, 0, static_cast<size_t>(4) * width * height);
  bits_ = static_cast<uint8_t*>(bits);
  width_ = width;
  height_ = height;
}

Frame::~Frame() { release(); }

Frame::Frame(Frame&& o) noexcept { *this = std::move(o); }

Frame& Frame::operator=(Frame&& o) noexcept {
  if (this != &o) {
    release();
    dc_ = std::move(o.dc_);
    bitmap_ = std::move(o.bitmap_);
    bits_ = std::exchange(o.bits_, nullptr);
    width_ = std::exchange(o.width_, 0);
    height_ = std::exchange(o.height_, 0);
  }
  return *this;
}

void Frame::release() {
  bitmap_.reset();
  dc_.reset();
  bits_ = nullptr;
  width_ = height_ = 0;
}

uint8_t* Frame::top_row() const {
  if (!bits_) return nullptr;
  return bits_ + static_cast<size_t>(height_ - 1) * 4 * width_;
}

uint32_t Frame::pixel(int32_t x, int32_t y) const {
  if (!bits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  uint32_t v;
  std::memcpy(&v, top_row() + static_cast<ptrdiff_t>(y) * stride() + 4 * x, 4);
  return v;
}

TextExtent measure_text(const std::string& text, int32_t text_size_pt, const char* family, int32_t dpi) {
  TextExtent e;
  unique_hdc dc(CreateCompatibleDC(nullptr));
  if (!dc) return e;
  if (dpi <= 0) dpi = GetDeviceCaps(dc.get(), LOGPIXELSY);
  const std::u16string face16 = utf8_to_utf16(family);
  unique_hfont font(CreateFontW(-MulDiv(text_size_pt, dpi, 72), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                                DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                DEFAULT_PITCH | FF_SWISS, reinterpret_cast<const wchar_t*>(face16.c_str())));
  if (!font) return e;
  select_guard sel(dc.get(), font.get());
  const std::u16string t = utf8_to_utf16(text);
  RECT rc{0, 0, 0, 0};
  DrawTextW(dc.get(), reinterpret_cast<const wchar_t*>(t.c_str()), static_cast<int>(t.size()), &rc,
            DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | DT_LEFT | DT_TOP);
  e.width = rc.right - rc.left;
  e.height = rc.bottom - rc.top;
  return e;
}

struct TextRenderer::Objects {
  gdip::Pen outline_pen;
  gdip::Brush fill_brush;
  gdip::Family family;
  gdip::Format format;
  gdip::Pen shadow_pen;
  gdip::Brush shadow_brush;
  float line_spacing = 0;  // pixels per line at the em size
};

TextRenderer::TextRenderer(std::string family) : family_name_(std::move(family)) {}

TextRenderer::~TextRenderer() { release(); }

void TextRenderer::release() { objects_.reset(); }

void TextRenderer::prepare_drawing(const OverlayStyle& style) {
  using namespace gdip;
  objects_.reset();  // the previous layout's objects go first
  style_ = style;
  auto o = std::make_unique<Objects>();
  if (style.outline_on) {
    GpPen* pen = nullptr;
    if (GdipCreatePen1(to_argb(style.outline_colour, style.opacity), kPenWidthPx, UnitPixel, &pen) == Ok)
      o->outline_pen.reset(pen);
  }
  {
    GpSolidFill* brush = nullptr;
    if (GdipCreateSolidFill(to_argb(style.fill_colour, style.opacity), &brush) == Ok)
      o->fill_brush.reset(brush);
  }
  {
    const std::u16string name = utf8_to_utf16(family_name_);
    GpFontFamily* family = nullptr;
    if (GdipCreateFontFamilyFromName(reinterpret_cast<const WCHAR*>(name.c_str()), nullptr, &family) != Ok) {
      // Without the named family the text still shows, in the system's sans serif.
      family = nullptr;
      if (GdipGetGenericFontFamilySansSerif(&family) != Ok) family = nullptr;
    }
    o->family.reset(family);
  }
  {
    GpStringFormat* format = nullptr;
    if (GdipCreateStringFormat(0, LANG_NEUTRAL, &format) == Ok) {
      o->format.reset(format);
      GdipSetStringFormatAlign(format, StringAlignmentFar);
    }
  }
  if (style.outline_on) {
    GpPen* pen = nullptr;
    if (GdipCreatePen1(kShadowArgb, kPenWidthPx, UnitPixel, &pen) == Ok) o->shadow_pen.reset(pen);
  }
  if (style.shadow_on) {
    GpSolidFill* brush = nullptr;
    if (GdipCreateSolidFill(kShadowArgb, &brush) == Ok) o->shadow_brush.reset(brush);
  }
  if (o->family) {
    UINT16 spacing = 0, em = 0;
    if (GdipGetLineSpacing(o->family.get(), FontStyleBold, &spacing) == Ok &&
        GdipGetEmHeight(o->family.get(), FontStyleBold, &em) == Ok && em != 0)
      o->line_spacing = em_px(style.text_size, style.dpi) * spacing / em;
  }
  objects_ = std::move(o);
}

namespace {

// GDI+ under Wine lays out only the first line of a multi-line string, so each
// line goes in separately, right-aligned in the same rectangle, one line
// spacing further down: the spacing GDI+ itself uses between lines.
void add_lines(gdip::GpPath* path, const std::vector<std::u16string>& lines, gdip::GpFontFamily* family,
               float em, const gdip::GpStringFormat* format, gdip::RectF rect, float spacing) {
  using namespace gdip;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].empty()) continue;
    RectF r(rect.X, rect.Y + spacing * static_cast<float>(i), rect.Width, rect.Height);
    GdipAddPathString(path, reinterpret_cast<const WCHAR*>(lines[i].c_str()), -1, family, FontStyleBold, em,
                      &r, format);
  }
}

}  // namespace

Frame TextRenderer::render_text(HDC reference, const RenderRequest& req) const {
  using namespace gdip;
  Frame frame(reference, req.bitmap_width, req.bitmap_height);
  if (frame.empty() || !objects_) return frame;
  const Objects& o = *objects_;

  GpBitmap* raw_bitmap = nullptr;
  if (GdipCreateBitmapFromScan0(frame.width(), frame.height(), frame.stride(), PixelFormat32bppPARGB,
                                frame.top_row(), &raw_bitmap) != Ok)
    return frame;
  gdip::Bitmap bitmap(raw_bitmap);
  GpGraphics* raw_graphics = nullptr;
  if (GdipGetImageGraphicsContext(bitmap.get(), &raw_graphics) != Ok) return frame;
  gdip::Graphics graphics(raw_graphics);

  std::vector<std::u16string> lines;
  for (const std::string& line : split_lines(req.text)) lines.push_back(utf8_to_utf16(line));
  const float em = em_px(style_.text_size, style_.dpi);
  const float width = static_cast<float>(req.draw_width);

  // One set of glyph outlines serves both: the shadow is the same path drawn two
  // pixels further right and down (laying out the glyphs is the costly part).
  gdip::Path main_path;
  {
    GpPath* p = nullptr;
    if (GdipCreatePath(FillModeWinding, &p) == Ok) main_path.reset(p);
  }
  if (main_path && o.family && o.format) {
    add_lines(main_path.get(), lines, o.family.get(), em, o.format.get(),
              RectF(-static_cast<float>(req.shift_x), 0.0f, width, kMainRectHeightPx), o.line_spacing);
  }
  GdipSetSmoothingMode(graphics.get(), SmoothingModeAntiAlias);
  if (main_path && style_.shadow_on &&
      GdipTranslateWorldTransform(graphics.get(), kShadowOffsetPx, kShadowOffsetPx, MatrixOrderPrepend) ==
          Ok) {
    if (o.shadow_pen) GdipDrawPath(graphics.get(), o.shadow_pen.get(), main_path.get());
    if (o.shadow_brush) GdipFillPath(graphics.get(), o.shadow_brush.get(), main_path.get());
    GdipResetWorldTransform(graphics.get());
  }
  if (main_path) {
    if (style_.outline_on && o.outline_pen)
      GdipDrawPath(graphics.get(), o.outline_pen.get(), main_path.get());
    if (o.fill_brush) GdipFillPath(graphics.get(), o.fill_brush.get(), main_path.get());
  }
  graphics.reset();
  bitmap.reset();
  GdiFlush();
  return frame;
}

}  // namespace kn
