/* Pointer and key input on KWin's Wayland session, through its fake-input
 * protocol: its virtual session has no seat that X input tools reach, the
 * way a nested compositor's has. One invocation makes a sequence of steps:
 *
 *   fake_input move X Y | down BUTTON | up BUTTON | key CODE | sleep MS ...
 *
 * BUTTON is 1 (left), 2 (middle) or 3 (right); CODE an evdev key code.
 * Without arguments it reads such sequences from standard input, one a
 * line, answering "ok" to each: KWin's fake devices live as long as the
 * connection, and a device that comes and goes makes the clients take and
 * drop their pointer and keyboard each time. Exits 1 when the compositor
 * offers no fake input. */
#include <linux/input-event-codes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

#include "fake-input.h"

static struct org_kde_kwin_fake_input *fake;
static uint32_t fake_version;

static void global(void *data, struct wl_registry *r, uint32_t name, const char *iface, uint32_t version) {
  (void)data;
  if (strcmp(iface, org_kde_kwin_fake_input_interface.name) == 0) {
    fake_version = version < 4 ? version : 4;
    fake = wl_registry_bind(r, name, &org_kde_kwin_fake_input_interface, fake_version);
  }
}
static void global_remove(void *data, struct wl_registry *r, uint32_t name) { (void)data, (void)r, (void)name; }
static const struct wl_registry_listener listener = {global, global_remove};

static void nap(long ms) {
  struct timespec t = {ms / 1000, (ms % 1000) * 1000000};
  nanosleep(&t, NULL);
}

static int run(struct wl_display *d, int argc, char **argv);

static uint32_t button_code(const char *b) {
  return strcmp(b, "3") == 0 ? BTN_RIGHT : strcmp(b, "2") == 0 ? BTN_MIDDLE : BTN_LEFT;
}

int main(int argc, char **argv) {
  struct wl_display *d = wl_display_connect(NULL);
  if (!d) return 1;
  wl_registry_add_listener(wl_display_get_registry(d), &listener, NULL);
  wl_display_roundtrip(d);
  if (!fake || fake_version < 4) {
    fprintf(stderr, "fake_input: the compositor offers no fake input (version 4)\n");
    return 1;
  }
  org_kde_kwin_fake_input_authenticate(fake, "guizzolo tests", "input for the end-to-end checks");
  if (argc > 1) return run(d, argc, argv);
  /* The device comes with the first input: make it, and give the clients
   * time to take their pointer and keyboard before anything counts. */
  org_kde_kwin_fake_input_pointer_motion(fake, 0, 0);
  wl_display_roundtrip(d);
  nap(500);
  printf("ready\n");
  fflush(stdout);
  char line[4096];
  while (fgets(line, sizeof line, stdin)) {
    char *args[256];
    int n = 1;
    for (char *t = strtok(line, " \t\n"); t && n < 255; t = strtok(NULL, " \t\n")) args[n++] = t;
    const int rc = run(d, n, args);
    printf(rc == 0 ? "ok\n" : "error\n");
    fflush(stdout);
  }
  wl_display_disconnect(d);
  return 0;
}

static int run(struct wl_display *d, int argc, char **argv) {
  for (int i = 1; i < argc; ++i) {
    const char *step = argv[i];
    if (strcmp(step, "move") == 0 && i + 2 < argc) {
      org_kde_kwin_fake_input_pointer_motion_absolute(fake, wl_fixed_from_int(atoi(argv[i + 1])),
                                                      wl_fixed_from_int(atoi(argv[i + 2])));
      i += 2;
    } else if ((strcmp(step, "down") == 0 || strcmp(step, "up") == 0) && i + 1 < argc) {
      org_kde_kwin_fake_input_button(fake, button_code(argv[++i]), strcmp(step, "down") == 0);
    } else if (strcmp(step, "key") == 0 && i + 1 < argc) {
      const uint32_t code = (uint32_t)atoi(argv[++i]);
      org_kde_kwin_fake_input_keyboard_key(fake, code, 1);
      org_kde_kwin_fake_input_keyboard_key(fake, code, 0);
    } else if (strcmp(step, "sleep") == 0 && i + 1 < argc) {
      wl_display_roundtrip(d);
      nap(atol(argv[++i]));
    } else {
      fprintf(stderr, "fake_input: unknown step %s\n", step);
      return 2;
    }
    wl_display_roundtrip(d);
  }
  return 0;
}
