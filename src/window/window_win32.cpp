// The window through the system's own calls (Windows): the frame painted
// with StretchDIBits, pixel for pixel at a whole scale (COLORONCOLOR keeps
// the pixels crisp).
#include <windows.h>

#include "window/window.h"

namespace {

const char kClass[] = "LiaisonEcran";

class Win32Window final : public ScreenWindow {
 public:
  ~Win32Window() override {
    if (window_) DestroyWindow(window_);
  }

  bool Open(const std::string& title, int width, int height, std::string* why) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = Procedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kClass;
    RegisterClassA(&wc);  // already there the second time: fine
    int w = 0, h = 0;
    FirstSize(width, height, &w, &h);
    RECT area{0, 0, w, h};
    AdjustWindowRect(&area, WS_OVERLAPPEDWINDOW, FALSE);
    window_ = CreateWindowExA(0, kClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                              CW_USEDEFAULT, area.right - area.left, area.bottom - area.top,
                              nullptr, nullptr, instance, this);
    if (!window_) {
      *why = "pas de fenetre possible (erreur " + std::to_string(GetLastError()) + ")";
      return false;
    }
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
    return true;
  }

  void Show(const std::vector<std::uint32_t>& pixels, int width, int height) override {
    if (width <= 0 || height <= 0 || pixels.size() != static_cast<size_t>(width) * height) return;
    pixels_ = pixels;
    width_ = width;
    height_ = height;
    InvalidateRect(window_, nullptr, FALSE);
    UpdateWindow(window_);
  }

  void SetTitle(const std::string& title) override { SetWindowTextA(window_, title.c_str()); }

  WindowKey Events(int waitMs) override {
    key_ = WindowKey::None;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(waitMs > 0 ? waitMs : 0),
                              QS_ALLINPUT);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    return key_;
  }

 private:
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcA(hwnd, message, w, l);
    switch (message) {
      case WM_PAINT:
        self->Paint();
        return 0;
      case WM_ERASEBKGND:
        return 1;  // painted whole in WM_PAINT: no flicker
      case WM_SIZE:
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
      case WM_CLOSE:
        self->Say(WindowKey::Quit);
        return 0;
      case WM_KEYDOWN:
        if (w == 'Q' || w == VK_ESCAPE) self->Say(WindowKey::Quit);
        if (w == 'S' || w == VK_RETURN) self->Say(WindowKey::Save);
        if (w == 'F' || w == VK_F11) self->ToggleFullScreen();
        return 0;
      default:
        return DefWindowProcA(hwnd, message, w, l);
    }
  }

  void Say(WindowKey key) {
    if (key_ == WindowKey::None) key_ = key;
  }

  // Full screen: no border, the whole monitor; and back.
  void ToggleFullScreen() {
    if (!full_) {
      GetWindowRect(window_, &before_);
      MONITORINFO info{};
      info.cbSize = sizeof info;
      GetMonitorInfoA(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &info);
      SetWindowLongPtrA(window_, GWL_STYLE, WS_POPUP | WS_VISIBLE);
      SetWindowPos(window_, HWND_TOP, info.rcMonitor.left, info.rcMonitor.top,
                   info.rcMonitor.right - info.rcMonitor.left,
                   info.rcMonitor.bottom - info.rcMonitor.top, SWP_FRAMECHANGED);
    } else {
      SetWindowLongPtrA(window_, GWL_STYLE, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
      SetWindowPos(window_, nullptr, before_.left, before_.top, before_.right - before_.left,
                   before_.bottom - before_.top, SWP_FRAMECHANGED | SWP_NOZORDER);
    }
    full_ = !full_;
  }

  void Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window_, &ps);
    RECT area;
    GetClientRect(window_, &area);
    int w = area.right, h = area.bottom;
    int scale = WholeScale(width_, height_, w, h);
    int left = (w - width_ * scale) / 2, top = (h - height_ * scale) / 2;
    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    // The black around the frame, in four bands (never over the frame).
    RECT bands[] = {{0, 0, w, top},
                    {0, top + height_ * scale, w, h},
                    {0, top, left, top + height_ * scale},
                    {left + width_ * scale, top, w, top + height_ * scale}};
    for (const RECT& band : bands) FillRect(dc, &band, black);
    if (!pixels_.empty()) {
      BITMAPINFO bmi{};
      bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
      bmi.bmiHeader.biWidth = width_;
      bmi.bmiHeader.biHeight = -height_;  // rows from the top
      bmi.bmiHeader.biPlanes = 1;
      bmi.bmiHeader.biBitCount = 32;
      bmi.bmiHeader.biCompression = BI_RGB;
      SetStretchBltMode(dc, COLORONCOLOR);
      StretchDIBits(dc, left, top, width_ * scale, height_ * scale, 0, 0, width_, height_,
                    pixels_.data(), &bmi, DIB_RGB_COLORS, SRCCOPY);
    } else {
      FillRect(dc, &area, black);
    }
    EndPaint(window_, &ps);
  }

  HWND window_ = nullptr;
  std::vector<std::uint32_t> pixels_;
  int width_ = 0, height_ = 0;
  WindowKey key_ = WindowKey::None;
  bool full_ = false;
  RECT before_{};
};

}  // namespace

std::unique_ptr<ScreenWindow> OpenScreenWindow(const std::string& title, int width, int height,
                                               std::string* why) {
  auto window = std::make_unique<Win32Window>();
  if (!window->Open(title, width, height, why)) return nullptr;
  return window;
}
