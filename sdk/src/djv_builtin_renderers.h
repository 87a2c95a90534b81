// The renderers this library brings: the registry calls this once, when it is built, so that
// the registry itself knows no codec.
#pragma once

#include "djv_renderer.h"

namespace Vantorix::DjVu {

// Registers JB2 (Sjbz with its Djbz dictionary, FGbz as an alias), IW44 (FG44, BG44) and MMR
// (Smmr), in that order.
void registerBuiltinRenderers(RendererRegistry& registry);

} // namespace Vantorix::DjVu
