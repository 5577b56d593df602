/* Border settings of an image. */
#include "qimown.h"

static int clampInt(int value, int low, int high)
{
    return value < low ? low : value > high ? high : value;
}

void ownSetBorderMode(QimImage* image, int mode, int sides, int value)
{
    switch (image->depth) {
    case QIM_DEPTH_1U: value = clampInt(value, 0, 1); break;
    case QIM_DEPTH_8U: value = clampInt(value, 0, 255); break;
    case QIM_DEPTH_16U: value = clampInt(value, 0, 65535); break;
    case QIM_DEPTH_8S: value = clampInt(value, -128, 127); break;
    case QIM_DEPTH_16S: value = clampInt(value, -32768, 32767); break;
    default: break; /* 32F and 32S keep the value */
    }
    for (int side = 0; side < 4; ++side) {
        if (sides & (1 << side)) {
            image->borderModes[side] = mode;
            image->borderValues[side] = value;
        }
    }
}

unsigned int ownFillWord(int depth, int value)
{
    unsigned int v = (unsigned int)value;
    switch (ownDepthBits(depth)) {
    case 1: return (v & 1u) ? 0xFFFFFFFFu : 0u;
    case 8: return (v & 0xFFu) * 0x01010101u;
    case 16: return (v & 0xFFFFu) * 0x00010001u;
    default: return v;
    }
}
