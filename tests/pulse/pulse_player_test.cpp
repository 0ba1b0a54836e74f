// The sound player against real audio servers of the test's own: one that
// plays into a null sink, one that is killed and started again, one that is
// stopped, one that never answers, and none at all. Each test drives the
// player from its own poll loop, as the program does.
#include "platform/pulse/pulse_player.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>

#include "tests/pulse/wave_builder.h"

namespace guizzolo::pulse {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen((command + " 2>/dev/null").c_str(), "r")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    ::pclose(p);
  }
  return out;
}

int Lines(const std::string& text) {
  int n = 0;
  for (const char c : text) n += c == '\n';
  return n;
}

// A private PulseAudio with a null sink; the test's PULSE_SERVER points at it.
class Server {
 public:
  explicit Server(const fs::path& folder, bool withSink = true) : folder_(folder), socket_(folder / "pulse.socket") {
    fs::create_directories(folder / "home");
    fs::create_directories(folder / "runtime");
    fs::permissions(folder / "runtime", fs::perms::owner_all);
    std::ofstream config(folder / "own.pa");
    if (withSink) config << "load-module module-null-sink sink_name=test_sink\n";
    config << "load-module module-native-protocol-unix socket=" << socket_.string() << " auth-anonymous=1\n";
    if (withSink) config << "set-default-sink test_sink\n";
  }
  ~Server() { kill(); }

  std::string address() const { return "unix:" + socket_.string(); }

  bool start() {
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setenv("HOME", (folder_ / "home").c_str(), 1);
      ::setenv("XDG_RUNTIME_DIR", (folder_ / "runtime").c_str(), 1);
      const int log = ::open((folder_ / "pulseaudio.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
      ::dup2(log, 1);
      ::dup2(log, 2);
      const std::string config = (folder_ / "own.pa").string();
      ::execlp("pulseaudio", "pulseaudio", "-n", "-F", config.c_str(), "--daemonize=no", "--exit-idle-time=-1",
               "--system=false", "--use-pid-file=no", "--disallow-exit=yes", "--log-target=stderr", nullptr);
      ::_exit(127);
    }
    for (int i = 0; i < 100; ++i) {
      if (Shell("pactl info").find("Server Name") != std::string::npos) return true;
      ::usleep(100000);
    }
    return false;
  }
  void signal(int number) { ::kill(pid_, number); }
  void kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGCONT);
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  fs::path folder_, socket_;
  pid_t pid_ = -1;
};

class PulsePlayerTest : public testing::Test {
 protected:
  void SetUp() override {
    if (Shell("command -v pulseaudio").empty() || Shell("command -v pactl").empty())
      GTEST_SKIP() << "pulseaudio and pactl are needed";
    char name[] = "/tmp/guizzolo-pulse-XXXXXX";
    folder_ = ::mkdtemp(name);
    ::setenv("HOME", (folder_ / "client-home").c_str(), 1);
    fs::create_directories(folder_ / "client-home");
  }
  void TearDown() override {
    server_.reset();
    fs::remove_all(folder_);
  }

  Server& server(bool withSink = true) {
    if (!server_) {
      server_ = std::make_unique<Server>(folder_ / "server", withSink);
      ::setenv("PULSE_SERVER", server_->address().c_str(), 1);
    }
    return *server_;
  }

  std::string Wave(const std::string& name, const std::string& bytes) {
    const fs::path path = folder_ / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }

  // The program's loop: wait on the player's descriptor, dispatch.
  bool Pump(PulsePlayer& player, double seconds, const std::function<bool()>& done = [] { return false; }) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
      pollfd p{player.fd(), POLLIN, 0};
      if (::poll(&p, 1, 20) > 0) player.dispatch();
      if (done()) return true;
    }
    return false;
  }

  static std::string SinkInputs() { return Shell("pactl list sink-inputs"); }
  static int PlayingCount() { return Lines(Shell("pactl list short sink-inputs")); }
  static std::string Samples() { return Shell("pactl list short samples"); }

  fs::path folder_;
  std::unique_ptr<Server> server_;
};

