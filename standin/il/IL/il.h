// Our image library with the part of DevIL's interface the texture code uses, over libpng and
// libjpeg-turbo: the web build's stand-in for DevIL, which it has no source of.
#pragma once

typedef unsigned int ILuint;
typedef int ILint;
typedef unsigned int ILenum;
typedef unsigned char ILboolean;
typedef unsigned char ILubyte;

#define IL_FALSE 0
#define IL_TRUE 1

// Formats and types share their values with GL's, as DevIL's do, so they pass straight to it.
#define IL_RGB 0x1907
#define IL_RGBA 0x1908
#define IL_UNSIGNED_BYTE 0x1401

// ilGetInteger's questions.
#define IL_VERSION_NUM 0x0DE2
#define IL_IMAGE_WIDTH 0x0DE4
#define IL_IMAGE_HEIGHT 0x0DE5
#define IL_IMAGE_BPP 0x0DE8 // bytes per pixel
#define IL_IMAGE_FORMAT 0x0DEA

#ifdef __cplusplus
extern "C" {
#endif

void ilInit(void);
// Names for images, 0 never among them; a bound name holds no image until one is loaded.
void ilGenImages(ILint count, ILuint* names);
void ilBindImage(ILuint name);
void ilDeleteImages(ILint count, const ILuint* names);
// Decodes a PNG or JPEG file (told apart by its first bytes) into the bound image, rows in the
// file's order, top row first. IL_FALSE when the file cannot be read or decoded.
ILboolean ilLoadImage(const char* path);
// Not DevIL's: for a program with time to spare before it loads (a page waiting for its
// visitor's click). Decodes the file now and keeps the image; the next ilLoadImage of the same
// path takes it instead of reading the file. IL_FALSE when the file cannot be decoded (that load
// then fails as it would have). ilDropAhead lets go of every image no load took.
ILboolean ilDecodeAhead(const char* path);
void ilDropAhead(void);
// The bound image as 8-bit RGB or RGBA; IL_FALSE for other formats or without an image.
ILboolean ilConvertImage(ILenum format, ILenum type);
ILint ilGetInteger(ILenum mode); // 0 for a question it does not know
ILubyte* ilGetData(void);        // the bound image's pixels, or null

#ifdef __cplusplus
}
#endif
