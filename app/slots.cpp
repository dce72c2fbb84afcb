// The asset set: the global model and texture slots and loadAssets, which fills them in order.
#include "app/app.h"

#include "assets/assets.h"

Model* modelDrusk = nullptr;
Model* modelSkySphere = nullptr;
Model* modelPyramid = nullptr;
Model* modelOstravelLogo = nullptr;

Texture* texDidovari = nullptr;
Texture* texHappyPonderosa = nullptr;
Texture* texCart2 = nullptr;
Texture* texCart4 = nullptr;
Texture* texAtVM2011 = nullptr;
Texture* texGlimmoxZuror = nullptr;
Texture* texCalled = nullptr;
Texture* texCode = nullptr;
Texture* texDidovari2 = nullptr;
Texture* texZPT = nullptr;
Texture* texGraphics = nullptr;
Texture* texOstravel = nullptr;
Texture* texMusic = nullptr;
Texture* texPresents = nullptr;
Texture* texKeB = nullptr;
Texture* texCreditsBackground = nullptr;
Texture* texCredits2Background = nullptr;
Texture* texLondonBackground = nullptr;
Texture* texCartenitrucken = nullptr;
Texture* texCocacolaboks = nullptr;
Texture* texCommercialbreak = nullptr;
Texture* texCommercialbreakColaboks = nullptr;
Texture* texIbiza = nullptr;
Texture* texRome = nullptr;
Texture* texMeatAndGold = nullptr;
Texture* texRanch = nullptr;
Texture* texGlimmoxOnTV = nullptr;
Texture* texGlimmoxOnTV2 = nullptr;
Texture* texGlimmoxOnTV3 = nullptr;
Texture* texCyglimmoxWadawda = nullptr;
Texture* texCartypaahest = nullptr;
Texture* texGlimmoxAndTheGays = nullptr;
Texture* texTakingLives = nullptr;
Texture* texSplatt = nullptr;

namespace {

// Load order is table order. Image paths say "Data/", model paths "data/": on a file system
// that tells case apart these are two directories.
const struct {
    Model** slot;
    const char* path;
} models[] = {
    {&modelDrusk, "data/Drusk/Drusk.obj"},
    {&modelSkySphere, "data/SkySphere/SkySphere.obj"},
    {&modelPyramid, "data/Pyramid/Pyramid.obj"},
    {&modelOstravelLogo, "data/OstravelLogo/OstravelLogo.obj"},
};

// "Data/Didovari.png" fills two slots as two separate textures.
const struct {
    Texture** slot;
    const char* path;
} textures[] = {
    {&texDidovari, "Data/Didovari.png"},
    {&texHappyPonderosa, "Data/HappyPonderosa.png"},
    {&texCart2, "Data/Cart2.png"},
    {&texCart4, "Data/Cart4.png"},
    {&texAtVM2011, "Data/AtVM2011.png"},
    {&texGlimmoxZuror, "Data/GlimmoxZuror.png"},
    {&texCalled, "Data/Called.png"},
    {&texCode, "Data/Code.png"},
    {&texDidovari2, "Data/Didovari.png"},
    {&texZPT, "Data/ZPT.png"},
    {&texGraphics, "Data/Graphics.png"},
    {&texOstravel, "Data/Ostravel.png"},
    {&texMusic, "Data/Music.png"},
    {&texPresents, "Data/Presents.png"},
    {&texKeB, "Data/KeB.png"},
    {&texCreditsBackground, "Data/CreditsBackground.png"},
    {&texCredits2Background, "Data/Credits2Background.png"},
    {&texLondonBackground, "Data/LondonBackground.png"},
    {&texCartenitrucken, "Data/cartenitrucken.png"},
    {&texCocacolaboks, "Data/cocacolaboks.png"},
    {&texCommercialbreak, "Data/commercialbreak.png"},
    {&texCommercialbreakColaboks, "Data/commercialbreakcolaboks.png"},
    {&texIbiza, "Data/Ibiza.jpg"},
    {&texRome, "Data/Rome.png"},
    {&texMeatAndGold, "Data/MeatAndGold.png"},
    {&texRanch, "Data/Ranch.png"},
    {&texGlimmoxOnTV, "Data/GlimmoxOnTV.png"},
    {&texGlimmoxOnTV2, "Data/GlimmoxOnTV2.png"},
    {&texGlimmoxOnTV3, "Data/GlimmoxOnTV3.png"},
    {&texCyglimmoxWadawda, "Data/cyglimmox_wadawda.png"},
    {&texCartypaahest, "Data/cartypaahest.png"},
    {&texGlimmoxAndTheGays, "Data/GLIMMOXANDTHEGAYS.png"},
    {&texTakingLives, "Data/TakingLives.png"},
    {&texSplatt, "Data/splatt.png"},
};

} // namespace

// Every asset gets its slot even when its file fails: a texture then holds GL name 0 (after the
// texture loader's message), a model is empty and draws nothing.
void loadAssets() {
    loadModels();
    loadTextures();
}

void loadModels() {
    for (const auto& model : models)
        *model.slot = new Model(model.path);
}

void loadTextures() {
    for (const auto& texture : textures)
        *texture.slot = new Texture(texture.path);
}
