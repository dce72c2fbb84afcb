// The application shell: window and render context, light, asset slots, main loop.
#pragma once

class Texture;
class Model;

// ---- Window and render context --------------------------------------------------------------

bool openWindow(int width, int height, bool fullScreen);
bool initGLState();
bool showLoadingScreen();
void setupLights();

extern Texture* loadingImage;

// ---- Asset slots: set once by loadAssets(), never changed or freed ----------------------------

extern Model* modelDrusk;
extern Model* modelSkySphere;
extern Model* modelPyramid;
extern Model* modelOstravelLogo;

extern Texture* texDidovari;
extern Texture* texHappyPonderosa;
extern Texture* texCart2;
extern Texture* texCart4;
extern Texture* texAtVM2011;
extern Texture* texGlimmoxZuror;
extern Texture* texCalled;
extern Texture* texCode;
extern Texture* texDidovari2;
extern Texture* texZPT;
extern Texture* texGraphics;
extern Texture* texOstravel;
extern Texture* texMusic;
extern Texture* texPresents;
extern Texture* texKeB;
extern Texture* texCreditsBackground;
extern Texture* texCredits2Background;
extern Texture* texLondonBackground;
extern Texture* texCartenitrucken;
extern Texture* texCocacolaboks;
extern Texture* texCommercialbreak;
extern Texture* texCommercialbreakColaboks;
extern Texture* texIbiza;
extern Texture* texRome;
extern Texture* texMeatAndGold;
extern Texture* texRanch;
extern Texture* texGlimmoxOnTV;
extern Texture* texGlimmoxOnTV2;
extern Texture* texGlimmoxOnTV3;
extern Texture* texCyglimmoxWadawda;
extern Texture* texCartypaahest;
extern Texture* texGlimmoxAndTheGays;
extern Texture* texTakingLives;
extern Texture* texSplatt;

void loadAssets();   // loadModels(), then loadTextures()
void loadModels();   // the four model slots, in table order
void loadTextures(); // the 34 texture slots, in table order

// ---- Main loop --------------------------------------------------------------------------------

extern const unsigned char* keyState; // SDL's key array; null until the first event
extern bool paused;
extern bool spaceLatch;
extern char captionText[80];

// An SDL 1.2 key symbol is down for a pass when the key array shows it down, or when it went
// down during the pass: a tap shorter than one pass is not lost. Every key reads as released
// before the first event.
bool keyDown(int key);
void beginKeyPass();        // forgets the presses of the previous pass
void noteKeyPress(int key); // a key-down event of this pass

bool runMainLoop();
void handlePauseKey();
int formatText(char* destination, const char* format, ...); // destination holds 80 bytes

// The space-key state machine without the audio calls: applies its four rules to the two flags
// for one pass in which space is down or up, and says what the audio output must do.
enum class PauseAction { none, pause, resume };
PauseAction pauseKeyStep(bool spaceDown, bool& paused, bool& spaceLatch);
// The key controls of one pass, after the events: space, then the right and left arrows.
void applyKeyControls();
// Writes the caption for a music time (seconds) into captionText.
void formatCaption(float seconds);
