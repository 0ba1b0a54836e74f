/* The floor on a Wayland compositor's layer shell: what swimming costs there
 * when nothing but the job is done. The same 87x53 fish as bench/floor.c,
 * drawn once into two shared-memory buffers (key pixels fully transparent),
 * an input region of the fish's own pixels, an overlay-layer surface placed
 * by its top-left margins; one margin change and one commit per 100 ms tick
 * with the pet's random steps, turns and edges (a turn attaches the other
 * buffer); one thread, one poll per tick. No sound, no panel.
 *
 *   wayland-scanner client-header LAYER.xml wlr-layer-shell-unstable-v1.h
 *   wayland-scanner private-code LAYER.xml layer-shell.c
 *   cc -O2 -I. floor_layer.c layer-shell.c -o floor_layer -lwayland-client
 */
#define _GNU_SOURCE
#include <poll.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>

#include "wlr-layer-shell-unstable-v1.h"

/* The xdg_popup of get_popup, never used here. */
const struct wl_interface xdg_popup_interface = {"xdg_popup", 1, 0, NULL, 0, NULL};

enum { W = 87, H = 53, TWIPS = 15, TICK_NS = 100000000 };

static uint64_t rng;
static double rnd(void) { /* uniform in [0, 1) */
  rng ^= rng << 13, rng ^= rng >> 7, rng ^= rng << 17;
  return (double)(rng >> 11) / 9007199254740992.0;
}

static int64_t now_ns(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (int64_t)t.tv_sec * 1000000000 + t.tv_nsec;
}

static struct wl_compositor *compositor;
static struct wl_shm *shm;
static struct zwlr_layer_shell_v1 *layer_shell;
static int configured;

static void global(void *data, struct wl_registry *r, uint32_t name, const char *iface, uint32_t version) {
  (void)data;
  if (!strcmp(iface, wl_compositor_interface.name)) compositor = wl_registry_bind(r, name, &wl_compositor_interface, 4);
  if (!strcmp(iface, wl_shm_interface.name)) shm = wl_registry_bind(r, name, &wl_shm_interface, 1);
  if (!strcmp(iface, zwlr_layer_shell_v1_interface.name))
    layer_shell = wl_registry_bind(r, name, &zwlr_layer_shell_v1_interface, version < 4 ? version : 4);
}
static void global_remove(void *data, struct wl_registry *r, uint32_t name) { (void)data, (void)r, (void)name; }
static const struct wl_registry_listener registry_listener = {global, global_remove};

static void configure(void *data, struct zwlr_layer_surface_v1 *l, uint32_t serial, uint32_t w, uint32_t h) {
  (void)data, (void)w, (void)h;
  zwlr_layer_surface_v1_ack_configure(l, serial);
  configured = 1;
}
static void closed(void *data, struct zwlr_layer_surface_v1 *l) { (void)data, (void)l, exit(0); }
static const struct zwlr_layer_surface_v1_listener layer_listener = {configure, closed};

/* Whether a pixel is the fish's, and its colour: a body ellipse with a
 * black rim, a black tail triangle. */
static int fish_pixel(int right, int x, int y, uint32_t *argb) {
  const double cx = (right ? 4 : 22) + 30, cy = 8 + 19;
  const double dx = (x + 0.5 - cx) / 30, dy = (y + 0.5 - cy) / 19, in = dx * dx + dy * dy;
  if (in <= 1) {
    *argb = in <= 0.85 ? 0xff6561ff : 0xff000000;
    return 1;
  }
  const int tail = right ? 66 : 20, tip = right ? 84 : 2;
  const double t = (double)(x - tail) / (tip - tail);
  if (t >= 0 && t <= 1 && y >= 26 - 16 * t && y <= 26 + 18 * t) {
    *argb = 0xff000000;
    return 1;
  }
  return 0;
}

