// The scene table: the 30 time windows of the show, in the order they are tested and drawn.
#include "show/show.h"

#include "show/slots.h"

namespace {

constexpr Layer image(Texture* const* slot) {
    return {LayerKind::image, slot, nullptr};
}
constexpr Layer portrait(Texture* const* slot) {
    return {LayerKind::portrait, slot, nullptr};
}
constexpr Layer drifting(Texture* const* slot) {
    return {LayerKind::driftingPortrait, slot, nullptr};
}
constexpr Layer model(Model* const* slot) {
    return {LayerKind::model, nullptr, slot};
}

} // namespace

// Times are seconds of music time; a window holds [start, end). Each window's end is the next
// one's start, except that windows 22 and 23 open at 50.5 s over window 21, which runs to 52 s.
// clang-format off
const TimeWindow showTimeline[30] = {
    // start   end      layers, first drawn first
    // Opening cards
    {noStart,  4.67,    {image(&texCreditsBackground),  image(&texOstravel)}},
    {4.67,     9.0,     {image(&texCreditsBackground),  image(&texOstravel), image(&texPresents)}},
    // Picture
    {9.0,      11.1,    {image(&texLondonBackground),   image(&texGlimmoxZuror)}},
    // Credits: the spinning model between background and card
    {11.1,     12.2,    {image(&texCredits2Background), model(&modelDrusk),  image(&texGraphics)}},
    {12.2,     13.3,    {image(&texCredits2Background), model(&modelDrusk),  image(&texZPT)}},
    {13.3,     14.3,    {image(&texCredits2Background), model(&modelDrusk),  image(&texDidovari2)}},
    {14.3,     15.4,    {image(&texCredits2Background), model(&modelDrusk),  image(&texMusic)}},
    {15.4,     16.5,    {image(&texCredits2Background), model(&modelDrusk),  image(&texKeB)}},
    {16.5,     17.5,    {image(&texCredits2Background), model(&modelDrusk),  image(&texCode)}},
    {17.5,     18.5,    {image(&texCredits2Background), model(&modelDrusk),  image(&texDidovari2)}},
    // Picture sequence
    {18.5,     26.3,    {image(&texHappyPonderosa)}},
    {26.3,     29.0,    {image(&texCart2)}},
    {29.0,     31.0,    {image(&texCart4)}},
    {31.0,     37.0,    {image(&texRanch)}},
    {37.0,     40.0,    {image(&texMeatAndGold)}},
    {40.0,     42.0,    {image(&texCommercialbreak)}},
    {42.0,     44.0,    {image(&texGlimmoxOnTV)}},
    {44.0,     46.0,    {image(&texGlimmoxOnTV3)}},
    {46.0,     48.0,    {image(&texGlimmoxOnTV2)}},
    {48.0,     49.5,    {image(&texRome)}},
    {49.5,     52.0,    {image(&texIbiza)}},
    // Portrait: rising over the background, then still and alone
    {50.5,     55.5,    {image(&texLondonBackground)}},
    {50.5,     55.5,    {drifting(&texCyglimmoxWadawda)}},
    {55.5,     59.0,    {portrait(&texCyglimmoxWadawda)}},
    // Closing sequence
    {59.0,     63.0,    {image(&texCartypaahest)}},
    {63.0,     67.0,    {image(&texTakingLives)}},
    {67.0,     70.0,    {image(&texGlimmoxAndTheGays)}},
    {70.0,     76.0,    {image(&texTakingLives)}},
    {76.0,     79.0,    {image(&texCartenitrucken)}},
    {79.0,     showEnd, {image(&texSplatt)}},
};
// clang-format on
