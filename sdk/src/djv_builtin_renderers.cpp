#include "djv_builtin_renderers.h"

#include "djv_mmr.h"
#include "iw44/djv_iw44renderer.h"
#include "jb2/djv_jb2renderer.h"

namespace Vantorix::DjVu {

void registerBuiltinRenderers(RendererRegistry& registry)
{
    // FGbz has a layer kind but no factory: it is handed to the mask renderer that exists.
    const String jb2Aliases[] = {"FGbz"};
    registry.registerRenderer(&RendererPrivate::JB2MaskRenderer::create, 0, "Sjbz",
                              &RendererPrivate::JB2MaskDict::create, "Djbz", jb2Aliases, 1);
    registry.registerRenderer(&RendererPrivate::IW44Renderer::create, 1, "FG44", nullptr, String(), nullptr, 0);
    registry.registerRenderer(&RendererPrivate::IW44Renderer::create, 2, "BG44", nullptr, String(), nullptr, 0);
    registry.registerRenderer(&_Vtx_Internal_NS_::SmmrRenderer::create, 0, "Smmr", nullptr, String(), nullptr, 0);
}

} // namespace Vantorix::DjVu
