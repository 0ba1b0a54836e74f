// The Windows build's store code on its own, for the Wine checks that need
// no window: the same file functions and the same choice of place as the
// program, driven from the command line.
//   store_tool write PATH TEXT       one write: exit 0 written, 2 refused, 3 failed
//   store_tool loop PATH A B         writes A and B (each with CR LF) in turn until killed
//   store_tool store FOLDER TEXT     the program's store for that program folder:
//                                    writes TEXT, then prints what it reads back
//   store_tool userfolder FOLDER     prints the per-user folder of a program folder
//   store_tool format FOLDER NUMBER  stores the number as the program writes it
//                                    under the user's locale
//   store_tool value FOLDER          prints the stored number as the program reads
//                                    it under the user's locale, or "not a number"
//   store_tool separator             prints the user's decimal separator
//   store_tool hold FOLDER NAME      keeps a temporary file of its own for NAME open
//                                    in the folder, as a writer at work does, until killed
//   store_tool held FOLDER           reads the store while its file is held open without
//                                    sharing (as a backup does), then once let go: prints
//                                    "unreadable" or the text, for each read
//   store_tool claim FOLDER          claims the store twice, as two copies of the program
//                                    would: prints "claimed" or "refused" for each
#include <cstdio>
#include <memory>
#include <string>

#include "hunger/hunger_value.h"
#include "hunger/store.h"
#include "platform/platform.h"
#include "platform/win32/files.h"
#include "platform/win32/locale_formats.h"
#include "platform/win32/utf8.h"
#include "platform/win32/win_api.h"

namespace {

using namespace guizzolo;

// Only what the store asks of the platform; nothing else is ever called.
class StorePlatform : public Platform {
 public:
  explicit StorePlatform(std::string folder) : folder_(std::move(folder)) {}
  std::unique_ptr<Window> createWindow(const WindowLayout&, WindowEvents&) override { throw Failure("no"); }
  float twipsPerPixelX() override { return 15; }
  float twipsPerPixelY() override { return 15; }
  void randomize(float) override {}
  float rnd() override { return 0; }
  float secondsSinceMidnight() override { return 0; }
  std::string shortDate() override { return {}; }
  std::string longTime() override { return {}; }
  std::string decimalSeparator() override { return win32::userDecimalSeparator(); }
  void msgBox(const std::string&, int, const std::string&) override {}
  void openUrl(const std::string&) override {}
  std::string programFolder() override { return folder_; }
  std::string pathSeparator() override { return "\\"; }
  std::string readFile(const std::string& path, std::size_t maxBytes) override {
    return win32::readFilePrefix(path, maxBytes);
  }
  void writeFile(const std::string& path, const std::string& bytes) override {
    win32::writeFileWhole(path, bytes);
  }
  std::string userFolder() override { return win32::virtualStoreFolder(folder_); }
  void createFolders(const std::string& path) override { win32::createFolders(path); }
  bool takesFile(const std::string& path) override { return win32::takesFile(path); }
  bool claimFile(const std::string& path) override { return win32::claimFile(path); }
  MediaPlayer& mediaPlayer() override { throw Failure("no"); }
  [[noreturn]] void end() override { ExitProcess(0); }

 private:
  std::string folder_;
};

int writeOnce(const std::string& path, const std::string& bytes) {
  try {
    win32::writeFileWhole(path, bytes);
    return 0;
  } catch (const Refused&) {
    return 2;
  } catch (const Failure&) {
    return 3;
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 64;
  std::string args[5];
  for (int i = 1; i < argc && i < 5; ++i) args[i] = win32::narrow(argv[i]);
  const std::string& mode = args[1];
  if (mode == "write" && argc >= 4) return writeOnce(args[2], args[3] + "\r\n");
  if (mode == "loop" && argc >= 5) {
    for (unsigned long i = 0;; ++i) writeOnce(args[2], args[3 + i % 2] + "\r\n");
  }
  if (mode == "store" && argc >= 4) {
    StorePlatform platform(args[2]);
    WriteStore(platform, args[3]);
    std::printf("%s\n", ReadStore(platform).c_str());
    return 0;
  }
  if (mode == "format" && argc >= 4) {
    StorePlatform platform(args[2]);
    WriteStore(platform, FormatHunger(std::stod(args[3]), platform.decimalSeparator()));
    return 0;
  }
  if (mode == "value") {
    StorePlatform platform(args[2]);
    try {
      std::printf("%.17g\n", ParseHunger(ReadStore(platform), platform.decimalSeparator()));
    } catch (const Failure&) {
      std::printf("not a number\n");
    }
    return 0;
  }
  if (mode == "hold" && argc >= 4) {
    const std::wstring temp = win32::widen(args[2]) + L"\\" + win32::widen(args[3]) + L"." +
                              std::to_wstring(GetCurrentProcessId()) + L"-1.new";
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 3;
    std::printf("held\n");
    std::fflush(stdout);
    for (;;) Sleep(1000);
  }
  if (mode == "held" && argc >= 3) {
    StorePlatform platform(args[2]);
    const auto show = [&] {
      const StoreRead found = ReadStoreFile(platform);
      std::printf("%s\n", found.unreadable ? "unreadable" : found.text.c_str());
    };
    const std::wstring path = win32::widen(args[2]) + L"\\Ph.ini";
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 3;
    show();
    CloseHandle(h);
    show();
    return 0;
  }
  if (mode == "claim" && argc >= 3) {
    StorePlatform platform(args[2]);
    for (int copy = 0; copy < 2; ++copy) std::printf("%s\n", ClaimStore(platform) ? "claimed" : "refused");
    return 0;
  }
  if (mode == "separator") {
    std::printf("%s\n", win32::userDecimalSeparator().c_str());
    return 0;
  }
  if (mode == "userfolder") {
    std::printf("%s\n", win32::virtualStoreFolder(args[2]).c_str());
    return 0;
  }
  return 64;
}
