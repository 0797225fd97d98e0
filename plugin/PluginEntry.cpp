// The tree plug-in's entry point: the PMML reader, which also reads the
// legacy tree layout.
#include <new>

#include "host/PluginExport.h"
#include "pmml/DendrixPMMLTranslator.h"

extern "C" DX_PLUGIN_API ScoreTranslator* GiveMyTranslator() {
  try {
    return new DendrixPMMLTranslator();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