static struct wl_buffer *fish(int right, struct wl_region **region) {
  const int size = W * H * 4;
  int fd = memfd_create("floor", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, size) < 0) exit(1);
  uint32_t *px = mmap(NULL, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  *region = wl_compositor_create_region(compositor);
  for (int y = 0; y < H; ++y) {
    int run = -1;
    for (int x = 0; x <= W; ++x) {
      uint32_t c = 0;
      const int on = x < W && fish_pixel(right, x, y, &c);
      if (x < W) px[y * W + x] = on ? c : 0; /* key colour: fully transparent */
      if (on && run < 0) run = x;
      if (!on && run >= 0) wl_region_add(*region, run, y, x - run, 1), run = -1;
    }
  }
  munmap(px, size);
  struct wl_shm_pool *pool = wl_shm_create_pool(shm, fd, size);
  struct wl_buffer *b = wl_shm_pool_create_buffer(pool, 0, W, H, W * 4, WL_SHM_FORMAT_ARGB8888);
  wl_shm_pool_destroy(pool);
  close(fd);
  return b;
}

int main(void) {
  rng = (uint64_t)now_ns() | 1;
  struct wl_display *d = wl_display_connect(NULL);
  if (!d) return 1;
  wl_registry_add_listener(wl_display_get_registry(d), &registry_listener, NULL);
  wl_display_roundtrip(d);
  if (!compositor || !shm || !layer_shell) return 1;
  const int sw = 1280, sh = 800;
  int x = (int)(rnd() * (sw - W)), y = (int)(rnd() * (sh - H));

  struct wl_surface *surface = wl_compositor_create_surface(compositor);
  struct zwlr_layer_surface_v1 *layer = zwlr_layer_shell_v1_get_layer_surface(
      layer_shell, surface, NULL, ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "floor");
  zwlr_layer_surface_v1_add_listener(layer, &layer_listener, NULL);
  zwlr_layer_surface_v1_set_size(layer, W, H);
  zwlr_layer_surface_v1_set_anchor(layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT);
  zwlr_layer_surface_v1_set_exclusive_zone(layer, -1);
  zwlr_layer_surface_v1_set_margin(layer, y, 0, 0, x);
  wl_surface_commit(surface);
  while (!configured)
    if (wl_display_dispatch(d) < 0) return 1;

  struct wl_buffer *pictures[2];
  struct wl_region *regions[2];
  pictures[0] = fish(0, &regions[0]);
  pictures[1] = fish(1, &regions[1]);

  /* The pet's swim states: direction, picture, and the turn 1 -> 3 -> 2 -> 4 -> 1. */
  static const struct { int dx, dy, picture, next; } swim[4] = {{1, 1, 1, 2}, {-1, -1, 0, 3}, {-1, 0, 0, 1}, {1, 0, 1, 0}};
  int state = 0;
  wl_surface_attach(surface, pictures[swim[state].picture], 0, 0);
  wl_surface_damage_buffer(surface, 0, 0, W, H);
  wl_surface_set_input_region(surface, regions[swim[state].picture]);
  wl_surface_commit(surface);
  wl_display_flush(d);

  int64_t next = now_ns() + TICK_NS;
  struct pollfd p = {wl_display_get_fd(d), POLLIN, 0};
  for (;;) {
    int64_t wait = (next - now_ns() + 999999) / 1000000; /* rounded up: no spinning before the tick */
    if (poll(&p, 1, wait > 0 ? (int)wait : 0) > 0) {
      if (wl_display_dispatch(d) < 0) return 0;
      continue;
    }
    if (now_ns() < next) continue;
    next += TICK_NS;
    int step = (int)(rnd() * 200) + 1, event = (int)(rnd() * 1000) + 1;
    if (event > 1 && event < 100) {
      state = swim[state].next;
      wl_surface_attach(surface, pictures[swim[state].picture], 0, 0);
      wl_surface_damage_buffer(surface, 0, 0, W, H);
      wl_surface_set_input_region(surface, regions[swim[state].picture]);
    } else if (x * TWIPS > 15000) {
      x = 14500 / TWIPS;
    } else if (x * TWIPS < 1) {
      x = 100 / TWIPS;
    } else if (y * TWIPS < 1) {
      y = 100 / TWIPS;
    } else if (y * TWIPS > 12000) {
      y = 11500 / TWIPS;
    } else {
      x += swim[state].dx * step / TWIPS;
      y += swim[state].dy * step / TWIPS;
    }
    zwlr_layer_surface_v1_set_margin(layer, y, 0, 0, x);
    wl_surface_commit(surface);
    wl_display_flush(d);
  }
}
