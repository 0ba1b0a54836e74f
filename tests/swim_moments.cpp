// Which moments of the day bring what an end-to-end test waits for. The
// program seeds its draws from the time of day, so a test that freezes the
// wall clock (libfaketime) at a chosen moment knows the whole swim in advance.
// This runs the program's own code (its load, its ticks, its draws) on the
// fake desktop for a moment and writes the swim as one token per tick:
//
//   <state><h if a hunger step ran><what the tick did>[!]
//     what: m move, t turn, s sound, e edge correction, d death
//     !     a message box (the hunger alert) opened at this tick
//
// e.g. "1m 1hm 1s 1t 3m": a move, a hunger step and a move, a sound, a turn
// to state 3, a move in state 3. Ticks of a state run every 100 ms.
//
//   swim_moments show HH:MM:SS TICKS [STORE]
//       the swim of that moment, one token a tick
//   swim_moments path HH:MM:SS TICKS [STORE]
//       the same, one line a tick: the token and the pet window's place
//       after it (x y, in pixels at 96 dpi on a 1280 x 800 screen)
//   swim_moments find REGEX TICKS [STORE] [COUNT]
//       the first COUNT (default 5) whole seconds of the day whose swim of
//       TICKS ticks matches REGEX (ECMAScript, searched in the tokens)
//
// STORE is the text of Ph.ini at the start (default "100"); "-" for none.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "app/program.h"
#include "behaviour/swim_states.h"
#include "platform/fake/fake_platform.h"
#include "platform/random_draws.h"

namespace guizzolo {
namespace {

// The fake desktop with the real draws: seeded by the load handler from the
// moment, as the program seeds them from the time of day.
class MomentPlatform : public fake::FakePlatform {
 public:
  MomentPlatform(const std::string& folder, float moment) : FakePlatform(folder), moment_(moment) {}
  void randomize(float seed) override { draws_.seed(seed); }
  float rnd() override { return drawn.emplace_back(draws_.next()); }
  float secondsSinceMidnight() override { return moment_; }

  std::vector<float> drawn;  // the draws of the tick that runs

 private:
  float moment_;
  RandomDraws draws_;
};

// The tokens of the swim, and where the pet window is after each tick.
std::string Swim(const std::filesystem::path& folder, int seconds, int ticks, const std::string& store,
                 std::vector<std::pair<int, int>>* places = nullptr) {
  std::filesystem::remove(folder / "Ph.ini");
  if (store != "-") std::ofstream(folder / "Ph.ini", std::ios::binary) << store << "\r\n";
  MomentPlatform platform(folder.string(), static_cast<float>(seconds));
  Program program(platform);
  program.Start();
  fake::FakeWindow& pet = *platform.window("Form1");
  std::string tokens;
  for (int tick = 0; tick < ticks; ++tick) {
    int state = 0;
    for (int id = 1; id <= 4 && state == 0; ++id)
      if (pet.timerEnabled(id)) state = id;
    if (state == 0) break;
    fake::FakeWindow* panel = platform.window("NuvoNuvo di Tarvisco");
    // Before the first tick loads the panel, the field is what it will read.
    const std::string hunger = panel != nullptr ? panel->texts.at(Form2::Text1) : store == "-" ? "" : store;
    const auto place = std::make_pair(pet.geometry.x, pet.geometry.y);
    const std::size_t boxes = platform.boxes.size();
    const auto timers = pet.timers;
    platform.log.clear();
    platform.drawn.clear();
    char what = 'm';
    try {
      platform.tick("Form1", state);
    } catch (const fake::ProgramEnded&) {
      what = 'd';
    }
    panel = platform.window("NuvoNuvo di Tarvisco");
    const bool stepped = what == 'd' || (panel != nullptr && panel->texts.at(Form2::Text1) != hunger);
    if (!tokens.empty()) tokens += ' ';
    tokens += std::to_string(state);
    if (stepped) tokens += 'h';
    if (what != 'd') {
      if (!platform.calls("open(").empty()) {
        what = 's';
      } else if (pet.timers != timers) {
        // A turn moves nothing; an edge puts one coordinate straight back.
        what = std::make_pair(pet.geometry.x, pet.geometry.y) == place ? 't' : 'e';
      } else if (!platform.drawn.empty()) {
        // Not where a move by the tick's step would have taken it: an edge
        // of state 1, which writes no timer.
        const SwimState& st = kSwimStates.at(static_cast<std::size_t>(state - 1));
        const double step = static_cast<int>(platform.drawn.front() * 200) + 1;
        const double tpp = platform.tpp;
        const auto moved = std::make_pair(ToPixels(place.first * tpp + st.dx * step, platform.tpp),
                                          ToPixels(place.second * tpp + st.dy * step, platform.tpp));
        if (moved != std::make_pair(pet.geometry.x, pet.geometry.y)) what = 'e';
      }
    }
    tokens += what;
    if (platform.boxes.size() > boxes && what != 'd') tokens += '!';
    if (places != nullptr) places->emplace_back(pet.geometry.x, pet.geometry.y);
    if (what == 'd') break;
  }
  return tokens;
}

std::string Clock(int seconds) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return text;
}

int Usage() {
  std::fputs("usage: swim_moments show|path HH:MM:SS TICKS [STORE]\n"
             "       swim_moments find REGEX TICKS [STORE] [COUNT]\n", stderr);
  return 2;
}

}  // namespace
}  // namespace guizzolo

int main(int argc, char** argv) {
  using namespace guizzolo;
  if (argc < 4) return Usage();
  const std::string mode = argv[1];
  const int ticks = std::atoi(argv[3]);
  const std::string store = argc > 4 ? argv[4] : "100";
  std::string pattern = (std::filesystem::temp_directory_path() / "swim-moments-XXXXXX").string();
  const std::filesystem::path folder = mkdtemp(pattern.data());
  int status = 0;
  if (mode == "show" || mode == "path") {
    int h = 0, m = 0, s = 0;
    if (std::sscanf(argv[2], "%d:%d:%d", &h, &m, &s) != 3) return Usage();
    std::vector<std::pair<int, int>> places;
    const std::string tokens = Swim(folder, h * 3600 + m * 60 + s, ticks, store, &places);
    if (mode == "show") {
      std::printf("%s\n", tokens.c_str());
    } else {
      std::size_t start = 0;
      for (const auto& [x, y] : places) {
        const std::size_t end = tokens.find(' ', start);
        std::printf("%s %d %d\n", tokens.substr(start, end - start).c_str(), x, y);
        start = end + 1;
      }
    }
  } else if (mode == "find") {
    const std::regex wanted(argv[2]);
    int count = argc > 5 ? std::atoi(argv[5]) : 5;
    for (int seconds = 0; seconds < 86400 && count > 0; ++seconds) {
      const std::string tokens = Swim(folder, seconds, ticks, store);
      if (std::regex_search(tokens, wanted)) {
        std::printf("%s  %s\n", Clock(seconds).c_str(), tokens.c_str());
        --count;
      }
    }
  } else {
    status = Usage();
  }
  std::filesystem::remove_all(folder);
  return status;
}
