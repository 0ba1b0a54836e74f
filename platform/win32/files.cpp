#include "platform/win32/files.h"

#include "platform/win32/win_api.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdint>
#include <cwctype>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/utf8.h"

namespace guizzolo::win32 {
namespace {

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& other) noexcept : h_(other.h_) { other.h_ = INVALID_HANDLE_VALUE; }
  Handle& operator=(Handle&&) = delete;
  ~Handle() {
    if (ok()) CloseHandle(h_);
  }
  HANDLE get() const { return h_; }
  bool ok() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  // Closing reports late write errors (network shares), so it is checked.
  bool close() {
    const HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return CloseHandle(h) != 0;
  }

 private:
  HANDLE h_;
};

bool writeAll(HANDLE file, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

std::wstring folderOf(const std::wstring& path) {
  const auto slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return L".";
  return path.substr(0, slash);
}

std::wstring nameOf(const std::wstring& path) {
  const auto slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool refusing(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT || error == ERROR_NOT_SUPPORTED;
}

// The file a path finally names: a symbolic link's target, without the
// long-path prefix. The path itself when it names nothing yet.
std::wstring finalTarget(const std::wstring& path) {
  Handle h(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!h.ok()) return path;
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetFinalPathNameByHandleW(h.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return path;
    if (n < buffer.size()) {
      std::wstring target(buffer.data(), n);
      if (target.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + target.substr(8);
      if (target.rfind(L"\\\\?\\", 0) == 0) return target.substr(4);
      return target;
    }
    buffer.resize(n + 1);
  }
}

// "Ph.ini.1234-56789.new": a temporary file of ours (writer process 1234)
// for the target named name; 0 when it is not one.
DWORD writerOfTemp(const std::wstring& entry, const std::wstring& name) {
  const std::wstring suffix = L".new";
  if (entry.size() <= name.size() + 1 + suffix.size() || entry.compare(0, name.size(), name) != 0 ||
      entry[name.size()] != L'.' || entry.compare(entry.size() - suffix.size(), suffix.size(), suffix) != 0)
    return 0;
  const std::wstring middle = entry.substr(name.size() + 1, entry.size() - name.size() - 1 - suffix.size());
  const auto dash = middle.find(L'-');
  if (dash == std::wstring::npos || dash == 0 || dash + 1 == middle.size() || dash > 10 ||
      !std::all_of(middle.begin(), middle.end(), [](wchar_t c) { return c == L'-' || std::iswdigit(c); }) ||
      std::count(middle.begin(), middle.end(), L'-') != 1)
    return 0;
  return static_cast<DWORD>(std::wcstoul(middle.substr(0, dash).c_str(), nullptr, 10));
}

bool processRunning(DWORD pid) {
  if (pid == GetCurrentProcessId()) return true;
  Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  DWORD code = 0;
  return process.ok() && GetExitCodeProcess(process.get(), &code) && code == STILL_ACTIVE;
}

// A writer keeps its temporary file open, unshared, until the move: one
// whose process is gone was killed, and its file goes.
void removeLeftovers(const std::wstring& folder, const std::wstring& name) {
  WIN32_FIND_DATAW found{};
  const std::wstring pattern = folder + L"\\" + name + L".*.new";
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
    const DWORD writer = writerOfTemp(found.cFileName, name);
    if (writer != 0 && !processRunning(writer)) DeleteFileW((folder + L"\\" + found.cFileName).c_str());
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

// A file of our own beside the target; an invalid handle, with the error
// set, when the folder refuses new files.
Handle createTemporary(const std::wstring& path, std::wstring& tempPath) {
  const std::wstring stem = folderOf(path) + L"\\" + nameOf(path) + L"." +
                            std::to_wstring(GetCurrentProcessId()) + L"-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = stem + std::to_wstring(GetTickCount() + static_cast<DWORD>(attempt)) + L".new";
    Handle h(CreateFileW(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                         nullptr));
    if (h.ok() || GetLastError() != ERROR_FILE_EXISTS) return h;
  }
  return Handle(INVALID_HANDLE_VALUE);
}

// The folder refuses a temporary file, the target itself is writable: the
// new bytes go over the old ones, and only once they are on the disk is the
// length cut, so the file always holds the old value or the new one (with
// at most a tail of the old after its line end). Readers may read meanwhile.
void writeOver(const std::wstring& path, const std::string& bytes) {
  Handle h(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.ok()) {
    if (refusing(GetLastError())) throw Refused("cannot write");
    throw Failure("cannot open for writing");
  }
  if (!writeAll(h.get(), bytes) || !FlushFileBuffers(h.get()) || !SetEndOfFile(h.get()) ||
      !FlushFileBuffers(h.get()) || !h.close())
    throw Failure("cannot write");
}

// Whether the folder takes a new file, tried with a temporary one.
bool folderTakesFiles(const std::wstring& target) {
  std::wstring temp;
  Handle h = createTemporary(target, temp);
  if (!h.ok()) return !refusing(GetLastError());
  h.close();
  DeleteFileW(temp.c_str());
  return true;
}

}  // namespace

std::string readFilePrefix(const std::string& path, std::size_t maxBytes) {
  const std::wstring wide = widen(path);
  // A folder cannot be opened without FILE_FLAG_BACKUP_SEMANTICS, so it fails here.
  Handle h(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.ok()) {
    const DWORD error = GetLastError();
    // Held open without sharing (a backup or a virus scan) or refused: the
    // file is there, and its value is not to be taken for none.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) throw Missing("no such file");
    throw Failure("cannot open");
  }
  // A pipe or a device under the file's name must not hang the program.
  if (GetFileType(h.get()) != FILE_TYPE_DISK) throw Failure("not a file");
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h.get(), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    throw Failure("not a file");
  std::string out;
  std::vector<char> buffer(4096);
  while (out.size() < maxBytes) {
    const DWORD want = static_cast<DWORD>(std::min(buffer.size(), maxBytes - out.size()));
    DWORD got = 0;
    if (!ReadFile(h.get(), buffer.data(), want, &got, nullptr)) throw Failure("cannot read");
    if (got == 0) break;
    out.append(buffer.data(), got);
  }
  return out;
}

bool takesFile(const std::string& path) {
  const std::wstring target = finalTarget(widen(path));
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
    // Opened for writing without truncation: the file is left as it was.
    Handle h(CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (h.ok()) return true;
  }
  return folderTakesFiles(target);
}

void writeFileWhole(const std::string& path, const std::string& bytes) {
  const std::wstring target = finalTarget(widen(path));
  const DWORD attributes = GetFileAttributesW(target.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) throw Failure("a folder");
  if (exists && (attributes & FILE_ATTRIBUTE_READONLY)) {
    // The user made it read-only: it stays as it is. Where the folder takes
    // no file either, the store as a whole is refused.
    if (folderTakesFiles(target)) throw Failure("read-only");
    throw Refused("read-only");
  }
  removeLeftovers(folderOf(target), nameOf(target));
  std::wstring temp;
  Handle h = createTemporary(target, temp);
  if (!h.ok()) {
    const DWORD error = GetLastError();
    if (exists) return writeOver(target, bytes);
    if (refusing(error)) throw Refused("cannot create");
    throw Failure("cannot create");
  }
  const bool written = writeAll(h.get(), bytes) && FlushFileBuffers(h.get()) && h.close();
  if (!written ||
      !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    if (h.ok()) h.close();
    DeleteFileW(temp.c_str());
    throw Failure("cannot replace");
  }
}

std::string virtualStoreFolder(const std::string& programFolder) {
  std::wstring folder = widen(programFolder);
  if (folder.rfind(L"\\\\?\\", 0) == 0 && folder.size() > 6 && folder[5] == L':') folder = folder.substr(4);
  // "C:\Program Files\Guizzolo": the part after the drive letter.
  if (folder.size() < 3 || folder[1] != L':' || (folder[2] != L'\\' && folder[2] != L'/')) return {};
  PWSTR local = nullptr;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DONT_VERIFY, nullptr, &local)) ||
      local == nullptr) {
    CoTaskMemFree(local);
    return {};
  }
  std::wstring store = std::wstring(local) + L"\\VirtualStore" + folder.substr(2);
  CoTaskMemFree(local);
  while (!store.empty() && (store.back() == L'\\' || store.back() == L'/')) store.pop_back();
  return narrow(store);
}

