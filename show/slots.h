// The show's asset slots: one global per model and texture, filled once at start-up from the
// table in show/slots.def and never changed or freed.
#pragma once

class Texture;
class Model;

// The slots, null until loadAssets() fills them; the timeline reads them every frame.
#define MODEL_SLOT(slot, file) extern Model* slot;
#define TEXTURE_SLOT(slot, file) extern Texture* slot;
#include "show/slots.def"
#undef MODEL_SLOT
#undef TEXTURE_SLOT

// How many of each the table holds.
#define MODEL_SLOT(slot, file) +1
#define TEXTURE_SLOT(slot, file)
constexpr int modelSlotCount = 0
#include "show/slots.def"
    ;
#undef MODEL_SLOT
#undef TEXTURE_SLOT
#define MODEL_SLOT(slot, file)
#define TEXTURE_SLOT(slot, file) +1
constexpr int textureSlotCount = 0
#include "show/slots.def"
    ;
#undef MODEL_SLOT
#undef TEXTURE_SLOT

// The table, for code that walks every slot (loading, tests, benchmarks, tools).
struct ModelSlot {
    Model** slot;
    const char* name;
    const char* file;
};
struct TextureSlot {
    Texture** slot;
    const char* name;
    const char* file;
};
extern const ModelSlot modelSlots[modelSlotCount];
extern const TextureSlot textureSlots[textureSlotCount];

// Every asset gets its slot even when its file fails: a texture then holds GL name 0 (after the
// texture loader's message), a model is empty and draws nothing.
void loadAssets();   // loadModels(), then loadTextures()
void loadModels();   // the four model slots, in table order
void loadTextures(); // the 34 texture slots, in table order