// What the player prints on stderr meanwhile (the program prints nothing).
class StderrCapture {
 public:
  explicit StderrCapture(const fs::path& file) : file_(file) {
    std::fflush(stderr);
    saved_ = ::dup(2);
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(fd, 2);
    ::close(fd);
  }
  std::string end() {
    std::fflush(stderr);
    ::dup2(saved_, 2);
    ::close(saved_);
    std::ifstream in(file_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  fs::path file_;
  int saved_;
};

TEST_F(PulsePlayerTest, PlaysFromTheSampleCacheAndKeepsOneEntryPerFile) {
  ASSERT_TRUE(server().start());
  const std::string tone = Wave("tone.wav", test::ToneWave(2.0));
  {
    PulsePlayer player;
    player.open(tone);
    player.setAutoStart(1);
    ASSERT_TRUE(Pump(player, 5, [] { return PlayingCount() == 1; })) << "the sound never played";
    EXPECT_EQ(Lines(Samples()), 1) << Samples();
    EXPECT_NE(Samples().find("guizzolo-"), std::string::npos) << Samples();
    player.open(tone);
    Pump(player, 0.5);
    EXPECT_EQ(PlayingCount(), 1) << "the same file again replaces the sound\n" << SinkInputs();
  }
  // A second run of the program shares the entry.
  PulsePlayer again;
  again.open(tone);
  ASSERT_TRUE(Pump(again, 5, [] { return PlayingCount() == 1; }));
  EXPECT_EQ(Lines(Samples()), 1) << Samples();
}

TEST_F(PulsePlayerTest, ALaterRequestStopsTheCurrentSound) {
  ASSERT_TRUE(server().start());
  const std::string low = Wave("low.wav", test::ToneWave(3.0, 220));
  const std::string high = Wave("high.wav", test::ToneWave(3.0, 880));
  PulsePlayer player;
  player.open(low);
  ASSERT_TRUE(Pump(player, 5, [] { return PlayingCount() == 1; }));
  const std::string lowInput = SinkInputs();
  player.open(high);
  Pump(player, 1);
  EXPECT_EQ(PlayingCount(), 1) << SinkInputs();
  EXPECT_NE(SinkInputs(), lowInput) << "the first sound still plays";

  // Asked for before the server answered the first: only the last sounds.
  player.open(low);
  player.open(high);
  player.open(low);
  Pump(player, 1);
  EXPECT_EQ(PlayingCount(), 1) << SinkInputs();
  EXPECT_EQ(Lines(Samples()), 2) << Samples();
}

TEST_F(PulsePlayerTest, AHugeFilePlaysItsStartOnce) {
  ASSERT_TRUE(server().start());
  // 64 MiB of silence behind a header that claims even more.
  const std::string path = Wave("huge.wav", test::Riff(test::Chunk("fmt ", test::FormatChunkBody(1, 2, 48000, 16))) +
                                                "data" + test::Le(0xFFFFFF00u, 4));
  fs::resize_file(path, 64u << 20);
  PulsePlayer player;
  const auto start = Clock::now();
  player.open(path);
  const double first = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  ASSERT_TRUE(Pump(player, 10, [] { return PlayingCount() == 1; }));
  const auto again = Clock::now();
  player.open(path);  // known by now: not read again
  const double second = std::chrono::duration<double, std::milli>(Clock::now() - again).count();
  std::cout << "open() of a 64 MiB wave file: " << first << " ms, then " << second << " ms\n";
  const std::string samples = Shell("pactl list samples");
  EXPECT_NE(samples.find("s16le 2ch 48000Hz"), std::string::npos) << samples;
  EXPECT_NE(samples.find("Size: 4.0 MiB"), std::string::npos) << "4 MiB at most\n" << samples;
}

TEST_F(PulsePlayerTest, IsStillWhileSilent) {
  ASSERT_TRUE(server().start());
  PulsePlayer player;
  player.open(Wave("short.wav", test::ToneWave(0.2)));
  ASSERT_TRUE(Pump(player, 5, [] { return PlayingCount() == 1; }));
  ASSERT_TRUE(Pump(player, 5, [] { return PlayingCount() == 0; }));
  Pump(player, 0.3);
  // Connected, nothing playing: no timer, no wakeup.
  pollfd p{player.fd(), POLLIN, 0};
  EXPECT_EQ(::poll(&p, 1, 1500), 0) << "the player woke up while silent";
}

TEST_F(PulsePlayerTest, AServerThatCannotPlayTheSampleGetsItOnce) {
  // No sink: the server keeps the sample but answers every play with "no
  // such entity", as it does for a sample it lacks (PipeWire's server does
  // so too while nothing is linked).
  ASSERT_TRUE(server(false).start());
  PulsePlayer player;
  player.open(Wave("tone.wav", test::ToneWave(0.5)));
  ASSERT_TRUE(Pump(player, 5, [] { return Lines(Samples()) == 1; })) << "never uploaded";
  Pump(player, 0.5);
  pollfd p{player.fd(), POLLIN, 0};
  EXPECT_EQ(::poll(&p, 1, 500), 0) << "the player uploads the sample again and again";
}

TEST_F(PulsePlayerTest, PlaysAgainAfterTheServerRestarts) {
  ASSERT_TRUE(server().start());
  const std::string tone = Wave("tone.wav", test::ToneWave(1.0));
  PulsePlayer player;
  player.open(tone);
  ASSERT_TRUE(Pump(player, 5, [] { return PlayingCount() == 1; }));

  server().kill();
  Pump(player, 0.3);
  pollfd p{player.fd(), POLLIN, 0};
  EXPECT_EQ(::poll(&p, 1, 300), 0) << "the lost connection keeps waking the player";
  player.open(tone);  // no server now: silence
  Pump(player, 0.3);
  ASSERT_TRUE(server().start());
  EXPECT_EQ(Lines(Samples()), 0);
  player.open(tone);
  EXPECT_TRUE(Pump(player, 5, [] { return PlayingCount() == 1; })) << "silent after the server came back";
  EXPECT_EQ(Lines(Samples()), 1) << Samples();
}

TEST_F(PulsePlayerTest, ASoundRightAfterAServerRestartPlays) {
  ASSERT_TRUE(server().start());
  const std::string tone = Wave("tone.wav", test::ToneWave(1.0));
  PulsePlayer player;
  player.open(tone);
  ASSERT_TRUE(Pump(player, 5, [] { return PlayingCount() == 1; }));
  // Restarted while the program's loop was busy elsewhere: nothing was
  // dispatched between the server going and the next sound.
  server().kill();
  ASSERT_TRUE(server().start());
  player.open(tone);
  EXPECT_TRUE(Pump(player, 5, [] { return PlayingCount() == 1; })) << "the first sound after a restart is lost";
}

TEST_F(PulsePlayerTest, NoServerIsSilenceAndSaysNothing) {
  ::setenv("PULSE_SERVER", ("unix:" + (folder_ / "nothing-here.socket").string()).c_str(), 1);
  const std::string tone = Wave("tone.wav", test::ToneWave(0.5));
  StderrCapture err(folder_ / "stderr");
  {
    PulsePlayer player;
    for (int i = 0; i < 3; ++i) {
      EXPECT_NO_THROW(player.open(tone));
      Pump(player, 0.2);
    }
    pollfd p{player.fd(), POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 300), 0) << "the player keeps waking without a server";
  }
  EXPECT_EQ(err.end(), "");
}

TEST_F(PulsePlayerTest, NeverStartsAServerOfItsOwn) {
  // Nothing named: the library would look in the runtime folder, and could
  // start a server there itself (for users other than root, who never get one).
  const fs::path runtime = folder_ / "runtime";
  fs::create_directories(runtime);
  fs::permissions(runtime, fs::perms::owner_all);
  ::unsetenv("PULSE_SERVER");
  const std::string saved = std::getenv("XDG_RUNTIME_DIR") ? std::getenv("XDG_RUNTIME_DIR") : "";
  ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  {
    PulsePlayer player;
    player.open(Wave("tone.wav", test::ToneWave(0.5)));
    Pump(player, 1.5);
  }
  if (saved.empty()) ::unsetenv("XDG_RUNTIME_DIR"); else ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
  EXPECT_FALSE(fs::exists(runtime / "pulse" / "native")) << "a server was started";
  EXPECT_FALSE(fs::exists(runtime / "pulse" / "pid")) << "a server was started";
}

// PipeWire with WirePlumber and its pulse server, as GNOME runs them
// (scripts/audio-server.sh), with the same null sink.
class PipeWire {
 public:
  explicit PipeWire(const fs::path& folder) : folder_(folder) {}
  ~PipeWire() { Shell(command("stop")); }
  bool start() {
    if (std::system((command("start") + " >/dev/null 2>&1").c_str()) != 0) return false;
    std::ifstream env(folder_ / "env");
    for (std::string line; std::getline(env, line);)
      if (line.rfind("export PULSE_SERVER=", 0) == 0) ::setenv("PULSE_SERVER", line.substr(20).c_str(), 1);
    std::ifstream(folder_ / "server.pid") >> pid_;
    return pid_ > 0;
  }
  bool alive() const {  // a process that died but was not yet reaped is not
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
    std::string pid, name, state;
    return bool(stat >> pid >> name >> state) && state != "Z";
  }

