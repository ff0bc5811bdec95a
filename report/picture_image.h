// A program picture (blue, green, red; lowest line first) as a Qt image, top line first: the
// report's pages and the Qt program's windows show the core's pictures through this one road.
#ifndef VESMORA_PICTURE_IMAGE_H
#define VESMORA_PICTURE_IMAGE_H

#include <QImage>

QImage picture_image(const unsigned char* bgr, int w, int h);

#endif
