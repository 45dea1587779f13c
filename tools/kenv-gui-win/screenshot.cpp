#include "screenshot.h"

#include <wincodec.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

bool has_class(HWND window, const wchar_t *name) {
  wchar_t cls[64] = L"";
  GetClassNameW(window, cls, 64);
  return lstrcmpiW(cls, name) == 0;
}

// What WM_PRINT leaves out for a child is drawn here: a list's background, a static's text
// (wine's statics do not print) and the frame.
void draw_one(HWND window, HDC dc, RECT box) {
  LONG style = GetWindowLongW(window, GWL_STYLE), ex_style = GetWindowLongW(window, GWL_EXSTYLE);
  bool child = (style & WS_CHILD) != 0;
  if (child && has_class(window, L"SysListView32"))
    FillRect(dc, &box, GetSysColorBrush(COLOR_WINDOW));
  if (child && has_class(window, L"Static")) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    UINT flags = DT_LEFT | ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0) |
                 ((style & SS_CENTERIMAGE) ? DT_VCENTER | DT_SINGLELINE : DT_WORDBREAK);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, flags);
  } else
    SendMessageW(window, WM_PRINT, reinterpret_cast<WPARAM>(dc), PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND);
  if (child && (ex_style & WS_EX_CLIENTEDGE))
    DrawEdge(dc, &box, EDGE_SUNKEN, BF_RECT);
  else if (child && (style & WS_BORDER))
    FrameRect(dc, &box, GetSysColorBrush(COLOR_BTNSHADOW));
}

// Each window draws itself and then its children, bottom of the z-order first, each at its
// place in the top window.
void draw(HWND window, HDC dc, POINT top_origin) {
  RECT r;
  GetWindowRect(window, &r);
  // A control may leave clipping, colours or a font behind in the DC it was given, and its
  // background is erased over the whole clip box: each draws clipped to its own rectangle.
  int saved = SaveDC(dc);
  SetViewportOrgEx(dc, r.left - top_origin.x, r.top - top_origin.y, nullptr);
  IntersectClipRect(dc, 0, 0, r.right - r.left, r.bottom - r.top);
  draw_one(window, dc, RECT{0, 0, r.right - r.left, r.bottom - r.top});
  RestoreDC(dc, saved);
  for (HWND child = GetWindow(GetWindow(window, GW_CHILD), GW_HWNDLAST); child;
       child = GetWindow(child, GW_HWNDPREV))
    if (IsWindowVisible(child))
      draw(child, dc, top_origin);
}

struct FileClose {
  void operator()(std::FILE *f) const { std::fclose(f); }
};

bool write_bmp(const std::wstring &file, const BITMAPINFOHEADER &info, const void *bits, DWORD size) {
  BITMAPFILEHEADER header{};
  header.bfType = 0x4D42; // "BM"
  header.bfOffBits = sizeof header + sizeof info;
  header.bfSize = header.bfOffBits + size;
  std::unique_ptr<std::FILE, FileClose> out(_wfopen(file.c_str(), L"wb"));
  bool ok = out && std::fwrite(&header, sizeof header, 1, out.get()) == 1 &&
            std::fwrite(&info, sizeof info, 1, out.get()) == 1 && std::fwrite(bits, size, 1, out.get()) == 1;
  return out && std::fclose(out.release()) == 0 && ok;
}

template <class T> struct Released {
  T *p = nullptr;
  ~Released() {
    if (p)
      p->Release();
  }
  T **out() { return &p; }
  T *operator->() const { return p; }
};

// The Windows Imaging Component's PNG encoder, fed the bitmap.
bool write_png(const std::wstring &file, HBITMAP bitmap) {
  Released<IWICImagingFactory> factory;
  Released<IWICBitmap> source;
  Released<IWICStream> stream;
  Released<IWICBitmapEncoder> encoder;
  Released<IWICBitmapFrameEncode> frame;
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_PPV_ARGS(factory.out()))) &&
         SUCCEEDED(factory->CreateBitmapFromHBITMAP(bitmap, nullptr, WICBitmapIgnoreAlpha, source.out())) &&
         SUCCEEDED(factory->CreateStream(stream.out())) &&
         SUCCEEDED(stream->InitializeFromFilename(file.c_str(), GENERIC_WRITE)) &&
         SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.out())) &&
         SUCCEEDED(encoder->Initialize(stream.p, WICBitmapEncoderNoCache)) &&
         SUCCEEDED(encoder->CreateNewFrame(frame.out(), nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
         SUCCEEDED(frame->SetPixelFormat(&format)) && SUCCEEDED(frame->WriteSource(source.p, nullptr)) &&
         SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

bool ends_with_png(const std::wstring &file) {
  return file.size() >= 4 && lstrcmpiW(file.c_str() + file.size() - 4, L".png") == 0;
}

} // namespace

bool save_screenshot(HWND window, const std::wstring &file) {
  RECT r;
  GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h; // bottom-up, as every reader of BMP files expects
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void *bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ReleaseDC(nullptr, screen);
  if (!dc || !bitmap) {
    if (dc)
      DeleteDC(dc);
    return false;
  }
  HGDIOBJ previous = SelectObject(dc, bitmap);
  RECT all{0, 0, w, h};
  FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
  draw(window, dc, POINT{r.left, r.top});
  GdiFlush();
  const DWORD size = static_cast<DWORD>(w) * static_cast<DWORD>(h) * 4;
  info.bmiHeader.biSizeImage = size;
  SelectObject(dc, previous);
  bool ok = ends_with_png(file) ? write_png(file, bitmap) : write_bmp(file, info.bmiHeader, bits, size);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return ok;
}