 private:
  std::string command(const char* what) const {
    return std::string(GUIZZOLO_AUDIO_SERVER) + " " + what + " " + folder_.string() + " pipewire";
  }
  fs::path folder_;
  pid_t pid_ = -1;
};

TEST_F(PulsePlayerTest, UnderPipeWireTheFirstSoundOfEveryNewConnectionPlays) {
  if (Shell("command -v pipewire-pulse").empty() || Shell("command -v wireplumber").empty())
    GTEST_SKIP() << "pipewire, pipewire-pulse and wireplumber are needed";
  // Its pulse server sets up a new client's default sink before it answers
  // the client's name, and refuses a sound asked for earlier.
  PipeWire server(folder_ / "pipewire");
  ASSERT_TRUE(server.start()) << "PipeWire did not start";
  const std::string tone = Wave("tone.wav", test::ToneWave(2.0));
  int lost = 0;
  const int connections = 6;
  for (int i = 0; i < connections; ++i) {
    {
      PulsePlayer player;
      player.open(tone);
      // Dispatched at once, as the program's loop does: the server is
      // asked only now and then whether it plays.
      auto next = Clock::now() + std::chrono::milliseconds(500);
      lost += !Pump(player, 10, [&next] {
        if (Clock::now() < next) return false;
        next = Clock::now() + std::chrono::milliseconds(500);
        return PlayingCount() == 1;
      });
    }
    ASSERT_TRUE(server.alive()) << "the audio server died when a player went away while its sound played";
    // Gone with its player: the next connection starts from silence.
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (PlayingCount() != 0 && Clock::now() < end) ::usleep(50000);
    ASSERT_EQ(PlayingCount(), 0) << SinkInputs();
  }
  EXPECT_EQ(lost, 0) << "first sounds lost of " << connections << " new connections";
}

// The longest open() of twenty, each with a few dispatches between them.
double LongestOpenMs(PulsePlayer& player, const std::string& a, const std::string& b,
                     const std::function<void()>& between) {
  double longest = 0;
  for (int i = 0; i < 20; ++i) {
    const auto start = Clock::now();
    player.open(i % 2 ? a : b);
    player.setAutoStart(1);
    longest = std::max(longest, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    between();
  }
  return longest;
}

TEST_F(PulsePlayerTest, AServerThatNeverAnswersDelaysNothing) {
  const fs::path path = folder_ / "silent.socket";
  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 1), 0);  // and never accept()ed
  ::setenv("PULSE_SERVER", ("unix:" + path.string()).c_str(), 1);
  const std::string a = Wave("a.wav", test::ToneWave(0.5, 300)), b = Wave("b.wav", test::ToneWave(0.5, 600));
  StderrCapture err(folder_ / "stderr");
  double longest = 0;
  {
    PulsePlayer player;
    longest = LongestOpenMs(player, a, b, [&] { Pump(player, 0.05); });
  }
  EXPECT_EQ(err.end(), "");
  ::close(listener);
  std::cout << "longest open() with a server that never answers: " << longest << " ms\n";
  RecordProperty("longest_open_ms", std::to_string(longest));
  EXPECT_LT(longest, 50);
}

