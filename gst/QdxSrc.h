// The qdxsrc element, registered into a plugin: the loadable one
// (libgstqdx.so) or one compiled into a program (qdx-rtsp).
#pragma once

#include <gst/gst.h>

gboolean qdx_src_register(GstPlugin* plugin);
