/* Placeholder until the resize front end lands: refuses every request. */
#include "qimown.h"

int qimResize(const QimImage* srcImage, QimImage* dstImage, int xDst, int xSrc, int yDst, int ySrc,
              int interpolate)
{
    (void)srcImage; (void)dstImage; (void)xDst; (void)xSrc; (void)yDst; (void)ySrc;
    (void)interpolate;
    return ownRaiseError(QIM_STATUS_BAD_FUNCTION, "qimResize", "not available", "qimresiz",
                         __LINE__);
}
