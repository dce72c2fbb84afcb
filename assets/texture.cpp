// Texture loading: DevIL decodes an image file to RGBA, GL gets one mipmapped 2D texture of it.
#include "assets/assets.h"

#include "base/failure.h"

#include <GL/gl.h>
#include <IL/il.h>

#ifndef GL_GENERATE_MIPMAP
#define GL_GENERATE_MIPMAP 0x8191
#endif

bool initImageLibrary() {
    if (ilGetInteger(IL_VERSION_NUM) < 168) {
        failureMessage("Initialization of DevIL failed!");
        return false;
    }
    ilInit();
    return true;
}

Texture::Texture(const char* path) {
    load(path);
}

bool Texture::load(const char* path) {
    ilGenImages(1, &imageName);
    ilBindImage(imageName);
    // A picture unfit for decoding is one the image library cannot load.
    if (!imageFitForDecoding(path) || !ilLoadImage(path)) {
        releaseImage();
        failureMessage("DevIL failed to load the image!");
        return false;
    }
    if (!ilConvertImage(IL_RGBA, IL_UNSIGNED_BYTE)) {
        releaseImage();
        failureMessage("Conversion to RGBA failed!");
        return false;
    }

    glGenTextures(1, &glName);
    glBindTexture(GL_TEXTURE_2D, glName);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, 1);
    // Rows go up in the order DevIL holds them, at the image's own size.
    glTexImage2D(GL_TEXTURE_2D, 0, ilGetInteger(IL_IMAGE_BPP), ilGetInteger(IL_IMAGE_WIDTH),
                 ilGetInteger(IL_IMAGE_HEIGHT), 0, ilGetInteger(IL_IMAGE_FORMAT), GL_UNSIGNED_BYTE,
                 ilGetData());

    // The one texture matrix mirrors t: with the repeat wrap, sampling at -t is sampling at
    // 1 - t, so a quad whose t runs up from 0 at its bottom shows the file's first row on top.
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glScalef(1, -1, 1);
    glMatrixMode(GL_MODELVIEW);

    releaseImage(); // only the GL copy stays
    return true;
}

// The name is cleared once deleted: DevIL reuses names, and a second release must not free
// another texture's image.
void Texture::releaseImage() {
    if (imageName == 0) return;
    ilDeleteImages(1, &imageName);
    imageName = 0;
}
