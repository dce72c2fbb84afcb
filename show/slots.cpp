// The asset slots and loadAssets, which fills them in table order.
#include "show/slots.h"

#include "assets/assets.h"

#define MODEL_SLOT(slot, file) Model* slot = nullptr;
#define TEXTURE_SLOT(slot, file) Texture* slot = nullptr;
#include "show/slots.def"
#undef MODEL_SLOT
#undef TEXTURE_SLOT

#define MODEL_SLOT(slot, file) {&slot, #slot, file},
#define TEXTURE_SLOT(slot, file)
const ModelSlot modelSlots[modelSlotCount] = {
#include "show/slots.def"
};
#undef MODEL_SLOT
#undef TEXTURE_SLOT

#define MODEL_SLOT(slot, file)
#define TEXTURE_SLOT(slot, file) {&slot, #slot, file},
const TextureSlot textureSlots[textureSlotCount] = {
#include "show/slots.def"
};
#undef MODEL_SLOT
#undef TEXTURE_SLOT

void loadAssets() {
    loadModels();
    loadTextures();
}

// Image paths say "Data/", model paths "data/": on a file system that tells case apart these
// are two directories.
void loadModels() {
    for (const ModelSlot& model : modelSlots)
        *model.slot = new Model(model.file);
}

void loadTextures() {
    for (const TextureSlot& texture : textureSlots)
        *texture.slot = new Texture(texture.file);
}
