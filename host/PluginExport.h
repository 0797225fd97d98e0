// What a plug-in library promises its host: one exported C function,
// GiveMyTranslator, which makes a new translator (owned by the caller; null
// when memory runs out). Plug-ins are built with hidden visibility and export
// nothing else.
#pragma once

#define DX_PLUGIN_API __attribute__((visibility("default")))

class ScoreTranslator;

extern "C" DX_PLUGIN_API ScoreTranslator* GiveMyTranslator();

// The entry point's type, for hosts that look it up at run time.
using GiveMyTranslatorFunction = ScoreTranslator* (*)();
