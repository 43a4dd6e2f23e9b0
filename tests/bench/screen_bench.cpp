// The live screen's figures: Graph 90+E frames (384 x 216, 1RC2) decoded and
// shown in the window (on Xvfb) and drawn for a 24-bit colour terminal; a
// damaged frame's cost to the next; the real liaison against the simulated
// Graph 90+E in ScreenRecv: frames a second end to end, its processor time
// while no frame comes, its peak memory. It measures; it fails nothing.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "files/screen.h"
#include "seven/stream.h"
#include "support/blocks.h"
#include "support/fake_usb_env.h"
#include "support/harness.h"
#include "support/xvfb.h"
#include "window/window.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string ColourPacket(int variant, bool damaged = false) {
  std::string data;
  for (int y = 0; y < 216; ++y)
    for (int x = 0; x < 384; ++x) {
      unsigned v = static_cast<unsigned>(((x + variant) % 32) << 11 | (y % 64) << 5 | (x + y) % 32);
      data += static_cast<char>(v >> 8);
      data += static_cast<char>(v & 0xFF);
    }
  char head[32];
  std::snprintf(head, sizeof head, "%06zX%04X%04X1RC2", data.size(), 216, 384);
  std::string packet = StreamPacket("\x0BTYPZ1", head + data);
  if (damaged) packet[packet.size() - 1] ^= 1;
  return packet;
}

// Frames fed to the reader, decoded, and handed to `show`: frames a second.
template <typename Show>
double FramesPerSecond(int count, Show show) {
  const std::string packets[2] = {ColourPacket(0), ColourPacket(7)};
  seven::StreamReader reader;
  seven::Frame frame;
  Clock::time_point start = Clock::now();
  for (int i = 0; i < count; ++i) {
    const std::string& p = packets[i % 2];
    reader.Feed(reinterpret_cast<const unsigned char*>(p.data()), p.size());
    while (reader.Next(&frame) == seven::StreamReader::Event::Frame) show(frame);
  }
  return count / Since(start);
}

Screen ScreenOf(const seven::Frame& frame) {
  Screen s;
  s.width = frame.width;
  s.height = frame.height;
  s.colour = frame.colour;
  s.pixels = frame.pixels;
  return s;
}

// Microseconds from the last byte fed to the good frame's event, with a
// damaged frame just before it and without.
void DamagedFrameCost(double* alone, double* afterDamaged) {
  const std::string good = ColourPacket(0), bad = ColourPacket(7, true);
  for (int pass = 0; pass < 2; ++pass) {
    double total = 0;
    for (int i = 0; i < 50; ++i) {
      seven::StreamReader reader;
      seven::Frame frame;
      std::string bytes = pass == 0 ? good : bad + good;
      Clock::time_point start = Clock::now();
      reader.Feed(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
      seven::StreamReader::Event e;
      while ((e = reader.Next(&frame)) != seven::StreamReader::Event::Frame &&
             e != seven::StreamReader::Event::None) {
      }
      total += Since(start);
    }
    (pass == 0 ? *alone : *afterDamaged) = total / 50 * 1e6;
  }
}

void WritePpm(const std::string& path, int variant) {
  std::string bytes = "P6\n384 216\n255\n";
  for (int y = 0; y < 216; ++y)
    for (int x = 0; x < 384; ++x) {
      bytes += static_cast<char>(((x + variant) % 32) << 3);
      bytes += static_cast<char>((y % 64) << 2);
      bytes += static_cast<char>(((x + y) % 32) << 3);
    }
  WriteAll(path, bytes);
}

struct Run {
  Exit exit;
  double seconds = 0;
  int frames = 0;
};

// liaison ecran --fenetre against the simulated Graph 90+E, ended by Q
// after `seconds`.
Run EndToEnd(const std::string& display, std::vector<std::string> sim, double seconds) {
  TempDir dir;
  WritePpm(dir / "a.ppm", 0);
  WritePpm(dir / "b.ppm", 9);
  sim.insert(sim.begin(), {"--screenrecv", dir / "a.ppm", "--screenrecv", dir / "b.ppm"});
  Calculator calculator(dir, sim, false);
  RunOptions options;
  options.env = FakeUsbEnvironment(calculator.Port(), "storage");
  options.env.insert(options.env.end(), {"DISPLAY=" + display, "SDL_RENDER_DRIVER=software"});
  options.timeoutSeconds = static_cast<int>(seconds) + 60;
  Run run;
  Clock::time_point start = Clock::now();
  Process liaison({LIAISON_BIN, "ecran", "--fenetre"}, dir.Path(), options);
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  std::string key = "DISPLAY=" + display + " xdotool search --class liaison key --window %@ q " +
                    ">/dev/null 2>&1";
  if (std::system(key.c_str()) != 0) std::fprintf(stderr, "screen_bench: no key sent\n");
  run.exit = liaison.Finish();
  run.seconds = Since(start);
  calculator.Finish();
  size_t at = run.exit.out.find(" image(s) enregistree(s), ");
  if (at != std::string::npos) run.frames = std::atoi(run.exit.out.c_str() + at + 26);
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  double idleSeconds = argc > 1 ? std::atof(argv[1]) : 20;
  Xvfb server;
  if (server.Display().empty()) {
    std::fprintf(stderr, "screen_bench: no Xvfb (Debian's xvfb)\n");
    return 1;
  }
  setenv("DISPLAY", server.Display().c_str(), 1);
  setenv("SDL_RENDER_DRIVER", "software", 1);
  std::string why;
  std::unique_ptr<ScreenWindow> window = OpenScreenWindow("Liaison - banc", 384, 216, &why);
  if (!window) {
    std::fprintf(stderr, "screen_bench: %s\n", why.c_str());
    return 1;
  }
  double inWindow = FramesPerSecond(1000, [&](const seven::Frame& f) {
    window->Show(f.pixels, f.width, f.height);
    window->Events(0);
  });
  window.reset();
  FILE* null = std::fopen("/dev/null", "w");
  double inTerminal = FramesPerSecond(1000, [&](const seven::Frame& f) {
    std::string drawing = DrawColour(ScreenOf(f), 160, 50);
    std::fwrite(drawing.data(), 1, drawing.size(), null);
  });
  std::fclose(null);
  double alone = 0, afterDamaged = 0;
  DamagedFrameCost(&alone, &afterDamaged);
  Run fast = EndToEnd(server.Display(), {"--fps", "1000", "--frames", "100000"}, 5);
  Run idle = EndToEnd(server.Display(), {"--frames", "2"}, idleSeconds);

  std::printf("| figure | measured | asked |\n|---|---:|---:|\n");
  std::printf(
      "| 384 x 216 1RC2 frames decoded and shown in the window (Xvfb) | %.0f /s | >= 200 /s |\n",
      inWindow);
  std::printf("| the same drawn for a 24-bit colour terminal (160 x 50) | %.0f /s | >= 100 /s |\n",
              inTerminal);
  std::printf(
      "| a good frame's decoding, alone / just after a damaged one | %.0f / %.0f us | "
      "no delay |\n",
      alone, afterDamaged);
  std::printf(
      "| liaison ecran --fenetre end to end (simulated ScreenRecv, 5 s) | %.0f frames/s "
      "| |\n",
      fast.frames / fast.seconds);
  std::printf("| processor while no frame comes (%.0f s) | %.2f %% | < 1 %% |\n", idle.seconds,
              100.0 * idle.exit.cpuSeconds / idle.seconds);
  std::printf("| peak memory (end to end, streaming) | %.1f MiB | < 32 MiB |\n",
              fast.exit.maxRssKb / 1024.0);
  return 0;
}
