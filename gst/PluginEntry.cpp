// The plugin "qdx" and its one element. Compiled once into libgstqdx.so and
// once, with GST_PLUGIN_BUILD_STATIC, into a program that registers it itself
// (gst_plugin_register_static through GST_PLUGIN_STATIC_REGISTER).
#include "QdxSrc.h"

#define PACKAGE "qdx"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, qdx, "QDX camera source", qdx_src_register,
                  QDX_PLUGIN_VERSION, "MIT/X11", "QDX", "QDX")
