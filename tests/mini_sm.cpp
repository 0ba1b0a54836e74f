// A session manager for the tests, on libSM's server side: it prints the
// address for SESSION_MANAGER, then one line per event ("registered ID",
// "restart-style N", "save-yourself-done ID", "die ID", "closed ID"), and on
// the line
// "shutdown" from stdin asks every client to save for a shutdown and, once
// each has answered, tells it to die, as a logout does.
#include <X11/ICE/ICElib.h>
#include <X11/SM/SMlib.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

struct Client {
  SmsConn sms = nullptr;
  IceConn ice = nullptr;
  std::string id;
  bool saving = false;
};

std::map<SmsConn, Client> clients;
std::vector<IceConn> closing;  // closed after IceProcessMessages returns

void say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

Status onRegister(SmsConn sms, SmPointer, char* previousId) {
  char* id = previousId != nullptr ? previousId : SmsGenerateClientID(sms);
  if (id == nullptr) return 0;
  clients[sms].id = id;
  SmsRegisterClientReply(sms, id);
  say("registered " + clients[sms].id);
  // As every session manager does: a first save right after registering.
  if (previousId == nullptr) SmsSaveYourself(sms, SmSaveLocal, False, SmInteractStyleNone, False);
  free(id);
  return 1;
}

void onInteractRequest(SmsConn sms, SmPointer, int) { SmsInteract(sms); }
void onInteractDone(SmsConn, SmPointer, Bool) {}
void onSaveYourselfRequest(SmsConn, SmPointer, int, Bool, int, Bool, Bool) {}
void onSaveYourselfPhase2Request(SmsConn sms, SmPointer) { SmsSaveYourselfPhase2(sms); }

void onSaveYourselfDone(SmsConn sms, SmPointer, Bool success) {
  Client& c = clients[sms];
  say("save-yourself-done " + c.id + (success ? " ok" : " failed"));
  if (c.saving) {
    c.saving = false;
    SmsDie(sms);
    say("die " + c.id);
  } else {
    SmsSaveComplete(sms);
  }
}

void onCloseConnection(SmsConn sms, SmPointer, int count, char** reasons) {
  say("closed " + clients[sms].id);
  SmFreeReasons(count, reasons);
  closing.push_back(clients[sms].ice);
  clients.erase(sms);
  SmsCleanUp(sms);
}

void onSetProperties(SmsConn, SmPointer, int count, SmProp** props) {
  for (int i = 0; i < count; ++i) {
    if (std::strcmp(props[i]->name, SmRestartStyleHint) == 0 && props[i]->num_vals == 1 &&
        props[i]->vals[0].length == 1)
      say("restart-style " + std::to_string(static_cast<const unsigned char*>(props[i]->vals[0].value)[0]));
    SmFreeProperty(props[i]);
  }
  free(props);
}
void onDeleteProperties(SmsConn, SmPointer, int count, char** names) { SmFreeReasons(count, names); }
void onGetProperties(SmsConn sms, SmPointer) { SmsReturnProperties(sms, 0, nullptr); }

Status onNewClient(SmsConn sms, SmPointer, unsigned long* mask, SmsCallbacks* cb, char**) {
  clients[sms].sms = sms;
  clients[sms].ice = SmsGetIceConnection(sms);
  *mask = SmsRegisterClientProcMask | SmsInteractRequestProcMask | SmsInteractDoneProcMask |
          SmsSaveYourselfRequestProcMask | SmsSaveYourselfP2RequestProcMask | SmsSaveYourselfDoneProcMask |
          SmsCloseConnectionProcMask | SmsSetPropertiesProcMask | SmsDeletePropertiesProcMask |
          SmsGetPropertiesProcMask;
  cb->register_client.callback = onRegister;
  cb->interact_request.callback = onInteractRequest;
  cb->interact_done.callback = onInteractDone;
  cb->save_yourself_request.callback = onSaveYourselfRequest;
  cb->save_yourself_phase2_request.callback = onSaveYourselfPhase2Request;
  cb->save_yourself_done.callback = onSaveYourselfDone;
  cb->close_connection.callback = onCloseConnection;
  cb->set_properties.callback = onSetProperties;
  cb->delete_properties.callback = onDeleteProperties;
  cb->get_properties.callback = onGetProperties;
  return 1;
}

