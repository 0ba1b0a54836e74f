#include "platform/posix/session_manager.h"

#include <X11/ICE/ICElib.h>
#include <X11/SM/SMlib.h>
#include <unistd.h>

#include <cstdlib>

namespace guizzolo::posix {

struct SessionManagerClient::Connection {
  SmcConn smc = nullptr;
  bool die = false;
};

namespace {

// libICE's default ends the process when the manager goes away.
void keepRunning(IceConn) {}

void onSaveYourself(SmcConn smc, SmPointer, int, Bool, int, Bool) { SmcSaveYourselfDone(smc, True); }
void onDie(SmcConn, SmPointer data) { static_cast<SessionManagerClient::Connection*>(data)->die = true; }
void onSaveComplete(SmcConn, SmPointer) {}
void onShutdownCancelled(SmcConn, SmPointer) {}

void setProperties(SmcConn smc, const std::string& programPath) {
  std::string path = programPath;
  std::string user = std::to_string(getuid());
  char never = SmRestartNever;
  SmPropValue pathValue{static_cast<int>(path.size()), path.data()};
  SmPropValue userValue{static_cast<int>(user.size()), user.data()};
  SmPropValue neverValue{1, &never};
  SmProp program{const_cast<char*>(SmProgram), const_cast<char*>(SmARRAY8), 1, &pathValue};
  SmProp restart{const_cast<char*>(SmRestartCommand), const_cast<char*>(SmLISTofARRAY8), 1, &pathValue};
  SmProp clone{const_cast<char*>(SmCloneCommand), const_cast<char*>(SmLISTofARRAY8), 1, &pathValue};
  SmProp userId{const_cast<char*>(SmUserID), const_cast<char*>(SmARRAY8), 1, &userValue};
  SmProp style{const_cast<char*>(SmRestartStyleHint), const_cast<char*>(SmCARD8), 1, &neverValue};
  SmProp* all[] = {&program, &restart, &clone, &userId, &style};
  SmcSetProperties(smc, 5, all);
}

}  // namespace

SessionManagerClient::SessionManagerClient(const std::string& programPath) {
  if (std::getenv("SESSION_MANAGER") == nullptr) return;
  IceSetIOErrorHandler(&keepRunning);
  auto connection = std::make_unique<Connection>();
  SmcCallbacks callbacks{};
  callbacks.save_yourself.callback = &onSaveYourself;
  callbacks.die.callback = &onDie;
  callbacks.die.client_data = connection.get();
  callbacks.save_complete.callback = &onSaveComplete;
  callbacks.shutdown_cancelled.callback = &onShutdownCancelled;
  char* clientId = nullptr;
  char error[256] = {};
  connection->smc = SmcOpenConnection(
      nullptr, nullptr, SmProtoMajor, SmProtoMinor,
      SmcSaveYourselfProcMask | SmcDieProcMask | SmcSaveCompleteProcMask | SmcShutdownCancelledProcMask,
      &callbacks, nullptr, &clientId, sizeof error, error);
  free(clientId);
  if (connection->smc == nullptr) return;  // no manager there: the program runs on without
  setProperties(connection->smc, programPath);
  connection_ = std::move(connection);
}

SessionManagerClient::~SessionManagerClient() {
  if (connection_ != nullptr) SmcCloseConnection(connection_->smc, 0, nullptr);
}

int SessionManagerClient::fd() const {
  return connection_ == nullptr ? -1 : IceConnectionNumber(SmcGetIceConnection(connection_->smc));
}

bool SessionManagerClient::process() {
  if (connection_ == nullptr) return false;
  IceConn ice = SmcGetIceConnection(connection_->smc);
  if (IceProcessMessages(ice, nullptr, nullptr) == IceProcessMessagesIOError) {
    // The manager went away; nothing will end the session through it now.
    const bool die = connection_->die;
    IceSetShutdownNegotiation(ice, False);
    SmcCloseConnection(connection_->smc, 0, nullptr);
    connection_.reset();
    return die;
  }
  return connection_->die;
}

}  // namespace guizzolo::posix
