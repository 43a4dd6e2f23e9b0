// The window through SDL2 (Linux, macOS): a streaming texture of the
// frame's size, copied at a whole scale.
#include <SDL.h>

#include <cstdlib>

#include "window/window.h"

namespace {

class SdlWindow final : public ScreenWindow {
 public:
  ~SdlWindow() override {
    if (texture_) SDL_DestroyTexture(texture_);
    if (renderer_) SDL_DestroyRenderer(renderer_);
    if (window_) SDL_DestroyWindow(window_);
    // The video subsystem stays until the program ends: quitting it unloads
    // the display's libraries, whose own small allocations would then look
    // lost to the leak checker.
  }

  bool Open(const std::string& title, int width, int height, std::string* why) {
    // Software drawing: a whole scale of a small screen needs no graphics
    // card, and the GL libraries would cost more memory than all the rest.
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
      *why = "pas de fenetre possible (le systeme graphique refuse)";
      return false;
    }
    int w = 0, h = 0;
    FirstSize(width, height, &w, &h);
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w, h,
                               SDL_WINDOW_RESIZABLE);
    if (window_) renderer_ = SDL_CreateRenderer(window_, -1, 0);
    if (!renderer_) {
      *why = "pas de fenetre possible (fenetre ou dessin refuses)";
      return false;
    }
    Draw();
    return true;
  }

  void Show(const std::vector<std::uint32_t>& pixels, int width, int height) override {
    if (width <= 0 || height <= 0 || pixels.size() != static_cast<size_t>(width) * height) return;
    if (!texture_ || width != width_ || height != height_) {
      if (texture_) SDL_DestroyTexture(texture_);
      texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                   width, height);
      width_ = width;
      height_ = height;
    }
    if (!texture_) return;
    SDL_UpdateTexture(texture_, nullptr, pixels.data(), width * 4);
    Draw();
  }

  void SetTitle(const std::string& title) override { SDL_SetWindowTitle(window_, title.c_str()); }

  WindowKey Events(int waitMs) override {
    SDL_Event e;
    WindowKey key = WindowKey::None;
    bool any = SDL_WaitEventTimeout(&e, waitMs) != 0;
    while (any) {
      WindowKey k = Handle(e);
      if (key == WindowKey::None) key = k;
      any = SDL_PollEvent(&e) != 0;
    }
    return key;
  }

 private:
  WindowKey Handle(const SDL_Event& e) {
    if (e.type == SDL_QUIT) return WindowKey::Quit;
    if (e.type == SDL_WINDOWEVENT) {
      if (e.window.event == SDL_WINDOWEVENT_CLOSE) return WindowKey::Quit;
      Draw();  // resized, shown again, uncovered
      return WindowKey::None;
    }
    if (e.type != SDL_KEYDOWN) return WindowKey::None;
    switch (e.key.keysym.sym) {
      case SDLK_q:
      case SDLK_ESCAPE:
        return WindowKey::Quit;
      case SDLK_s:
      case SDLK_RETURN:
      case SDLK_KP_ENTER:
        return WindowKey::Save;
      case SDLK_f:
      case SDLK_F11: {
        bool full = SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN_DESKTOP;
        SDL_SetWindowFullscreen(window_, full ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
        Draw();
        return WindowKey::None;
      }
      default:
        return WindowKey::None;
    }
  }

  // The frame at its whole scale, centred, black around it.
  void Draw() {
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    if (texture_) {
      int w = 0, h = 0;
      SDL_GetRendererOutputSize(renderer_, &w, &h);
      int scale = WholeScale(width_, height_, w, h);
      SDL_Rect to{(w - width_ * scale) / 2, (h - height_ * scale) / 2, width_ * scale,
                  height_ * scale};
      SDL_RenderCopy(renderer_, texture_, nullptr, &to);
    }
    SDL_RenderPresent(renderer_);
  }

  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  int width_ = 0, height_ = 0;
};

}  // namespace

std::unique_ptr<ScreenWindow> OpenScreenWindow(const std::string& title, int width, int height,
                                               std::string* why) {
#ifdef __linux__
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((!x || !*x) && (!wayland || !*wayland)) {
    *why = "pas d'affichage graphique ici (ni DISPLAY ni WAYLAND_DISPLAY)";
    return nullptr;
  }
#endif
  auto window = std::make_unique<SdlWindow>();
  if (!window->Open(title, width, height, why)) return nullptr;
  return window;
}