// No authentication: the tests run on a private machine, one user.
Bool anyHost(char*) { return True; }

}  // namespace

int main() {
  char error[256] = {};
  if (!SmsInitialize("guizzolo-test", "1.0", onNewClient, nullptr, anyHost, sizeof error, error)) {
    std::fprintf(stderr, "SmsInitialize: %s\n", error);
    return 1;
  }
  int count = 0;
  IceListenObj* listeners = nullptr;
  if (!IceListenForConnections(&count, &listeners, sizeof error, error)) {
    std::fprintf(stderr, "IceListenForConnections: %s\n", error);
    return 1;
  }
  for (int i = 0; i < count; ++i) IceSetHostBasedAuthProc(listeners[i], anyHost);
  char* address = IceComposeNetworkIdList(count, listeners);
  say(std::string("SESSION_MANAGER=") + address);
  free(address);

  std::vector<IceConn> connections;
  std::string input;
  for (;;) {
    std::vector<pollfd> fds{{STDIN_FILENO, POLLIN, 0}};
    for (int i = 0; i < count; ++i) fds.push_back({IceGetListenConnectionNumber(listeners[i]), POLLIN, 0});
    for (IceConn c : connections) fds.push_back({IceConnectionNumber(c), POLLIN, 0});
    if (poll(fds.data(), fds.size(), -1) < 0) continue;
    if (fds[0].revents != 0) {
      char buffer[256];
      const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
      if (got <= 0) return 0;  // the test is gone
      input.append(buffer, static_cast<std::size_t>(got));
      for (std::size_t end; (end = input.find('\n')) != std::string::npos; input.erase(0, end + 1)) {
        if (input.compare(0, end, "shutdown") != 0) continue;
        for (auto& [sms, c] : clients) {
          c.saving = true;
          SmsSaveYourself(sms, SmSaveLocal, True, SmInteractStyleNone, False);
        }
      }
    }
    for (int i = 0; i < count; ++i) {
      if (fds[static_cast<std::size_t>(1 + i)].revents == 0) continue;
      IceAcceptStatus status;
      IceConn c = IceAcceptConnection(listeners[i], &status);
      if (c == nullptr) continue;
      // Finish the connection setup before it joins the others.
      IceConnectStatus state;
      while ((state = IceConnectionStatus(c)) == IceConnectPending) {
        if (IceProcessMessages(c, nullptr, nullptr) == IceProcessMessagesIOError) break;
      }
      if (state == IceConnectAccepted) connections.push_back(c);
      else IceCloseConnection(c);
    }
    for (std::size_t k = 1 + static_cast<std::size_t>(count); k < fds.size(); ++k) {
      if (fds[k].revents == 0) continue;
      IceConn c = connections[k - 1 - static_cast<std::size_t>(count)];
      if (IceProcessMessages(c, nullptr, nullptr) == IceProcessMessagesIOError) {
        for (auto it = clients.begin(); it != clients.end(); ++it) {
          if (it->second.ice != c) continue;
          say("closed " + it->second.id);
          SmsCleanUp(it->first);
          clients.erase(it);
          break;
        }
        IceSetShutdownNegotiation(c, False);
        IceCloseConnection(c);
        connections.erase(connections.begin() + static_cast<std::ptrdiff_t>(k - 1 - static_cast<std::size_t>(count)));
        break;  // the descriptors moved: poll again
      }
    }
    for (IceConn c : closing) {
      std::erase(connections, c);
      IceSetShutdownNegotiation(c, False);
      IceCloseConnection(c);
    }
    closing.clear();
  }
}