void createFolders(const std::string& path) {
  const std::wstring wide = widen(path);
  // Each folder from the drive down; those already there are left alone.
  std::size_t from = wide.rfind(L"\\\\", 0) == 0 ? wide.find(L'\\', wide.find(L'\\', 2) + 1) : 2;
  for (std::size_t end = wide.find_first_of(L"\\/", from + 1);; end = wide.find_first_of(L"\\/", end + 1)) {
    const std::wstring folder = wide.substr(0, end);
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
      throw Failure("cannot create a folder");
    if (end == std::wstring::npos) break;
  }
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    throw Failure("not a folder");
}

bool claimFile(const std::string& path) {
  std::wstring key = finalTarget(widen(path));
  std::vector<wchar_t> full(32768);
  const DWORD n = GetFullPathNameW(key.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (n > 0 && n < full.size()) key.assign(full.data(), n);
  // Paths differ in case only: the same file.
  std::transform(key.begin(), key.end(), key.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
  // A mutex name holds no backslash and is short: a hash of the path (FNV-1a).
  std::uint64_t hash = 14695981039346656037ull;
  for (const wchar_t c : key) {
    hash ^= static_cast<std::uint16_t>(c);
    hash *= 1099511628211ull;
  }
  std::wstring name = L"Local\\Guizzolo-store-";
  for (int shift = 60; shift >= 0; shift -= 4) name += L"0123456789abcdef"[(hash >> shift) & 0xF];
  // The handle stays open, and the name taken, until the process ends.
  HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
  if (mutex == nullptr) return GetLastError() != ERROR_ACCESS_DENIED;  // another user's copy holds it
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return false;
  }
  return true;
}

}  // namespace guizzolo::win32
