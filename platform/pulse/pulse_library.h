// The audio library, opened the first time a sound must reach the server
// rather than when the program starts: its thirty shared objects would
// otherwise delay the pet's first window, and a system without it simply
// stays silent.
#pragma once

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/proplist.h>
#include <pulse/scache.h>
#include <pulse/stream.h>

namespace guizzolo::pulse {

struct PulseLibrary {
#define GUIZZOLO_PULSE_FUNCTIONS(F)                                                                         \
  F(pa_context_connect) F(pa_context_disconnect) F(pa_context_errno) F(pa_context_get_state)                \
  F(pa_context_kill_sink_input) F(pa_context_new) F(pa_context_play_sample_with_proplist)                   \
  F(pa_context_set_state_callback) F(pa_context_unref) F(pa_operation_unref) F(pa_proplist_free)            \
  F(pa_proplist_new) F(pa_proplist_sets) F(pa_stream_connect_upload) F(pa_stream_finish_upload)             \
  F(pa_stream_get_state) F(pa_stream_new) F(pa_stream_set_state_callback) F(pa_stream_set_write_callback)   \
  F(pa_stream_unref) F(pa_stream_write)
#define GUIZZOLO_PULSE_POINTER(name) decltype(&::name) name = nullptr;
  GUIZZOLO_PULSE_FUNCTIONS(GUIZZOLO_PULSE_POINTER)
#undef GUIZZOLO_PULSE_POINTER

  // Opened once per process; nullptr when the library or one of its
  // functions is missing.
  static const PulseLibrary* Get();
};

}  // namespace guizzolo::pulse
