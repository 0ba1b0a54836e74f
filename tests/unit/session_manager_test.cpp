// The program's registration with the X session manager, against a session
// manager of our own (tests/mini_sm.cpp) in a child process.
#include "platform/posix/session_manager.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

namespace guizzolo::test {
namespace {

class Manager {
 public:
  Manager() {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], STDIN_FILENO);
      dup2(out[1], STDOUT_FILENO);
      close(in[1]);
      close(out[0]);
      execl(GUIZZOLO_MINI_SM, GUIZZOLO_MINI_SM, static_cast<char*>(nullptr));
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    toManager_ = in[1];
    fromManager_ = out[0];
  }
  ~Manager() {
    Kill();
    close(toManager_);
    close(fromManager_);
  }
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  void Say(const std::string& line) {
    const std::string all = line + "\n";
    ASSERT_EQ(write(toManager_, all.data(), all.size()), static_cast<ssize_t>(all.size()));
  }
  // The next line from the manager that starts with prefix, while the client
  // (if any) handles what the manager sends it; "" after a second without it.
  std::string Await(const std::string& prefix, posix::SessionManagerClient* client = nullptr,
                    bool* died = nullptr) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
      for (std::size_t end; (end = buffer_.find('\n')) != std::string::npos;) {
        std::string line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        if (line.rfind(prefix, 0) == 0) return line;
      }
      pollfd fds[2] = {{fromManager_, POLLIN, 0}, {client != nullptr ? client->fd() : -1, POLLIN, 0}};
      if (poll(fds, 2, 100) <= 0) continue;
      if (fds[1].revents != 0 && client->process() && died != nullptr) *died = true;
      if (fds[0].revents != 0) {
        char chunk[256];
        const ssize_t got = read(fromManager_, chunk, sizeof chunk);
        if (got <= 0) return "";
        buffer_.append(chunk, static_cast<std::size_t>(got));
      }
    }
    return "";
  }

 private:
  pid_t pid_ = -1;
  int toManager_ = -1, fromManager_ = -1;
  std::string buffer_;
};

class SessionManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string address = manager.Await("SESSION_MANAGER=");
    ASSERT_FALSE(address.empty());
    setenv("SESSION_MANAGER", address.substr(address.find('=') + 1).c_str(), 1);
  }
  void TearDown() override { unsetenv("SESSION_MANAGER"); }
  Manager manager;
};

TEST(SessionManagerAbsent, WithoutAManagerThereIsNothingToWatch) {
  unsetenv("SESSION_MANAGER");
  posix::SessionManagerClient client("/opt/guizzolo/NuvoNuvo");
  EXPECT_EQ(client.fd(), -1);
  EXPECT_FALSE(client.process());
}

TEST_F(SessionManagerTest, RegistersAsksNeverToBeRestartedAndDiesAtTheLogout) {
  posix::SessionManagerClient client("/opt/guizzolo/NuvoNuvo");
  ASSERT_GE(client.fd(), 0);
  EXPECT_NE(manager.Await("registered "), "");
  EXPECT_EQ(manager.Await("restart-style ", &client), "restart-style 3");  // SmRestartNever
  bool died = false;
  EXPECT_NE(manager.Await("save-yourself-done ", &client, &died).find(" ok"), std::string::npos)
      << "the save after registering is answered";
  EXPECT_FALSE(died) << "a save alone ends nothing";
  manager.Say("shutdown");
  EXPECT_NE(manager.Await("save-yourself-done ", &client, &died), "");
  EXPECT_NE(manager.Await("die ", &client, &died), "");
  for (int i = 0; i < 50 && !died; ++i) {
    pollfd fd{client.fd(), POLLIN, 0};
    if (poll(&fd, 1, 100) == 1) died = client.process();
  }
  EXPECT_TRUE(died);
}

TEST_F(SessionManagerTest, AManagerThatGoesAwayEndsNothing) {
  posix::SessionManagerClient client("/opt/guizzolo/NuvoNuvo");
  ASSERT_GE(client.fd(), 0);
  EXPECT_NE(manager.Await("save-yourself-done ", &client), "");
  manager.Kill();
  // What the manager sent last may still wait before the end of the stream.
  for (int i = 0; i < 20 && client.fd() >= 0; ++i) {
    pollfd fd{client.fd(), POLLIN, 0};
    ASSERT_EQ(poll(&fd, 1, 5000), 1);
    EXPECT_FALSE(client.process()) << "and the process lives on";
  }
  EXPECT_EQ(client.fd(), -1);
  EXPECT_FALSE(client.process());
}

}  // namespace
}  // namespace guizzolo::test
