/* The floor: what swimming costs when nothing but the job is done. The same
 * 87x53 shaped window as the pet, over a key-coloured background, with two
 * fish pictures as server pixmaps (the server repaints, the program never
 * draws) and a 1-bit shape per picture; one ConfigureWindow per 100 ms tick
 * with the pet's random steps, turns and edges; one thread, one poll per
 * tick. No sound, no panel.
 *
 *   cc -O2 floor.c -o floor $(pkg-config --cflags --libs xcb xcb-shape)
 */
#include <poll.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <xcb/shape.h>
#include <xcb/xcb.h>

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

static xcb_atom_t atom(xcb_connection_t *c, const char *name) {
  xcb_intern_atom_reply_t *r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, (uint16_t)strlen(name), name), 0);
  xcb_atom_t a = r ? r->atom : XCB_NONE;
  free(r);
  return a;
}

/* One fish picture facing left or right: its pixmap and its shape. */
static void fish(xcb_connection_t *c, xcb_screen_t *s, xcb_window_t win, int right, xcb_pixmap_t *pixmap,
                 xcb_pixmap_t *mask) {
  const uint32_t key = 0x00ffff, blue = 0x6561ff, black = 0;
  int16_t body = right ? 4 : 22, tail = right ? 66 : 20, tip = right ? 84 : 2;
  xcb_arc_t arc = {body, 8, 60, 38, 0, 360 * 64};
  xcb_point_t fin[3] = {{tail, 26}, {tip, 10}, {tip, 44}};
  *pixmap = xcb_generate_id(c);
  *mask = xcb_generate_id(c);
  xcb_create_pixmap(c, s->root_depth, *pixmap, win, W, H);
  xcb_create_pixmap(c, 1, *mask, *pixmap, W, H);
  xcb_gcontext_t gc = xcb_generate_id(c), mgc = xcb_generate_id(c);
  xcb_create_gc(c, gc, *pixmap, XCB_GC_FOREGROUND, &key);
  uint32_t zero = 0, one = 1;
  xcb_create_gc(c, mgc, *mask, XCB_GC_FOREGROUND, &zero);
  xcb_rectangle_t all = {0, 0, W, H};
  xcb_poly_fill_rectangle(c, *pixmap, gc, 1, &all);
  xcb_poly_fill_rectangle(c, *mask, mgc, 1, &all);
  xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &black);
  xcb_change_gc(c, mgc, XCB_GC_FOREGROUND, &one);
  xcb_fill_poly(c, *pixmap, gc, XCB_POLY_SHAPE_CONVEX, XCB_COORD_MODE_ORIGIN, 3, fin);
  xcb_fill_poly(c, *mask, mgc, XCB_POLY_SHAPE_CONVEX, XCB_COORD_MODE_ORIGIN, 3, fin);
  xcb_poly_fill_arc(c, *pixmap, gc, 1, &arc);
  xcb_poly_fill_arc(c, *mask, mgc, 1, &arc);
  xcb_arc_t inner = {(int16_t)(body + 2), 10, 56, 34, 0, 360 * 64};
  xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &blue);
  xcb_poly_fill_arc(c, *pixmap, gc, 1, &inner);
  xcb_free_gc(c, gc);
  xcb_free_gc(c, mgc);
}

static void show(xcb_connection_t *c, xcb_window_t win, xcb_pixmap_t pixmap, xcb_pixmap_t mask) {
  xcb_change_window_attributes(c, win, XCB_CW_BACK_PIXMAP, &pixmap);
  xcb_clear_area(c, 0, win, 0, 0, 0, 0);
  xcb_shape_mask(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, win, 0, 0, mask);
  xcb_shape_mask(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, win, 0, 0, mask);
}

int main(void) {
  rng = (uint64_t)now_ns() | 1;
  xcb_connection_t *c = xcb_connect(NULL, NULL);
  if (xcb_connection_has_error(c)) return 1;
  xcb_screen_t *s = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  const int sw = s->width_in_pixels, sh = s->height_in_pixels;

  int x = (int)(rnd() * (sw - W)), y = (int)(rnd() * (sh - H));
  xcb_window_t win = xcb_generate_id(c);
  uint32_t values[] = {0x00ffff, 0};
  xcb_create_window(c, XCB_COPY_FROM_PARENT, win, s->root, (int16_t)x, (int16_t)y, W, H, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, s->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
  xcb_pixmap_t pictures[2], masks[2];
  fish(c, s, win, 0, &pictures[0], &masks[0]);
  fish(c, s, win, 1, &pictures[1], &masks[1]);

  /* What the pet asks of the window manager: no frame, above others, no
   * taskbar entry, never the keyboard. */
  const uint32_t motif[5] = {2, 0, 0, 0, 0};
  xcb_atom_t motif_atom = atom(c, "_MOTIF_WM_HINTS");
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, win, motif_atom, motif_atom, 32, 5, motif);
  xcb_atom_t type = atom(c, "_NET_WM_WINDOW_TYPE_UTILITY");
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, win, atom(c, "_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1, &type);
  xcb_atom_t states[3] = {atom(c, "_NET_WM_STATE_ABOVE"), atom(c, "_NET_WM_STATE_SKIP_TASKBAR"),
                          atom(c, "_NET_WM_STATE_SKIP_PAGER")};
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, win, atom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32, 3, states);
  const uint32_t hints[9] = {1, 0}; /* InputHint, input = False */
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, win, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32, 9, hints);
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, win, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 5, "floor");

  /* The pet's swim states: direction, picture, and the turn 1 -> 3 -> 2 -> 4 -> 1. */
  static const struct { int dx, dy, picture, next; } swim[4] = {{1, 1, 1, 2}, {-1, -1, 0, 3}, {-1, 0, 0, 1}, {1, 0, 1, 0}};
  int state = 0;
  show(c, win, pictures[swim[state].picture], masks[swim[state].picture]);
  xcb_map_window(c, win);
  xcb_flush(c);

  int64_t next = now_ns() + TICK_NS;
  struct pollfd p = {xcb_get_file_descriptor(c), POLLIN, 0};
  for (;;) {
    int64_t wait = (next - now_ns() + 999999) / 1000000; /* rounded up: no spinning before the tick */
    if (poll(&p, 1, wait > 0 ? (int)wait : 0) > 0) {
      xcb_generic_event_t *e;
      while ((e = xcb_poll_for_event(c))) free(e);
      if (xcb_connection_has_error(c)) return 0;
      continue;
    }
    if (now_ns() < next) continue;
    next += TICK_NS;
    int step = (int)(rnd() * 200) + 1, event = (int)(rnd() * 1000) + 1;
    if (event > 1 && event < 100) {
      state = swim[state].next;
      show(c, win, pictures[swim[state].picture], masks[swim[state].picture]);
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
    uint32_t xy[2] = {(uint32_t)x, (uint32_t)y};
    xcb_configure_window(c, win, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, xy);
    xcb_flush(c);
  }
}
