// showtable: prints the show's asset table and scene table as text, one row a line, for scripts.
//
//   texture <slot> <file>
//   model <slot> <file>
//   window <number> <start|none> <end> <kind>:<file>...   (kinds: image portrait drifting model)
#include "show/show.h"
#include "show/slots.h"

#include <cstdio>

namespace {

const char* fileOf(Texture* const* slot) {
    for (const TextureSlot& t : textureSlots)
        if (t.slot == slot) return t.file;
    return "?";
}

const char* fileOf(Model* const* slot) {
    for (const ModelSlot& m : modelSlots)
        if (m.slot == slot) return m.file;
    return "?";
}

const char* kindName(LayerKind kind) {
    switch (kind) {
    case LayerKind::image:
        return "image";
    case LayerKind::portrait:
        return "portrait";
    case LayerKind::driftingPortrait:
        return "drifting";
    case LayerKind::model:
        return "model";
    case LayerKind::none:
        break;
    }
    return "none";
}

} // namespace

int main() {
    for (const ModelSlot& m : modelSlots)
        std::printf("model %s %s\n", m.name, m.file);
    for (const TextureSlot& t : textureSlots)
        std::printf("texture %s %s\n", t.name, t.file);
    int number = 0;
    for (const TimeWindow& window : showTimeline) {
        std::printf("window %d ", ++number);
        if (window.start == noStart)
            std::printf("none");
        else
            std::printf("%g", window.start);
        std::printf(" %g", window.end);
        for (const Layer& layer : window.layers) {
            if (layer.kind == LayerKind::none) break;
            std::printf(" %s:%s", kindName(layer.kind),
                        layer.kind == LayerKind::model ? fileOf(layer.model)
                                                       : fileOf(layer.texture));
        }
        std::printf("\n");
    }
    return 0;
}
