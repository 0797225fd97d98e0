// Symbol visibility for the plug-in library, built with hidden visibility:
// only what the plug-in promises to its host is exported.
#pragma once

#define DX_PLUGIN_API __attribute__((visibility("default")))
