#include "platform/win32/files.h"

#include "platform/win32/win_api.h"

#include <algorithm>
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

// A file of our own beside the target; an invalid handle when the folder
// refuses new files.
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

void writeInPlace(const std::wstring& path, const std::string& bytes) {
  Handle h(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.ok()) throw Failure("cannot open for writing");
  if (!writeAll(h.get(), bytes) || !SetEndOfFile(h.get()) || !FlushFileBuffers(h.get()) || !h.close())
    throw Failure("cannot write");
}

}  // namespace

std::string readFilePrefix(const std::string& path, std::size_t maxBytes) {
  const std::wstring wide = widen(path);
  // A folder cannot be opened without FILE_FLAG_BACKUP_SEMANTICS, so it fails here.
  Handle h(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.ok()) throw Failure("cannot open");
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

void writeFileWhole(const std::string& path, const std::string& bytes) {
  const std::wstring wide = widen(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) throw Failure("a folder");
    // The user made it read-only: it stays as it is.
    if (attributes & FILE_ATTRIBUTE_READONLY) throw Failure("read-only");
  }
  std::wstring temp;
  Handle h = createTemporary(wide, temp);
  if (!h.ok()) {
    writeInPlace(wide, bytes);
    return;
  }
  const bool written = writeAll(h.get(), bytes) && FlushFileBuffers(h.get()) && h.close();
  if (!written ||
      !MoveFileExW(temp.c_str(), wide.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    if (h.ok()) h.close();
    DeleteFileW(temp.c_str());
    throw Failure("cannot replace");
  }
}

}  // namespace guizzolo::win32
