#include "platform/wayland/shm_buffer.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace guizzolo::wayland {

wl_buffer* makeShmBuffer(wl_shm* shm, int width, int height, const std::vector<std::uint32_t>& argb) {
  if (width <= 0 || height <= 0 || argb.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
    return nullptr;
  const std::size_t bytes = argb.size() * 4;
  const int fd = ::memfd_create("guizzolo-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd < 0) return nullptr;
  wl_buffer* buffer = nullptr;
  if (::ftruncate(fd, static_cast<off_t>(bytes)) == 0) {
    void* map = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map != MAP_FAILED) {
      std::memcpy(map, argb.data(), bytes);
      ::munmap(map, bytes);
      // The compositor maps it too: it must never shrink under it.
      ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL);
      wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<std::int32_t>(bytes));
      buffer = wl_shm_pool_create_buffer(pool, 0, width, height, width * 4, WL_SHM_FORMAT_ARGB8888);
      wl_shm_pool_destroy(pool);
    }
  }
  ::close(fd);
  return buffer;
}

}  // namespace guizzolo::wayland