TEST_F(PulsePlayerTest, AStoppedServerDelaysNothingAndPlaysOnceItGoesOn) {
  ASSERT_TRUE(server().start());
  const std::string a = Wave("a.wav", test::ToneWave(0.5, 300)), b = Wave("b.wav", test::ToneWave(0.5, 600));
  PulsePlayer player;
  player.open(a);
  ASSERT_TRUE(Pump(player, 5, [] { return PlayingCount() == 1; }));
  server().signal(SIGSTOP);
  const double longest = LongestOpenMs(player, a, b, [&] { Pump(player, 0.05); });
  std::cout << "longest open() with a stopped server: " << longest << " ms\n";
  RecordProperty("longest_open_ms_stopped", std::to_string(longest));
  EXPECT_LT(longest, 50);
  server().signal(SIGCONT);
  player.open(b);
  EXPECT_TRUE(Pump(player, 5, [] { return PlayingCount() >= 1; }));
  Pump(player, 1);
  EXPECT_LE(PlayingCount(), 1) << "the sounds asked for while stopped all play at once\n" << SinkInputs();
}

TEST_F(PulsePlayerTest, AFileThatCannotPlayFailsAtOpen) {
  ::setenv("PULSE_SERVER", ("unix:" + (folder_ / "nothing-here.socket").string()).c_str(), 1);
  PulsePlayer player;
  fs::create_directories(folder_ / "folder.wav");
  const std::string cases[] = {
      (folder_ / "missing.wav").string(),
      (folder_ / "folder.wav").string(),
      Wave("empty.wav", ""),
      Wave("garbage.wav", std::string(5000, 'x')),
  };
  for (const std::string& path : cases) EXPECT_THROW(player.open(path), Failure) << path;
  // A file that changed since it was read is read again.
  const std::string changing = Wave("changing.wav", test::ToneWave(0.1));
  EXPECT_NO_THROW(player.open(changing));
  Wave("changing.wav", "no longer a wave file");
  EXPECT_THROW(player.open(changing), Failure);
}

}  // namespace
}  // namespace guizzolo::pulse
