#include "platform/x11/session_client.h"

#include <X11/ICE/ICElib.h>
#include <X11/SM/SMlib.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace guizzolo::x11 {

struct SessionClient::State {
  EventLoop* loop = nullptr;
  std::function<void()> die;
  SmcConn connection = nullptr;
  int fd = -1;
};

namespace {

// The library's default would end the program when the manager goes away.
void ignoreIoError(IceConn) {}

void saveYourself(SmcConn connection, SmPointer, int, Bool, int, Bool) {
  // Nothing to save for the session: the hunger value is stored at its end.
  SmcSaveYourselfDone(connection, True);
}

void die(SmcConn, SmPointer data) {
  auto* state = static_cast<SessionClient::State*>(data);
  if (state->die) state->die();
}

void nothing(SmcConn, SmPointer) {}

void setProperties(SmcConn connection) {
  char exe[4096] = {};
  const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  std::string program = n > 0 ? std::string(exe, static_cast<std::size_t>(n)) : std::string("NuvoNuvo");
  const passwd* user = ::getpwuid(::getuid());
  std::string userId = user != nullptr ? user->pw_name : std::to_string(::getuid());
  char restartIfRunning = SmRestartIfRunning;
  SmPropValue programValue{static_cast<int>(program.size()), program.data()};
  SmPropValue userValue{static_cast<int>(userId.size()), userId.data()};
  SmPropValue hintValue{1, &restartIfRunning};
  SmProp programProp{const_cast<char*>(SmProgram), const_cast<char*>(SmARRAY8), 1, &programValue};
  SmProp restartProp{const_cast<char*>(SmRestartCommand), const_cast<char*>(SmLISTofARRAY8), 1, &programValue};
  SmProp cloneProp{const_cast<char*>(SmCloneCommand), const_cast<char*>(SmLISTofARRAY8), 1, &programValue};
  SmProp userProp{const_cast<char*>(SmUserID), const_cast<char*>(SmARRAY8), 1, &userValue};
  SmProp hintProp{const_cast<char*>(SmRestartStyleHint), const_cast<char*>(SmCARD8), 1, &hintValue};
  SmProp* props[] = {&programProp, &restartProp, &cloneProp, &userProp, &hintProp};
  SmcSetProperties(connection, 5, props);
}

}  // namespace

SessionClient::SessionClient(std::unique_ptr<State> state) : state_(std::move(state)) {}

SessionClient::~SessionClient() {
  if (state_->fd >= 0) state_->loop->unwatch(state_->fd);
  if (state_->connection != nullptr) SmcCloseConnection(state_->connection, 0, nullptr);
}

std::unique_ptr<SessionClient> SessionClient::connect(EventLoop& loop, std::function<void()> dieHandler) {
  const char* address = std::getenv("SESSION_MANAGER");
  if (address == nullptr || *address == '\0') return nullptr;
  IceSetIOErrorHandler(&ignoreIoError);
  auto state = std::make_unique<State>();
  state->loop = &loop;
  state->die = std::move(dieHandler);
  SmcCallbacks callbacks{};
  callbacks.save_yourself.callback = &saveYourself;
  callbacks.die.callback = &die;
  callbacks.die.client_data = state.get();
  callbacks.save_complete.callback = &nothing;
  callbacks.shutdown_cancelled.callback = &nothing;
  char error[256] = {};
  char* clientId = nullptr;
  state->connection = SmcOpenConnection(nullptr, nullptr, SmProtoMajor, SmProtoMinor,
                                        SmcSaveYourselfProcMask | SmcDieProcMask | SmcSaveCompleteProcMask |
                                            SmcShutdownCancelledProcMask,
                                        &callbacks, nullptr, &clientId, sizeof error, error);
  std::free(clientId);
  if (state->connection == nullptr) return nullptr;
  setProperties(state->connection);
  IceConn ice = SmcGetIceConnection(state->connection);
  state->fd = IceConnectionNumber(ice);
  State* s = state.get();
  loop.watch(state->fd, [s, ice] {
    if (IceProcessMessages(ice, nullptr, nullptr) != IceProcessMessagesIOError) return;
    // The manager went away: the pet goes on without one.
    s->loop->unwatch(s->fd);
    s->fd = -1;
    IceSetShutdownNegotiation(ice, False);
    SmcCloseConnection(s->connection, 0, nullptr);
    s->connection = nullptr;
  });
  return std::unique_ptr<SessionClient>(new SessionClient(std::move(state)));
}

}  // namespace guizzolo::x11
